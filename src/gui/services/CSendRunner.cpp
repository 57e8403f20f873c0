#include "gui/services/CSendRunner.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <thread>
#include <utility>

#include "gui/services/MessageService.h"
#include "settings/CMarqueeApp.h"
#include "transport/CCancelToken.h"

namespace {

// Everything by which the operator acts on a window; paints, timers and the like pass.
bool IsOperatorInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::ContextMenu:
        case QEvent::Drop:
        case QEvent::Close:
            return true;
        default:
            return false;
    }
}

}  // namespace

CSendRunner::CSendRunner(QWidget* owner, IMessageService& messages)
    : QObject(owner), m_pOwner(owner), m_messages(messages) {}

CSendRunner::~CSendRunner() = default;

SendOutcome CSendRunner::Run(CMarqueeApp& app, std::string text) {
    // The link is taken here, on the UI thread: the worker reads no setting and no profile.
    const LinkSettings link = app.CurrentLink();
    CCancelToken cancel;
    SendOutcome outcome;
    QEventLoop loop;
    m_pCancel = &cancel;

    m_bRunning = true;
    qApp->installEventFilter(this);

    QProgressDialog progress(QString::fromUtf8(kProgressText), QStringLiteral("Cancel"), 0, 0,
                             m_pOwner);
    progress.setWindowTitle(QString::fromLatin1(kApplicationTitle));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(static_cast<int>(kProgressDelay.count()));
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    progress.setAccessibleName(QString::fromUtf8(kProgressText));
    m_progress = &progress;
    connect(&progress, &QProgressDialog::canceled, this, [&cancel] { cancel.Cancel(); });
    // A range of 0 to 0 shows a busy bar; the box appears once the delay has passed.
    progress.setValue(0);

    std::thread worker([&] {
        outcome = app.SendToMarquee(std::move(text), link, &cancel);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();

    m_progress = nullptr;
    m_pCancel = nullptr;
    progress.reset();
    progress.hide();
    qApp->removeEventFilter(this);
    m_bRunning = false;
    return outcome;
}

void CSendRunner::AskToCancel() {
    if (m_bAsking || m_pCancel == nullptr) {
        return;
    }
    m_bAsking = true;
    const bool cancel = AskYesNo(m_messages, kCloseDuringSend);
    m_bAsking = false;
    // The send may have ended while the question was open.
    if (cancel && m_pCancel != nullptr) {
        m_pCancel->Cancel();
    }
}

bool CSendRunner::eventFilter(QObject* watched, QEvent* event) {
    if (!m_bRunning || !IsOperatorInput(event->type())) {
        return QObject::eventFilter(watched, event);
    }
    // The question about closing is the operator's to answer.
    if (m_bAsking) {
        return QObject::eventFilter(watched, event);
    }
    // The progress box and its Cancel button stay the operator's.
    if (m_progress != nullptr) {
        auto* widget = qobject_cast<QWidget*>(watched);
        const bool toProgress = widget != nullptr
                                    ? widget == m_progress || m_progress->isAncestorOf(widget)
                                    : watched == m_progress->windowHandle();
        if (toProgress) {
            return QObject::eventFilter(watched, event);
        }
    }
    if (event->type() == QEvent::Close || event->type() == QEvent::ShortcutOverride) {
        event->ignore();
    }
    if (event->type() == QEvent::Close) {
        // Not in the middle of the close event: the question runs an event loop of its own.
        QMetaObject::invokeMethod(this, &CSendRunner::AskToCancel, Qt::QueuedConnection);
    }
    return true;
}
