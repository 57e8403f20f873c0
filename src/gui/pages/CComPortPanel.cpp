#include "gui/pages/CComPortPanel.h"

#include <QLineEdit>
#include <QSignalBlocker>
#include <array>
#include <string>

#include "settings/CMarqueeApp.h"
#include "settings/ProfileStore.h"
#include "settings/SendNotices.h"
#include "transport/SerialDevices.h"
#include "ui_CComPortPanel.h"

namespace {

// The entries of the baud list, in order.
constexpr std::array<int32_t, 2> kBaudRates = {kBaud9600, kBaud38400};
// The parity settings 0 to 4 by name.
constexpr std::array<const char*, 5> kParityNames = {"None", "Odd", "Even", "Mark", "Space"};

}  // namespace

CComPortPanel::CComPortPanel(CMarqueeApp& app, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::CComPortPanel>()), m_app(app) {
    m_ui->setupUi(this);
    // The text field inside the editable list is what a screen reader lands on.
    m_ui->deviceList->lineEdit()->setAccessibleName(m_ui->deviceLabel->text());
    for (const int32_t rate : kBaudRates) {
        m_ui->baudList->addItem(QString::number(rate));
    }
    // Nothing is chosen until the panel loads: a saved rate in neither entry must not pass for
    // the first entry.
    m_ui->baudList->setCurrentIndex(-1);
    ConnectSignals();
}

CComPortPanel::~CComPortPanel() = default;

void CComPortPanel::ConnectSignals() {
    connect(m_ui->deviceList, &CDeviceComboBox::popupAboutToShow, this,
            &CComPortPanel::OnDeviceListOpening);
    connect(m_ui->deviceList, &QComboBox::editTextChanged, this,
            &CComPortPanel::OnDeviceTextChanged);
}

void CComPortPanel::Load() {
    const int index =
        m_ui->baudList->findText(QString::number(m_app.BaudRate()), Qt::MatchStartsWith);
    if (index >= 0) {
        m_ui->baudList->setCurrentIndex(index);
    }
    const bool namedParity = m_app.Settings().m_nParity >= 0 &&
                             m_app.Settings().m_nParity < static_cast<int32_t>(kParityNames.size());
    m_ui->parityValue->setText(namedParity
                                   ? QString::fromLatin1(kParityNames[m_app.Settings().m_nParity])
                                   : QString::number(m_app.Settings().m_nParity));
    m_ui->dataBitsValue->setText(QString::number(m_app.Settings().m_nByteSize));
    m_ui->stopBitsValue->setText(QString::number(m_app.Settings().m_nStopBits + 1));
    LoadDevice();
}

void CComPortPanel::Store() {
    const int index = m_ui->baudList->currentIndex();
    if (index >= 0 && index < static_cast<int>(kBaudRates.size())) {
        m_app.SetBaudRate(kBaudRates[index]);
    }
}

void CComPortPanel::LoadDevice() {
    m_deviceUser = CurrentDeviceUser();
    const int comNumber = ComNumber();
    m_ui->deviceList->lineEdit()->setPlaceholderText(
        QString::fromStdString(DefaultSerialDevicePath(comNumber)));
    FillDeviceList(QString::fromStdString(SerialDevicePath(m_app.Profile(), comNumber)));
}

void CComPortPanel::OnDeviceListOpening() {
    m_deviceUser = CurrentDeviceUser();
    FillDeviceList(m_ui->deviceList->currentText());
}

void CComPortPanel::FillDeviceList(const QString& shown) {
    {
        // Filling the list is the panel's doing, not a choice of the operator's.
        const QSignalBlocker blocker(m_ui->deviceList);
        m_ui->deviceList->clear();
        for (const std::string& path : ListSerialDevices()) {
            m_ui->deviceList->addItem(QString::fromStdString(path));
        }
        m_ui->deviceList->setCurrentIndex(m_ui->deviceList->findText(shown));
        m_ui->deviceList->setEditText(shown);
    }
    ShowDeviceStatus(shown);
}

void CComPortPanel::OnDeviceTextChanged(const QString& text) {
    // Every edit is kept at once, so that the next send and lumivex-cli use what is shown.
    SetSerialDevicePath(m_app.Profile(), ComNumber(), text.toStdString());
    ShowDeviceStatus(text);
}

void CComPortPanel::ShowDeviceStatus(const QString& shown) {
    // An empty row means the port's default device.
    const QString trimmed = shown.trimmed();
    const std::string path =
        trimmed.isEmpty() ? DefaultSerialDevicePath(ComNumber()) : trimmed.toStdString();
    const SerialDeviceStatus status = GetSerialDeviceStatus(path, m_deviceUser);
    m_ui->deviceStatus->setText(QString::fromStdString(SerialDeviceStatusText(status)));
}

int CComPortPanel::ComNumber() const {
    return ComNumberOf(m_app.ComPort());
}
