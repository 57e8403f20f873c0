#pragma once

#include <QWidget>
#include <memory>

class CMarqueeApp;
class CNetworkParams;

namespace Ui {
class CEthernetNetworkPanel;
}

// "Ethernet": the address, subnet mask and gateway of the sign's own Ethernet interface.
class CEthernetNetworkPanel : public QWidget {
    Q_OBJECT

public:
    explicit CEthernetNetworkPanel(CMarqueeApp& app, QWidget* parent = nullptr);
    ~CEthernetNetworkPanel() override;

    void LoadFromParams(const CNetworkParams& params);
    // Stores the three addresses into the Ethernet record; there is nothing to refuse.
    bool ValidateAndStore();

private:
    std::unique_ptr<Ui::CEthernetNetworkPanel> m_ui;
    CMarqueeApp& m_app;
};
