#pragma once

#include <QWidget>
#include <memory>

class CMarqueeApp;
class IHelpService;
class IMessageService;

namespace Ui {
class CPcSetupPage;
}

// The "PC Communication Setup" page: how the PC reaches the sign: a serial port and its speed, or
// the sign's IPv4 address.
class CPcSetupPage : public QWidget {
    Q_OBJECT

public:
    CPcSetupPage(CMarqueeApp& app, IMessageService& messages, IHelpService& help,
                 QWidget* parent = nullptr);
    ~CPcSetupPage() override;

private:
    void ConnectSignals();
    void OnHelp();

    std::unique_ptr<Ui::CPcSetupPage> m_ui;
    CMarqueeApp& m_app;
    IMessageService& m_messages;
    IHelpService& m_help;
};
