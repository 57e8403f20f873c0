#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "settings/MessageFile.h"

namespace httplib {
class Server;
class DataSink;
}  // namespace httplib

class CGateway;

// Every event stream holds one of the server's threads for as long as the page stays open; past
// this many the API would have none left.
inline constexpr int kMaxEventStreams = 16;
// A page that went away is found out by the second write after it left: so that its thread comes
// free soon, something goes out this often.
inline constexpr std::chrono::seconds kEventKeepAlive{5};
// A scroll that takes longer than this to come round is shown in its first frames only.
inline constexpr int64_t kMaxPanelFrames = 240;

// The live page: its files, built into the program, and the stream of the signs' changes it
// listens to at /api/events. Lives on the gateway's thread like the gateway; the streams are
// written from the server's threads.
class CDashboard : public QObject {
    Q_OBJECT
public:
    explicit CDashboard(CGateway& gateway, QObject* parent = nullptr);
    ~CDashboard() override;

    // GET / and the page's files, and GET /api/events.
    void Route(httplib::Server& server);
    // Ends every event stream and refuses new ones, so that the server can stop; the page
    // reconnects by itself to whichever gateway comes next.
    void CloseStreams();

    // A sign's card: its state as GET /api/signs/{name} gives it, with what its panel shows: the
    // frames of one cycle, the picture's size and the text in words.
    QJsonObject CardJson(const std::string& name);
    // A sign of another gateway, as its gateway last published its state; an empty state: gone.
    // Its panel is drawn here from what the state says it shows.
    void TakeOtherSign(const QString& name, const QByteArray& state);
    // What another gateway's sign shows, for its preview pictures; none for an unknown sign or
    // one that shows nothing.
    std::optional<MessageDocument> OtherShown(const std::string& name) const;
    // Names the pictures of a shown message: the page asks for frames under it, and the browser
    // keeps them.
    static std::string PanelVersion(const MessageDocument& shown);

private:
    struct Stream;
    struct PanelCycle {
        std::string message;  // the shown message's JSON
        int64_t frames = 0;
    };

    void OnSignChanged(const QString& name);
    void PushEvent(const QJsonObject& card);
    std::string SnapshotEvent();
    bool Pump(Stream& stream, httplib::DataSink& sink);
    int64_t FramesOf(const std::string& name, const MessageDocument& shown, std::string& version);

    CGateway& m_gateway;
    // By sign name, on the gateway's thread only: the frame counts of this gateway's signs, and
    // the cards of the other gateways' signs.
    std::map<std::string, PanelCycle> m_cycles;
    std::map<std::string, QJsonObject> m_others;
    std::map<std::string, MessageDocument> m_otherShown;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::string> m_events;  // the latest events, numbered from m_nFirstEvent
    uint64_t m_nFirstEvent = 0;
    int m_nStreams = 0;
    bool m_bClosed = false;
};
