#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <utility>

// Lets a test look at the modal window that the code under test runs, then closes it, so no
// modal window is ever left open. Arm it before the call that runs the modal window; the check
// runs as soon as that window's event loop starts.
class ModalCloser {
public:
    explicit ModalCloser(std::function<void(QWidget* modal)> inspect)
        : m_inspect(std::move(inspect)) {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_bFired = true;
            QWidget* modal = QApplication::activeModalWidget();
            // A failed assertion ends only the inspection; the window is closed all the same.
            m_inspect(modal);
            if (modal != nullptr) {
                modal->close();
            }
        });
        m_timer.start(0);
    }

    // True once the check has run, that is once an event loop ran while armed.
    bool Fired() const { return m_bFired; }

private:
    std::function<void(QWidget*)> m_inspect;
    QTimer m_timer;
    bool m_bFired = false;
};
