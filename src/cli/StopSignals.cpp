#include "cli/StopSignals.h"

#include <cerrno>

#include "transport/CCancelToken.h"

namespace {

// The token the signal handlers cancel; the sign's waits watch it.
CCancelToken* g_pStop = nullptr;

extern "C" void OnStopSignal(int) {
    const int savedErrno = errno;
    if (g_pStop != nullptr) {
        g_pStop->Cancel();
    }
    errno = savedErrno;
}

}  // namespace

CStopSignals::CStopSignals(CCancelToken& stop) {
    g_pStop = &stop;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &m_previousInt);
    sigaction(SIGTERM, &action, &m_previousTerm);
    std::signal(SIGPIPE, SIG_IGN);
}

CStopSignals::~CStopSignals() {
    sigaction(SIGINT, &m_previousInt, nullptr);
    sigaction(SIGTERM, &m_previousTerm, nullptr);
    g_pStop = nullptr;
}
