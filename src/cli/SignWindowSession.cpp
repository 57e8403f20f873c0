#include "cli/SignWindowSession.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QString>
#include <exception>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "cli/CliSupport.h"
#include "gui/preview/CSignWindow.h"
#include "gui/services/DisplayStart.h"
#include "gui/services/ProgramIcon.h"
#include "transport/CCancelToken.h"

namespace {

// Copies each message over to the window's thread; the sign's thread never touches the window.
class CWindowFeeder : public ISignObserver {
public:
    explicit CWindowFeeder(CSignWindow& window) : m_window(window) {}

    void OnSignMessage(const SignMessage& message) override {
        CSignWindow* window = &m_window;
        const int64_t number = message.number;
        const QString source = QString::fromStdString(message.source);
        if (const auto* decoded = std::get_if<DecodedMessage>(&message.decoded.content)) {
            QMetaObject::invokeMethod(
                window,
                [window, number, source, copy = *decoded] {
                    window->ShowMessage(number, source, copy);
                },
                Qt::QueuedConnection);
        } else {
            QMetaObject::invokeMethod(
                window, [window, number, source] { window->ShowNetworkString(number, source); },
                Qt::QueuedConnection);
        }
    }

private:
    CSignWindow& m_window;
};

}  // namespace

CSignWindowSession::CSignWindowSession(int32_t modelIndex) {
    if (!HasDisplay(m_nArgc, m_argv)) {
        FailInput(
            "--window needs a graphical display (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are "
            "not set)");
    }
    m_application = StartApplication(m_nArgc, m_argv,
                                     "lumivex-cli: --window cannot open a window: ", kExitBadInput);
    QApplication::setWindowIcon(ProgramIcon());
    m_window = std::make_unique<CSignWindow>(modelIndex);
    m_observer = std::make_unique<CWindowFeeder>(*m_window);
}

CSignWindowSession::~CSignWindowSession() {
    m_observer.reset();
    m_window.reset();
    m_application.reset();
}

ISignObserver& CSignWindowSession::Observer() {
    return *m_observer;
}

SignLoopEnd CSignWindowSession::Run(ISignLink& link, const std::vector<ISignObserver*>& observers,
                                    CCancelToken& stop, const std::string& listening) {
    // Ctrl+C and SIGTERM cancel the token from their handlers; its descriptor turning readable
    // ends the event loop.
    std::unique_ptr<QSocketNotifier> stopped;
    if (stop.Fd() >= 0) {
        stopped = std::make_unique<QSocketNotifier>(stop.Fd(), QSocketNotifier::Read);
        QObject::connect(stopped.get(), &QSocketNotifier::activated, m_application.get(),
                         [notifier = stopped.get()] {
                             notifier->setEnabled(false);
                             QCoreApplication::quit();
                         });
    }
    m_window->ShowListening(QString::fromStdString(listening));
    m_window->show();

    SignLoopEnd end;
    std::exception_ptr failure;  // of an observer: the output that cannot be written
    std::thread signThread([&] {
        try {
            end = RunSignLoop(link, observers, stop);
        } catch (...) {
            failure = std::current_exception();
        }
        // A failed link ends the window too; after a cancel the loop has already ended.
        QMetaObject::invokeMethod(
            m_application.get(), [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    });
    QApplication::exec();
    // Closing the window ends the sign as Ctrl+C does.
    stop.Cancel();
    signThread.join();
    m_window->hide();
    if (failure) {
        std::rethrow_exception(failure);
    }
    return end;
}
