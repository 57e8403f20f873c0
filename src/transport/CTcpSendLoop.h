#pragma once

#include <poll.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "transport/CTcpSend.h"

class CCancelToken;

// Every TCP send of the process on one thread of its own, waiting on all their sockets at once
// (poll): a send that waits for a sign (a connect may wait 20 s) costs its socket and no thread,
// and holds up no other send.
class CTcpSendLoop {
public:
    // Told of the send's end on the loop's thread; it must return quickly (every other send waits
    // for it) and may start further sends.
    using Done = std::function<void(const CTcpSend&)>;

    // The process's one loop, started on first use. It is never ended: whoever starts a send waits
    // for its end (or cancels it) before going.
    static CTcpSendLoop& Shared();

    // Starts the send and returns at once; `onDone` is called once. The token, when given, must
    // outlive the send; its cancel ends the send at once (SEND_CANCELLED).
    void Start(TcpSendRequest request, const CCancelToken* cancel, Done onDone);

    CTcpSendLoop(const CTcpSendLoop&) = delete;
    CTcpSendLoop& operator=(const CTcpSendLoop&) = delete;

private:
    struct Running {
        std::unique_ptr<CTcpSend> send;
        const CCancelToken* cancel = nullptr;
        Done onDone;
    };

    CTcpSendLoop();
    void Run();
    // Takes the sends started since the last turn; the loop's thread only.
    void TakeNew();
    // Tells and drops the sends that have ended; the loop's thread only.
    void FinishEnded();
    // The wait for the next event in milliseconds, the sockets' entries in m_polled.
    int PrepareWait();
    void Wake() const;

    int m_nWake = -1;  // an eventfd: new sends and cancels
    std::mutex m_mutex;
    std::vector<Running> m_new;  // guarded by m_mutex
    std::vector<Running> m_running;
    std::vector<pollfd> m_polled;  // the loop's thread only
    std::thread m_thread;
};
