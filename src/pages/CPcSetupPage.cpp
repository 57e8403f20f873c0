#include "pages/CPcSetupPage.h"

#include "app/CMarqueeApp.h"
#include "platform/HelpService.h"
#include "platform/MessageService.h"
#include "ui_CPcSetupPage.h"

CPcSetupPage::CPcSetupPage(CMarqueeApp& app, IMessageService& messages, IHelpService& help,
                           QWidget* parent)
    : QWidget(parent),
      m_ui(std::make_unique<Ui::CPcSetupPage>()),
      m_app(app),
      m_messages(messages),
      m_help(help) {
    m_ui->setupUi(this);
    ConnectSignals();
}

// The program ends by closing its window, so this is where a link chosen here and never used for
// a send reaches the profile.
CPcSetupPage::~CPcSetupPage() {
    m_app.SaveCommSettings();
}

void CPcSetupPage::ConnectSignals() {
    connect(m_ui->helpButton, &QPushButton::clicked, this, &CPcSetupPage::OnHelp);
}

void CPcSetupPage::OnHelp() {
    m_help.ShowHelp(kHelpPcCommunication);
}
