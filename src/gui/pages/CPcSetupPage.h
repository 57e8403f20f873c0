#pragma once

#include <QWidget>
#include <memory>

#include "gui/pages/PageContext.h"

class CComPortPanel;
class CEthernetAddressPanel;
class CSignsDlg;

namespace Ui {
class CPcSetupPage;
}

// The "PC Communication Setup" page: how the PC reaches the sign: a serial port and its speed, or
// the sign's IPv4 address.
class CPcSetupPage : public QWidget {
    Q_OBJECT

public:
    explicit CPcSetupPage(const PageContext& context, QWidget* parent = nullptr);
    ~CPcSetupPage() override;

    // The program ends by closing its window: the rate and address the panels show, and the port
    // chosen last on any page, reach the profile now, even when no send used them.
    void OnProgramEnd();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void ConnectSignals();
    void OnPortChosen(int index);
    // The address panel for "Ethernet", the COM panel for every other port index.
    void ShowPortPanel();
    void StorePanels();
    void OnHelp();
    void OnSigns();

    std::unique_ptr<Ui::CPcSetupPage> m_ui;
    PageContext m_context;
    CEthernetAddressPanel* m_pAddressPanel = nullptr;
    CComPortPanel* m_pComPanel = nullptr;
    // Made when first asked for.
    CSignsDlg* m_pSignsDlg = nullptr;
};
