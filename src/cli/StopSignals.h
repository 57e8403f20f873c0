#pragma once

#include <csignal>

class CCancelToken;

// Ctrl+C and SIGTERM cancel the token while this lives, so the sign ends cleanly; a reader of the
// output that goes away makes the next line fail, not the process die.
class CStopSignals {
public:
    explicit CStopSignals(CCancelToken& stop);
    ~CStopSignals();
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;

private:
    struct sigaction m_previousInt {};
    struct sigaction m_previousTerm {};
};
