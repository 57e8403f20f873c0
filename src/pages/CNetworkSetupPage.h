#pragma once

#include <QWidget>
#include <memory>

class CMarqueeApp;
class IHelpService;
class IMessageService;

namespace Ui {
class CNetworkSetupPage;
}

// The "Marquee Communication Setup" page: the sign's own network interface: its parameters, and
// programming or disabling it.
class CNetworkSetupPage : public QWidget {
    Q_OBJECT

public:
    CNetworkSetupPage(CMarqueeApp& app, IMessageService& messages, IHelpService& help,
                      QWidget* parent = nullptr);
    ~CNetworkSetupPage() override;

private:
    void ConnectSignals();
    void OnHelp();

    std::unique_ptr<Ui::CNetworkSetupPage> m_ui;
    CMarqueeApp& m_app;
    IMessageService& m_messages;
    IHelpService& m_help;
};
