#include "gateway/CMqttOutbox.h"

#include <utility>

void OutboxQueue::Add(OutboxMessage message) {
    if (message.retained) {
        const auto [at, added] = m_retainedAt.try_emplace(message.topic, m_messages.size());
        if (!added) {
            m_messages[at->second] = std::move(message);
            return;
        }
    }
    m_messages.push_back(std::move(message));
}

std::vector<OutboxMessage> OutboxQueue::Take() {
    m_retainedAt.clear();
    return std::exchange(m_messages, {});
}

CMqttOutbox::CMqttOutbox(Publisher publish) : m_publish(std::move(publish)) {
    m_thread = std::thread([this] {
        for (;;) {
            std::vector<OutboxMessage> messages;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock,
                               [this] { return m_bStop || (m_bConnected && !m_queue.Empty()); });
                if (!m_bConnected || m_queue.Empty()) {
                    return;
                }
                messages = m_queue.Take();
            }
            for (const OutboxMessage& message : messages) {
                m_publish(message);
            }
        }
    });
}

CMqttOutbox::~CMqttOutbox() {
    {
        const std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void CMqttOutbox::SetConnected(bool connected) {
    {
        const std::lock_guard lock(m_mutex);
        m_bConnected = connected;
    }
    m_changed.notify_all();
}

void CMqttOutbox::Post(OutboxMessage message) {
    {
        const std::lock_guard lock(m_mutex);
        m_queue.Add(std::move(message));
    }
    m_changed.notify_all();
}
