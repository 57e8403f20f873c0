#include "gui/pages/CMessagePage.h"

#include "gui/services/HelpService.h"
#include "gui/services/MessageService.h"
#include "settings/CMarqueeApp.h"
#include "ui_CMessagePage.h"

CMessagePage::CMessagePage(const PageContext& context, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::CMessagePage>()), m_context(context) {
    m_ui->setupUi(this);
    ConnectSignals();
}

CMessagePage::~CMessagePage() = default;

void CMessagePage::ConnectSignals() {
    connect(m_ui->helpButton, &QPushButton::clicked, this, &CMessagePage::OnHelp);
}

void CMessagePage::OnHelp() {
    m_context.help.ShowHelp(kHelpMessages);
}
