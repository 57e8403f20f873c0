#pragma once

#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <chrono>
#include <string>

#include "transport/SendOutcome.h"

class CMarqueeApp;
class QWidget;

// Runs one send off the UI thread, so that a link that waits (an unreachable address, a stalled
// port) never freezes the program: the windows keep repainting and the preview keeps moving, while
// the operator's input is held back until the send has ended. After a short delay a modal box
// "Sending to the sign…" offers Cancel, which ends the link's wait at once. Boxes about the
// outcome are the caller's, on the UI thread, after Run returns.
class CSendRunner : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kProgressDelay{300};
    static constexpr const char* kProgressText = "Sending to the sign…";

    // owner: the window the progress box belongs to.
    explicit CSendRunner(QWidget* owner);
    ~CSendRunner() override;

    // Sends the bytes over the link the settings choose now and returns when the send has ended.
    SendOutcome Run(CMarqueeApp& app, std::string text);

    // The progress box while it is shown, for the operator's Cancel (and for tests).
    QProgressDialog* ProgressBox() const { return m_progress; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_pOwner;
    QPointer<QProgressDialog> m_progress;
    bool m_bRunning = false;
};
