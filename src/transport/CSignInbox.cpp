#include "transport/CSignInbox.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <utility>

namespace {

constexpr int kWaitForever = -1;

}  // namespace

CSignInbox::CSignInbox(ISignLink& link, size_t maxHeldBytes)
    : m_link(link),
      m_nMaxHeldBytes(maxHeldBytes),
      m_nArrivedFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      m_thread([this] { TakeFromLink(); }) {}

CSignInbox::~CSignInbox() {
    {
        const std::lock_guard lock(m_mutex);
        m_bHalted = true;
    }
    m_roomMade.notify_all();
    m_halt.Cancel();
    m_thread.join();
    if (m_nArrivedFd >= 0) {
        close(m_nArrivedFd);
    }
}

SignArrival CSignInbox::Next(const CCancelToken& stop) {
    while (true) {
        if (stop.Cancelled()) {
            return {};
        }
        {
            const std::lock_guard lock(m_mutex);
            if (!m_held.empty()) {
                // A failure stays at the head: the link takes nothing more after it.
                if (m_held.front().receipt.status == SignReceiveStatus::kFailed) {
                    return m_held.front();
                }
                SignArrival arrival = std::move(m_held.front());
                m_held.pop_front();
                m_nHeldBytes -= Weight(arrival.receipt);
                m_roomMade.notify_one();
                return arrival;
            }
            // Emptied while the list is locked: a message added after this signals again.
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t drained = read(m_nArrivedFd, &count, sizeof count);
        }
        if (WaitForFd(m_nArrivedFd, POLLIN, kWaitForever, &stop) == WaitResult::kFailed) {
            SignArrival failed;
            failed.receipt.status = SignReceiveStatus::kFailed;
            failed.receipt.error = errno;
            return failed;
        }
    }
}

void CSignInbox::TakeFromLink() {
    while (true) {
        {
            std::unique_lock lock(m_mutex);
            m_roomMade.wait(lock, [this] { return m_bHalted || m_nHeldBytes < m_nMaxHeldBytes; });
            if (m_bHalted) {
                return;
            }
        }
        SignReceipt receipt = m_link.Receive(m_halt);
        if (receipt.status == SignReceiveStatus::kStopped) {
            return;
        }
        const bool failed = receipt.status == SignReceiveStatus::kFailed;
        {
            const std::lock_guard lock(m_mutex);
            m_nHeldBytes += Weight(receipt);
            m_held.push_back({std::move(receipt), std::chrono::system_clock::now()});
        }
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(m_nArrivedFd, &one, sizeof one);
        if (failed) {
            return;
        }
    }
}

size_t CSignInbox::Weight(const SignReceipt& receipt) {
    return sizeof(SignArrival) + receipt.bytes.size() + receipt.source.size();
}
