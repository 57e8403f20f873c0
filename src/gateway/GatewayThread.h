#pragma once

#include <QMetaObject>
#include <QObject>
#include <functional>
#include <future>
#include <memory>
#include <utility>

// The one way work reaches the gateway's thread, from the HTTP and MQTT threads, the journal's
// writer and the sends: a call posted to the gateway's event loop. Nothing else crosses threads,
// so nothing guards the signs' state.
inline void PostToGateway(QObject* gateway, std::function<void()> work) {
    QMetaObject::invokeMethod(gateway, std::move(work), Qt::QueuedConnection);
}

// Posts `ask`, which is handed a reply to call on the gateway's thread, now or once its work is
// done (a write kept on the disk, say), and waits for that reply. For the HTTP threads, whose
// request waits for its answer.
template <class T, class Ask>
T AskGateway(QObject* gateway, Ask ask) {
    auto promise = std::make_shared<std::promise<T>>();
    std::future<T> answer = promise->get_future();
    PostToGateway(gateway, [ask = std::move(ask), promise]() mutable {
        ask([promise](T value) { promise->set_value(std::move(value)); });
    });
    return answer.get();
}
