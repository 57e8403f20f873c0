#include "gui/pages/CEthernetAddressPanel.h"

#include "settings/CMarqueeApp.h"
#include "ui_CEthernetAddressPanel.h"

CEthernetAddressPanel::CEthernetAddressPanel(CMarqueeApp& app, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::CEthernetAddressPanel>()), m_app(app) {
    m_ui->setupUi(this);
    m_ui->addressCtrl->SetAccessibleName(m_ui->addressLabel->text());
    m_ui->addressCtrl->SetOctets(m_app.IpAddress());
}

CEthernetAddressPanel::~CEthernetAddressPanel() = default;

void CEthernetAddressPanel::Store() {
    m_app.SetIpAddress(m_ui->addressCtrl->GetOctets());
}
