#pragma once

#include <QWidget>
#include <memory>

class CMarqueeApp;

namespace Ui {
class CEthernetAddressPanel;
}

// "Destination Ethernet Address": the sign's IPv4 address for sends over TCP.
class CEthernetAddressPanel : public QWidget {
    Q_OBJECT

public:
    // Shows the saved address; it is loaded only now, so that what the operator typed stays.
    explicit CEthernetAddressPanel(CMarqueeApp& app, QWidget* parent = nullptr);
    ~CEthernetAddressPanel() override;

    // The four octets as the control reads them, an empty one as 0.
    void Store();

private:
    std::unique_ptr<Ui::CEthernetAddressPanel> m_ui;
    CMarqueeApp& m_app;
};
