#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "gateway/CDirector.h"
#include "settings/MessageFile.h"

namespace httplib {
class Server;
class DataSink;
}  // namespace httplib

class CGatewayCore;
struct SignState;

// Every event stream holds one of the server's threads for as long as the page stays open; past
// this many the API would have none left.
inline constexpr int kMaxEventStreams = 16;
inline constexpr int kMaxEventStreamsAClient = 4;
// A page that went away is found out by the second write after it left: so that its thread comes
// free soon, something goes out this often.
inline constexpr std::chrono::seconds kEventKeepAlive{5};

// The live page: its files, built into the program, and the stream of the signs' changes it
// listens to at /api/events. Reads the gateway's signs and the other gateways' on the gateway's
// thread, where it lives; the streams are written from the server's threads.
class CDashboard : public QObject, private IDirectorListener {
public:
    explicit CDashboard(CGatewayCore& core, QObject* parent = nullptr);
    ~CDashboard() override;

    // GET / and the page's files, and GET /api/events.
    void Route(httplib::Server& server);
    // Ends every event stream and refuses new ones, so that the server can stop; the page
    // reconnects by itself to whichever gateway comes next.
    void CloseStreams();

private:
    struct Stream;
    struct PanelCycle {
        std::string version;  // of the shown message
        int64_t frames = 0;
    };

    void SignChanged(const SignState& state) override;
    void OtherChanged(const std::string& name);
    bool Following();
    // Takes a new page's stream, letting an older one go to make room; false when stopping.
    bool Admit(const std::shared_ptr<Stream>& stream);
    // The stream is over; with the last, the backlog is let go.
    void Leave(const std::shared_ptr<Stream>& stream);
    QJsonObject CardJson(const SignState& state);
    // An event `name` of the stream with data {"serverTime", name: value}.
    void PushEvent(const char* name, const QJsonValue& value);
    std::string SnapshotEvent();
    bool Pump(Stream& stream, httplib::DataSink& sink);

    CGatewayCore& m_core;
    // The frame counts of this gateway's signs by name, of what each shows and what it last
    // took, on the gateway's thread only.
    std::map<std::string, PanelCycle> m_cycles;
    std::map<std::string, PanelCycle> m_tookCycles;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::string> m_events;  // the latest events, numbered from m_nFirstEvent
    uint64_t m_nFirstEvent = 0;
    std::list<std::shared_ptr<Stream>> m_streams;  // open, oldest first
    size_t m_nEventBytes = 0;
    bool m_bClosed = false;
};
