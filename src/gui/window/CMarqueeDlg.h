#pragma once

#include <QDialog>
#include <memory>

#include "gui/pages/PageContext.h"

class CMessagePage;
class CPageTabCtrl;

namespace Ui {
class CMarqueeDlg;
}

// The main window: the three pages under their tabs and the "About" button. It runs modeless;
// closing it (close box or Escape) ends the program. Enter never does: the window has no default
// button of its own. F1 opens the help at the shown page's topic. Its title names the message
// file open on the Messages page, and a message file dropped anywhere on it opens there.
class CMarqueeDlg : public QDialog {
    Q_OBJECT

public:
    explicit CMarqueeDlg(const PageContext& context, QWidget* parent = nullptr);
    ~CMarqueeDlg() override;

    CPageTabCtrl& PageTabs();
    CMessagePage& MessagePage();

    // Opens a message file on the Messages page and shows that page; false when nothing opened.
    bool OpenMessageFile(const QString& path);

    // Closing asks first about a message changed since it was opened, saved or started.
    void reject() override;
    // However the window closes, the pages keep their settings first.
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void ConnectSignals();
    void UpdateTitle();
    void OnAbout();
    void OnHelpKey();

    std::unique_ptr<Ui::CMarqueeDlg> m_ui;
    bool m_bIconPending = true;
    PageContext m_context;
};
