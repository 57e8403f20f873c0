#pragma once

#include <QMetaObject>
#include <QObject>
#include <optional>
#include <utility>

// Runs f on the gateway's thread, from one of the HTTP threads, and gives back what it returns.
template <class F>
auto OnGateway(QObject* gateway, F f) -> decltype(f()) {
    std::optional<decltype(f())> result;
    QMetaObject::invokeMethod(
        gateway, [&] { result.emplace(f()); }, Qt::BlockingQueuedConnection);
    return std::move(*result);
}
