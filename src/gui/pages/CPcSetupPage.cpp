#include "gui/pages/CPcSetupPage.h"

#include "gui/services/HelpService.h"
#include "gui/services/MessageService.h"
#include "settings/CMarqueeApp.h"
#include "ui_CPcSetupPage.h"

CPcSetupPage::CPcSetupPage(const PageContext& context, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::CPcSetupPage>()), m_context(context) {
    m_ui->setupUi(this);
    ConnectSignals();
}

CPcSetupPage::~CPcSetupPage() = default;

void CPcSetupPage::OnProgramEnd() {
    m_context.app.SaveCommSettings();
}

void CPcSetupPage::ConnectSignals() {
    connect(m_ui->helpButton, &QPushButton::clicked, this, &CPcSetupPage::OnHelp);
}

void CPcSetupPage::OnHelp() {
    m_context.help.ShowHelp(kHelpPcCommunication);
}
