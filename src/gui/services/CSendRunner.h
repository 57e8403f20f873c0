#pragma once

#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <chrono>
#include <string>

#include "settings/SendNotices.h"

class CCancelToken;
class CMarqueeApp;
class IMessageService;
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
    static constexpr const char* kCloseDuringSend =
        "A message is being sent to the sign. Cancel the send?";

    // owner: the window the progress box belongs to. Closing a window during a send asks through
    // messages whether to cancel it.
    CSendRunner(QWidget* owner, IMessageService& messages);
    ~CSendRunner() override;

    // Sends the bytes over the link the settings choose now and returns when the send has ended.
    SendOutcome Run(CMarqueeApp& app, std::string text);

    // The progress box while it is shown, for the operator's Cancel (and for tests).
    QProgressDialog* ProgressBox() const { return m_progress; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void AskToCancel();

    QWidget* m_pOwner;
    IMessageService& m_messages;
    CCancelToken* m_pCancel = nullptr;
    bool m_bAsking = false;
    QPointer<QProgressDialog> m_progress;
    bool m_bRunning = false;
};
