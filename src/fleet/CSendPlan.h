#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fleet/SignEndpoint.h"
#include "settings/MessageFile.h"
#include "settings/SignsFile.h"
#include "transport/CCancelToken.h"
#include "transport/CSignPtyLink.h"
#include "transport/CTcpSend.h"
#include "transport/SendOutcome.h"

// One sign's part of a plan: its name, its link and the bytes it gets.
struct SignSend {
    std::string name;
    SignEndpoint endpoint;
    std::string bytes;
};

// The signs' parts of a message: the body is encoded once, then each sign's string is built with
// that sign's own address. The position is the caller's to check, as for a single send.
std::vector<SignSend> SignSendsForMessage(const std::vector<NamedSign>& signs,
                                          const MessageDocument& message,
                                          const ComDeviceResolver& resolve);
// The signs' parts of a command string given as it is: every sign gets the same bytes.
std::vector<SignSend> SignSendsForString(const std::vector<NamedSign>& signs,
                                         const std::string& bytes,
                                         const ComDeviceResolver& resolve);

// What became of one sign's send.
struct SignSendResult {
    size_t index = 0;  // the sign's place in the plan
    std::string name;
    SendOutcome outcome;   // SEND_CANCELLED until the sign has had its turn
    size_t bytes = 0;      // the length of the sign's string
    double seconds = 0;    // from the start of the sign's turn to its outcome
    bool started = false;  // false: stopped before its turn came
};

struct SendPlanOptions {
    // Quiet on a serial line between one sign's string and the next, so that each sign on the
    // line takes its own string as one message: twice what the virtual sign waits for, so that
    // a sign that reads late still sees the pause.
    std::chrono::milliseconds serialGap = 2 * kSerialMessageGap;
    SerialWriteDeadline serialDeadline;
    // How long a sign on TCP has, after the last byte, to close its end and so confirm it read
    // the message.
    std::chrono::milliseconds signCloseWait = kSignCloseWait;
};

// Sends to many signs at once. Signs behind different links go in parallel, so that a failing
// sign or one that never answers (a connect may wait 20 s) delays no other: a serial line on a
// thread of its own, the signs on TCP in the process's one TCP send loop, where a sign that keeps
// us waiting costs a socket and no thread. Signs that share a link go one after another in the
// plan's order; on a serial line, through one opening of the port.
class CSendPlan {
public:
    // Told of each sign as its outcome is known, on the thread that sent to it (the TCP send
    // loop's for signs on TCP: it must return quickly); calls never overlap. It must not call
    // Wait.
    using ResultCallback = std::function<void(const SignSendResult&)>;

    explicit CSendPlan(std::vector<SignSend> sends, SendPlanOptions options = {});
    // Cancels what still runs and waits for it.
    ~CSendPlan();
    CSendPlan(const CSendPlan&) = delete;
    CSendPlan& operator=(const CSendPlan&) = delete;

    const std::vector<SignSend>& Sends() const { return m_sends; }

    // Begins every link's sends and returns at once. Once only.
    void Start(ResultCallback onResult = {});
    // Ends every send still running at once and skips those still to come; from any thread.
    void Cancel() { m_cancel.Cancel(); }
    // Cancelled by Cancel; a signal handler may cancel it too.
    CCancelToken& CancelToken() { return m_cancel; }
    // Blocks until every sign has its outcome; the results in the plan's order.
    const std::vector<SignSendResult>& Wait();

private:
    void RunSerialLine(const std::vector<size_t>& members);
    // Starts the turn of the link's k-th sign on the TCP send loop, each next one from the end of
    // the one before.
    void StartTcpTurn(size_t link, size_t k);
    // The last touch of the plan by a link's last turn.
    void TcpLinkDone();
    // A result that names the sign and its link, not started.
    SignSendResult NewResult(size_t index) const;
    void Report(SignSendResult result, std::chrono::steady_clock::time_point start);

    std::vector<SignSend> m_sends;
    SendPlanOptions m_options;
    CCancelToken m_cancel;
    ResultCallback m_onResult;
    std::mutex m_mutex;  // the results and the callback
    std::vector<SignSendResult> m_results;
    std::vector<std::thread> m_threads;  // the serial lines
    std::vector<std::vector<size_t>> m_tcpLinks;
    size_t m_nTcpLinksLeft = 0;  // guarded by m_mutex
    std::condition_variable m_tcpLinksEnded;
    bool m_bStarted = false;
};
