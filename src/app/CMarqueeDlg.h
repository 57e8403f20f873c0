#pragma once

#include <QDialog>
#include <QIcon>
#include <memory>

class CMarqueeApp;
class CPageTabCtrl;
class IHelpService;
class IMessageService;

namespace Ui {
class CMarqueeDlg;
}

// The main window: the three pages under their tabs and the "About" button. Closing it (close box
// or Escape) ends the program. Enter never does: the window has no default button of its own.
class CMarqueeDlg : public QDialog {
    Q_OBJECT

public:
    CMarqueeDlg(CMarqueeApp& app, IMessageService& messages, IHelpService& help,
                QWidget* parent = nullptr);
    ~CMarqueeDlg() override;

    CPageTabCtrl& PageTabs();

private:
    void ConnectSignals();
    void OnAbout();

    std::unique_ptr<Ui::CMarqueeDlg> m_ui;
    QIcon m_icon;
};
