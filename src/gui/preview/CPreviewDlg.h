#pragma once

#include <QDialog>
#include <QRect>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <memory>

#include "encoding/MessageSettings.h"

class CLedPanel;
class IPreviewOwner;
class QScrollBar;

namespace Ui {
class CPreviewDlg;
}

// "Message Preview": the message on a simulated LED sign of the owner's chosen model, blinking and
// scrolling as the sign would, one animation step every 540 ms. A window of its own beside the
// main window, not modal. Two scroll bars show the parts of a wide sign outside the panel; a line
// under them says what of the message the sign leaves out, and why.
// Closing it (close box or Escape) tells the owner and deletes the window; the next one starts
// afresh.
class CPreviewDlg : public QDialog {
    Q_OBJECT

public:
    // Takes the owner's sign model and message lines, places the panel and starts the timer. The
    // owner shows the window. `settings` are read at every step and must outlive the window.
    CPreviewDlg(IPreviewOwner& owner, const MessageSettings& settings, QWidget* parent = nullptr);
    ~CPreviewDlg() override;

    // Takes the owner's sign model and message lines again, places and sizes the panel for the
    // model, resets both bars to 1 and restarts the scroll, showing the first step of the new
    // layout at once; neither the timer nor the blink phase restarts. For "Preview Now" and a
    // change of the sign model while the window is open.
    void Relayout();

    // The scroll starts again from its home position at the next step (the effect changed).
    void RestartScroll();

    // Escape closes the window as its close box does.
    void reject() override;

    // The line under the panel: what the layout leaves out, and why; empty when all of it shows.
    QString LeftOut() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ConnectSignals();
    void OnTimer();
    // The message, its settings or the model may have changed since the last look.
    void UpdateLeftOut();
    void OnScrollAction();
    void OnScrollPosition();

    std::unique_ptr<Ui::CPreviewDlg> m_ui;
    // The drawing area; it keeps the message lines, the scroll step and the blink phase.
    CLedPanel* m_pPanel;
    IPreviewOwner& m_owner;
    const MessageSettings& m_settings;
    QTimer m_timer;
    QRect m_areaRect;  // in the window's client pixels
    int32_t m_nModelIndex = 0;
    std::chrono::milliseconds m_timerInterval;
};
