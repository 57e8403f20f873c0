#pragma once

#include <QPointer>
#include <QString>
#include <QTextBrowser>

#include "gui/services/HelpService.h"

class QWidget;

// The name of a topic's anchor in the help file: "ctx-" and the context number in decimal.
QString HelpAnchor(uint32_t contextNumber);

// Shows the program's HTML help in a window of its own, at the topic of a context number. The
// window is made on first use and then reused; it stays open beside the program.
class CHelpWindowService : public IHelpService {
public:
    // helpFile: the HTML help; empty or missing makes the window say where it was looked for.
    explicit CHelpWindowService(QString helpFile);
    ~CHelpWindowService() override;

    void ShowHelp(uint32_t contextNumber) override;

    // The help window, or nullptr before the first request.
    QWidget* Window() const { return m_window; }
    QTextBrowser* Browser() const { return m_browser; }

private:
    void MakeWindow();

    QString m_strHelpFile;
    QPointer<QWidget> m_window;
    QPointer<QTextBrowser> m_browser;
};
