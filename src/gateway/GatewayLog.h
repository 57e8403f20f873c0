#pragma once

#include <QObject>
#include <mutex>
#include <string>

struct DirectorEvent;

// The gateway's one log: standard error, one line an event, "lumivex-gateway: SUBJECT: TEXT".
// Lines written together, from any thread, go out together once the gateway's thread has
// handled what came at the same time: one write for a burst, not one a line, each a wake-up for
// whoever reads the log.
class CGatewayLog : public QObject {
public:
    explicit CGatewayLog(QObject* parent = nullptr) : QObject(parent) {}
    ~CGatewayLog() override { Flush(); }

    void Line(const std::string& subject, const std::string& text);
    void Flush();

private:
    std::mutex m_mutex;
    std::string m_strLines;
};

// What the log says of a director's event ("new desired message", "alerts over; sign cleared",
// "sent, 412 bytes in 0.11 s"); empty for an event it leaves out.
std::string EventText(const DirectorEvent& event);
