#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sign/SignLoop.h"

class CCancelToken;
class CSignWindow;
class QApplication;

// `sign --window`: the sign's LED panel in a window of its own, the sign's loop on a thread
// beside the window's event loop. The only part of lumivex-cli that uses widgets.
class CSignWindowSession {
public:
    // Opens the connection to the display and makes the window (not shown yet), before the sign
    // listens. No display, or one that cannot be reached, ends the command with exit status 2.
    explicit CSignWindowSession(int32_t modelIndex);
    ~CSignWindowSession();
    CSignWindowSession(const CSignWindowSession&) = delete;
    CSignWindowSession& operator=(const CSignWindowSession&) = delete;

    // Hands each message to the window, which shows it on its own thread.
    ISignObserver& Observer();

    // Shows the window and runs the sign until the token is cancelled (Ctrl+C, SIGTERM), the window
    // is closed, or the link fails; tells how the loop ended once the window is down.
    SignLoopEnd Run(ISignLink& link, const std::vector<ISignObserver*>& observers,
                    CCancelToken& stop, const std::string& listening);

private:
    int m_nArgc = 1;
    char m_name[16] = "lumivex-cli";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QApplication> m_application;
    std::unique_ptr<CSignWindow> m_window;
    std::unique_ptr<ISignObserver> m_observer;
};
