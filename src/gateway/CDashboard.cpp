#include "gateway/CDashboard.h"

#include <httplib.h>

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <memory>
#include <utility>

#include "gateway/AccessRoles.h"
#include "gateway/CGatewayCore.h"
#include "gateway/GatewayThread.h"
#include "gateway/MemoryRelease.h"
#include "gateway/PanelFrames.h"
#include "gateway/SignPresenter.h"

namespace {

// A browser that falls further behind than this gets a fresh start: its stream ends, and the
// page reconnects to a new snapshot.
constexpr size_t kMaxEventBacklog = 1024;
constexpr size_t kMaxEventBacklogBytes = 8 * 1024 * 1024;
// A backlog this large, let go, is given back to the system at once.
constexpr size_t kReleasedBacklogBytes = 1024 * 1024;
constexpr int kReconnectMs = 2000;

// The page allows itself nothing but the gateway: its own script, style, frames and events.
constexpr const char* kContentPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
    "connect-src 'self'; form-action 'none'; base-uri 'none'; frame-ancestors 'none'";

struct PageFile {
    const char* path;
    const char* resource;
    const char* type;
};
constexpr PageFile kPageFiles[] = {
    {"/", ":/dashboard/index.html", "text/html; charset=utf-8"},
    {"/board.js", ":/dashboard/board.js", "text/javascript; charset=utf-8"},
    {"/app.js", ":/dashboard/app.js", "text/javascript; charset=utf-8"},
    {"/app.css", ":/dashboard/app.css", "text/css; charset=utf-8"},
    {"/board.css", ":/dashboard/board.css", "text/css; charset=utf-8"},
    {"/icon.svg", ":/dashboard/icon.svg", "image/svg+xml"},
};

void SetPageHeaders(httplib::Response& response) {
    response.set_header("Content-Security-Policy", kContentPolicy);
    response.set_header("X-Content-Type-Options", "nosniff");
    response.set_header("Referrer-Policy", "no-referrer");
    response.set_header("Cache-Control", "no-cache");
}

std::string EventText(const char* name, const QJsonObject& data) {
    return std::string("event: ") + name +
           "\ndata: " + QJsonDocument(data).toJson(QJsonDocument::Compact).toStdString() + "\n\n";
}

}  // namespace

struct CDashboard::Stream {
    std::string client;  // its address
    bool started = false;
    bool dropped = false;  // let go for a newer page
    uint64_t next = 0;     // the number of the next event it is to get
};

CDashboard::CDashboard(CGatewayCore& core, QObject* parent) : QObject(parent), m_core(core) {
    Q_INIT_RESOURCE(dashboard);
    core.Director().AddListener(this);
    core.Others().OnChanged([this](const std::string& name) { OtherChanged(name); });
    core.Others().OnGatewaysChanged([this] {
        if (Following()) {
            PushEvent("gateways", GatewaysJson(m_core.Others()));
        }
    });
}

CDashboard::~CDashboard() {
    CloseStreams();
}

void CDashboard::CloseStreams() {
    const std::lock_guard lock(m_mutex);
    m_bClosed = true;
    m_changed.notify_all();
}

void CDashboard::Route(httplib::Server& server) {
    for (const PageFile& file : kPageFiles) {
        QFile resource(QString::fromLatin1(file.resource));
        resource.open(QIODevice::ReadOnly);
        const std::string bytes = resource.readAll().toStdString();
        const std::string type = file.type;
        server.Get(file.path, [bytes, type](const httplib::Request&, httplib::Response& response) {
            SetPageHeaders(response);
            response.set_content(bytes, type);
        });
    }
    server.Get("/api/events", [this](const httplib::Request& request, httplib::Response& response) {
        auto stream = std::make_shared<Stream>();
        stream->client = request.remote_addr;
        if (!Admit(stream)) {
            response.status = 503;
            response.set_header("Retry-After", "10");
            response.set_content(R"({"error": "the gateway is stopping"})", "application/json");
            return;
        }
        SetPageHeaders(response);
        response.set_chunked_content_provider(
            "text/event-stream",
            [this, stream](size_t, httplib::DataSink& sink) { return Pump(*stream, sink); },
            [this, stream](bool) { Leave(stream); });
    });
}

bool CDashboard::Admit(const std::shared_ptr<Stream>& stream) {
    const std::lock_guard lock(m_mutex);
    if (m_bClosed) {
        return false;
    }
    // Each stream holds a thread of the server: one client gets a few, all clients together no
    // more than the server can spare, and a new page takes the place of the oldest.
    const auto drop = [&](auto position) {
        (*position)->dropped = true;
        m_streams.erase(position);
        m_changed.notify_all();
    };
    const auto own = [&](const std::shared_ptr<Stream>& other) {
        return other->client == stream->client;
    };
    if (std::count_if(m_streams.begin(), m_streams.end(), own) >= kMaxEventStreamsAClient) {
        drop(std::find_if(m_streams.begin(), m_streams.end(), own));
    } else if (static_cast<int>(m_streams.size()) >= kMaxEventStreams) {
        drop(m_streams.begin());
    }
    m_streams.push_back(stream);
    return true;
}

void CDashboard::Leave(const std::shared_ptr<Stream>& stream) {
    std::deque<std::string> backlog;
    size_t bytes = 0;
    {
        const std::lock_guard lock(m_mutex);
        m_streams.remove(stream);
        if (!m_streams.empty()) {
            return;
        }
        // No page follows: the events wait for nobody.
        m_nFirstEvent += m_events.size();
        bytes = std::exchange(m_nEventBytes, 0);
        backlog.swap(m_events);
    }
    backlog.clear();
    if (bytes >= kReleasedBacklogBytes) {
        ReleaseFreedMemory();
    }
}

bool CDashboard::Pump(Stream& stream, httplib::DataSink& sink) {
    std::string text;
    if (!stream.started) {
        stream.started = true;
        {
            const std::lock_guard lock(m_mutex);
            if (m_bClosed) {
                return false;
            }
        }
        // Taken on the gateway's thread, where the events are made, so that the stream goes on
        // exactly after the snapshot.
        text = "retry: " + std::to_string(kReconnectMs) + "\n\n" +
               AskGateway<std::string>(this, [this, &stream](auto reply) {
                   {
                       const std::lock_guard lock(m_mutex);
                       stream.next = m_nFirstEvent + m_events.size();
                   }
                   reply(SnapshotEvent());
               });
    } else {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, kEventKeepAlive, [&] {
            return m_bClosed || stream.dropped || stream.next < m_nFirstEvent + m_events.size();
        });
        if (m_bClosed || stream.dropped || stream.next < m_nFirstEvent) {
            return false;
        }
        for (; stream.next < m_nFirstEvent + m_events.size(); ++stream.next) {
            text += m_events[stream.next - m_nFirstEvent];
        }
    }
    if (text.empty()) {
        text = ": keep-alive\n\n";
    }
    return sink.write(text.data(), text.size());
}

bool CDashboard::Following() {
    const std::lock_guard lock(m_mutex);
    return !m_streams.empty();
}

void CDashboard::SignChanged(const SignState& state) {
    if (Following()) {
        PushEvent("sign", CardJson(state));
    }
}

void CDashboard::OtherChanged(const std::string& name) {
    if (Following()) {
        PushEvent("sign", OtherCardJson(name, m_core.Others().Find(name)));
    }
}

void CDashboard::PushEvent(const char* name, const QJsonValue& value) {
    QJsonObject data;
    data["serverTime"] = static_cast<qint64>(m_core.Director().Now().time_since_epoch().count());
    data[name] = value;
    std::string event = EventText(name, data);
    const std::lock_guard lock(m_mutex);
    m_nEventBytes += event.size();
    m_events.push_back(std::move(event));
    // A page that falls behind by this much starts afresh, whatever the events' size.
    while (m_events.size() > kMaxEventBacklog || m_nEventBytes > kMaxEventBacklogBytes) {
        m_nEventBytes -= m_events.front().size();
        m_events.pop_front();
        ++m_nFirstEvent;
    }
    m_changed.notify_all();
}

std::string CDashboard::SnapshotEvent() {
    QJsonArray cards;
    for (const SignState& state : m_core.Director().Signs()) {
        cards.append(CardJson(state));
    }
    for (const auto& [key, other] : m_core.Others().All()) {
        cards.append(OtherCardJson(other.name, &other));
    }
    QJsonObject data;
    data["gateway"] = QString::fromStdString(m_core.Config().name);
    data["tokenNeeded"] = TokensConfigured(m_core.Config());
    // Another gateway's signs take writes from here only with the key both share.
    data["canForward"] = m_core.Commands().CanForward();
    data["serverTime"] = static_cast<qint64>(m_core.Director().Now().time_since_epoch().count());
    data["signs"] = cards;
    data["gateways"] = GatewaysJson(m_core.Others());
    return EventText("signs", data);
}

QJsonObject CDashboard::CardJson(const SignState& state) {
    // Counted once a message: a card changes far more often than what it shows.
    const auto panel = [&state](std::map<std::string, PanelCycle>& cycles,
                                std::optional<MessageDocument> message) {
        if (!message) {
            cycles.erase(state.sign.name);
            return CardPanel{};
        }
        PanelCycle& cycle = cycles[state.sign.name];
        const std::string version = PanelVersion(*message);
        if (cycle.frames == 0 || cycle.version != version) {
            cycle = {version, FramesOf(*message)};
        }
        return CardPanel{std::move(message), cycle.frames};
    };
    return ::CardJson(m_core.SignJson(state), panel(m_cycles, m_core.Director().Shown(state)),
                      panel(m_tookCycles, state.delivered));
}
