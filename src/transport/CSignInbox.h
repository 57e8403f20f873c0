#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>

#include "transport/CCancelToken.h"
#include "transport/SignLink.h"

// What the inbox holds for a slow reader before the link waits for it: 64 of the longest messages
// a link passes on, tens of thousands of the composer's.
inline constexpr size_t kMaxSignInboxBytes = size_t{64} << 20;

// One message as it came off the link, with the moment it came.
struct SignArrival {
    SignReceipt receipt;
    std::chrono::system_clock::time_point time;
};

// Takes messages from a link on a thread of its own, as fast as they come, and holds them for
// the reader: reading and showing one message never keeps the next sender waiting, so TCP senders
// that connect back to back are accepted at once and a serial sender's pauses are timed as they
// happen. Only when the held messages reach the byte limit does the link wait for the reader.
class CSignInbox {
public:
    explicit CSignInbox(ISignLink& link, size_t maxHeldBytes = kMaxSignInboxBytes);
    // Stops taking messages; what is held is dropped.
    ~CSignInbox();
    CSignInbox(const CSignInbox&) = delete;
    CSignInbox& operator=(const CSignInbox&) = delete;

    // The oldest message held, waiting for one; kFailed once the link failed and every earlier
    // message has been taken; kStopped as soon as the token is cancelled.
    SignArrival Next(const CCancelToken& stop);

private:
    void TakeFromLink();
    static size_t Weight(const SignReceipt& receipt);

    ISignLink& m_link;
    const size_t m_nMaxHeldBytes;
    CCancelToken m_halt;    // ends the link's wait when the inbox goes
    int m_nArrivedFd = -1;  // eventfd, readable once a message may be waiting
    std::mutex m_mutex;
    std::condition_variable m_roomMade;
    std::deque<SignArrival> m_held;
    size_t m_nHeldBytes = 0;
    bool m_bHalted = false;
    std::thread m_thread;  // last: it starts once everything above is made
};
