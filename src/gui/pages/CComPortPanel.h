#pragma once

#include <QWidget>
#include <memory>

#include "transport/SerialDevices.h"

class CMarqueeApp;

namespace Ui {
class CComPortPanel;
}

// "Com Port Setup": the line speed of the serial link, the fixed line settings, and which device
// the chosen "ComN" stands for on this computer.
class CComPortPanel : public QWidget {
    Q_OBJECT

public:
    explicit CComPortPanel(CMarqueeApp& app, QWidget* parent = nullptr);
    ~CComPortPanel() override;

    // Selects the saved baud rate (a rate in neither entry leaves the selection as it is), writes
    // the fixed settings, and makes the device row afresh.
    void Load();
    // The selected baud entry sets the rate; with none selected the rate stays as it is.
    void Store();
    // The devices present, the device of the port the settings choose now, and its status.
    void LoadDevice();

private:
    void ConnectSignals();
    // The operator opens the device list: an adapter plugged in meanwhile is to be there.
    void OnDeviceListOpening();
    void FillDeviceList(const QString& shown);
    void OnDeviceTextChanged(const QString& text);
    void ShowDeviceStatus(const QString& shown);
    // 1 to 8: the "ComN" the device row is about.
    int ComNumber() const;

    std::unique_ptr<Ui::CComPortPanel> m_ui;
    CMarqueeApp& m_app;
    // Who opens the device, looked up again whenever the list is made afresh, not at every key.
    DeviceUser m_deviceUser;
};
