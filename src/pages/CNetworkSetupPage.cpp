#include "pages/CNetworkSetupPage.h"

#include "app/CMarqueeApp.h"
#include "platform/HelpService.h"
#include "platform/MessageService.h"
#include "ui_CNetworkSetupPage.h"

CNetworkSetupPage::CNetworkSetupPage(CMarqueeApp& app, IMessageService& messages,
                                     IHelpService& help, QWidget* parent)
    : QWidget(parent),
      m_ui(std::make_unique<Ui::CNetworkSetupPage>()),
      m_app(app),
      m_messages(messages),
      m_help(help) {
    m_ui->setupUi(this);
    ConnectSignals();
}

CNetworkSetupPage::~CNetworkSetupPage() = default;

void CNetworkSetupPage::ConnectSignals() {
    connect(m_ui->helpButton, &QPushButton::clicked, this, &CNetworkSetupPage::OnHelp);
}

void CNetworkSetupPage::OnHelp() {
    m_help.ShowHelp(kHelpMarqueeCommunication);
}
