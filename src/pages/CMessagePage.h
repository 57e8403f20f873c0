#pragma once

#include <QWidget>
#include <memory>

class CMarqueeApp;
class IHelpService;
class IMessageService;

namespace Ui {
class CMessagePage;
}

// The "Messages" page: composer page: the message, how and where the sign shows it, and sending it.
class CMessagePage : public QWidget {
    Q_OBJECT

public:
    CMessagePage(CMarqueeApp& app, IMessageService& messages, IHelpService& help,
                 QWidget* parent = nullptr);
    ~CMessagePage() override;

private:
    void ConnectSignals();
    void OnHelp();

    std::unique_ptr<Ui::CMessagePage> m_ui;
    CMarqueeApp& m_app;
    IMessageService& m_messages;
    IHelpService& m_help;
};
