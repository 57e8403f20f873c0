#include "gui/pages/CNetworkSetupPage.h"

#include "gui/services/HelpService.h"
#include "gui/services/MessageService.h"
#include "settings/CMarqueeApp.h"
#include "ui_CNetworkSetupPage.h"

CNetworkSetupPage::CNetworkSetupPage(const PageContext& context, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::CNetworkSetupPage>()), m_context(context) {
    m_ui->setupUi(this);
    ConnectSignals();
}

CNetworkSetupPage::~CNetworkSetupPage() = default;

void CNetworkSetupPage::ConnectSignals() {
    connect(m_ui->helpButton, &QPushButton::clicked, this, &CNetworkSetupPage::OnHelp);
}

void CNetworkSetupPage::OnHelp() {
    m_context.help.ShowHelp(kHelpMarqueeCommunication);
}
