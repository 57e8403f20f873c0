#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "gui/pages/PageContext.h"

class CEthernetNetworkPanel;
class CFieldbusPanel;
class CNetworkParams;

namespace Ui {
class CNetworkSetupPage;
}

// The "Marquee Communication Setup" page: the sign's own network interface: its parameters, and
// programming or disabling it.
class CNetworkSetupPage : public QWidget {
    Q_OBJECT

public:
    explicit CNetworkSetupPage(const PageContext& context, QWidget* parent = nullptr);
    ~CNetworkSetupPage() override;

    // The record of the current network type.
    CNetworkParams& GetCurrentParams();
    // The Group and Unit lists' choices become the shared marquee address.
    void ReadMarqueeAddress();
    // Checks and stores the shown panel, then shows the setup string; false when a check failed.
    bool GenerateString();

private:
    void ConnectSignals();
    void OnNetworkType(int32_t type);
    // Shows the panel of the current type, refilled from its record.
    void ShowTypePanel();
    void OnDefaults();
    void OnDisable();
    void OnProgram();
    void OnGenerate();
    void OnPortChosen(int index);
    void OnHelp();

    // Sends a setup or disable string and, once it arrived, the sign's confirmation; then says
    // how it went. programmed: after a program, else after a disable.
    void SendWithConfirmation(const std::string& text, bool programmed);
    // The Ethernet interface is set up over a serial port only; true when the choice of link
    // refuses it, after saying so.
    bool RefuseOverEthernet(const std::string& networkName, const char* refusal);
    void ShowGenerated(const std::string& text);
    std::string GeneratedText() const;

    std::unique_ptr<Ui::CNetworkSetupPage> m_ui;
    PageContext m_context;
    CFieldbusPanel* m_pFieldbusPanel = nullptr;
    CEthernetNetworkPanel* m_pEthernetPanel = nullptr;
};
