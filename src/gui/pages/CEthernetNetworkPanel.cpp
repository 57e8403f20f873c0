#include "gui/pages/CEthernetNetworkPanel.h"

#include "settings/CMarqueeApp.h"
#include "ui_CEthernetNetworkPanel.h"

CEthernetNetworkPanel::CEthernetNetworkPanel(CMarqueeApp& app, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::CEthernetNetworkPanel>()), m_app(app) {
    m_ui->setupUi(this);
    m_ui->ipCtrl->SetAccessibleName(m_ui->ipLabel->text());
    m_ui->maskCtrl->SetAccessibleName(m_ui->maskLabel->text());
    m_ui->gatewayCtrl->SetAccessibleName(m_ui->gatewayLabel->text());
}

CEthernetNetworkPanel::~CEthernetNetworkPanel() = default;

void CEthernetNetworkPanel::LoadFromParams(const CNetworkParams& params) {
    m_ui->ipCtrl->SetOctets(params.m_cardIp);
    m_ui->maskCtrl->SetOctets(params.m_cardMask);
    m_ui->gatewayCtrl->SetOctets(params.m_cardGateway);
}

bool CEthernetNetworkPanel::ValidateAndStore() {
    m_app.NetworkParams(kNetworkEthernet).m_cardIp = m_ui->ipCtrl->GetOctets();
    m_app.NetworkParams(kNetworkEthernet).m_cardMask = m_ui->maskCtrl->GetOctets();
    m_app.NetworkParams(kNetworkEthernet).m_cardGateway = m_ui->gatewayCtrl->GetOctets();
    return true;
}
