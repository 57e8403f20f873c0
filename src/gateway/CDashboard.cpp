#include "gateway/CDashboard.h"

#include <httplib.h>

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <memory>

#include "encoding/Windows1252.h"
#include "gateway/CGateway.h"
#include "gateway/OnGateway.h"
#include "preview/FrameSequence.h"
#include "preview/SignModel.h"
#include "settings/MessageFile.h"

namespace {

// A browser that falls further behind than this gets a fresh start: its stream ends, and the
// page reconnects to a new snapshot.
constexpr size_t kMaxEventBacklog = 1024;
constexpr int kReconnectMs = 2000;

// A shown message's version: its JSON, every choice written, hashed.
std::string VersionOfJson(const std::string& json) {
    return std::to_string(qHash(QByteArray::fromStdString(json)));
}

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
    {"/app.js", ":/dashboard/app.js", "text/javascript; charset=utf-8"},
    {"/app.css", ":/dashboard/app.css", "text/css; charset=utf-8"},
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

// The message's text in words: its lines one after another.
QString ShownText(const MessageDocument& shown) {
    QStringList lines;
    for (const CellLine& line : shown.lines) {
        std::string bytes;
        for (const CharCell& cell : line) {
            bytes += static_cast<char>(cell.character);
        }
        const QString text = QString::fromStdString(Windows1252ToUtf8(bytes)).simplified();
        if (!text.isEmpty()) {
            lines.append(text);
        }
    }
    return lines.join(QStringLiteral(" / "));
}

}  // namespace

struct CDashboard::Stream {
    bool started = false;
    uint64_t next = 0;  // the number of the next event it is to get
};

CDashboard::CDashboard(CGateway& gateway, QObject* parent) : QObject(parent), m_gateway(gateway) {
    Q_INIT_RESOURCE(dashboard);
    connect(&m_gateway, &CGateway::SignChanged, this, &CDashboard::OnSignChanged);
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
    server.Get("/api/events", [this](const httplib::Request&, httplib::Response& response) {
        {
            const std::lock_guard lock(m_mutex);
            if (m_bClosed || m_nStreams >= kMaxEventStreams) {
                response.status = 503;
                response.set_header("Retry-After", "10");
                response.set_content(R"({"error": "too many pages are open on this gateway"})",
                                     "application/json");
                return;
            }
            ++m_nStreams;
        }
        SetPageHeaders(response);
        auto stream = std::make_shared<Stream>();
        response.set_chunked_content_provider(
            "text/event-stream",
            [this, stream](size_t, httplib::DataSink& sink) { return Pump(*stream, sink); },
            [this](bool) {
                const std::lock_guard lock(m_mutex);
                --m_nStreams;
            });
    });
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
        text = "retry: " + std::to_string(kReconnectMs) + "\n\n" + OnGateway(this, [&] {
                   {
                       const std::lock_guard lock(m_mutex);
                       stream.next = m_nFirstEvent + m_events.size();
                   }
                   return SnapshotEvent();
               });
    } else {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, kEventKeepAlive, [&] {
            return m_bClosed || stream.next < m_nFirstEvent + m_events.size();
        });
        if (m_bClosed || stream.next < m_nFirstEvent) {
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

void CDashboard::OnSignChanged(const QString& name) {
    {
        const std::lock_guard lock(m_mutex);
        if (m_nStreams == 0) {
            return;
        }
    }
    PushEvent(CardJson(name.toStdString()));
}

void CDashboard::TakeOtherSign(const QString& name, const QByteArray& state) {
    const QJsonObject object = QJsonDocument::fromJson(state).object();
    QJsonObject card{{"name", name}, {"gone", true}};
    const std::string key = name.toStdString();
    m_otherShown.erase(key);
    m_cycles.erase(key);
    if (object.isEmpty()) {
        m_others.erase(key);
    } else {
        card = object;
        card["name"] = name;
        card["other"] = true;
        // A state of an older gateway names only the desired message: its words, without a panel.
        const bool drawn = object.value("shown").isObject();
        try {
            const QJsonDocument shown(object.value(drawn ? "shown" : "desired").toObject());
            const MessageDocument message = ParseMessageJson(shown.toJson().toStdString());
            card["text"] = ShownText(message);
            if (drawn) {
                std::string version;
                card["frames"] = static_cast<qint64>(FramesOf(key, message, version));
                card["panelVersion"] = QString::fromStdString(version);
                const AreaSize area = GetAreaSize(message.settings.signModel);
                card["panel"] = QJsonObject{{"width", area.width}, {"height", area.height}};
                m_otherShown[key] = message;
            }
        } catch (const CMessageFileError&) {
            card.remove("text");  // a state from a newer gateway, perhaps: shown without words
        }
        m_others[key] = card;
    }
    {
        const std::lock_guard lock(m_mutex);
        if (m_nStreams == 0) {
            return;
        }
    }
    PushEvent(card);
}

std::string CDashboard::PanelVersion(const MessageDocument& shown) {
    return VersionOfJson(WriteMessageJson(shown, {.indented = false, .everyChoice = true}));
}

std::optional<MessageDocument> CDashboard::OtherShown(const std::string& name) const {
    const auto found = m_otherShown.find(name);
    if (found == m_otherShown.end()) {
        return std::nullopt;
    }
    return found->second;
}

void CDashboard::PushEvent(const QJsonObject& card) {
    QJsonObject data;
    data["serverTime"] = QDateTime::currentMSecsSinceEpoch();
    data["sign"] = card;
    std::string event = EventText("sign", data);
    const std::lock_guard lock(m_mutex);
    m_events.push_back(std::move(event));
    while (m_events.size() > kMaxEventBacklog) {
        m_events.pop_front();
        ++m_nFirstEvent;
    }
    m_changed.notify_all();
}

std::string CDashboard::SnapshotEvent() {
    QJsonArray cards;
    for (const std::string& name : m_gateway.SignNames()) {
        cards.append(CardJson(name));
    }
    for (const auto& [name, card] : m_others) {
        cards.append(card);
    }
    QJsonObject data;
    data["gateway"] = QString::fromStdString(m_gateway.Config().name);
    data["tokenNeeded"] = !m_gateway.Config().token.empty();
    data["serverTime"] = QDateTime::currentMSecsSinceEpoch();
    data["signs"] = cards;
    return EventText("signs", data);
}

QJsonObject CDashboard::CardJson(const std::string& name) {
    QJsonObject card = m_gateway.SignJson(name);
    const auto shown = m_gateway.ShownMessage(name);
    if (!shown) {
        m_cycles.erase(name);
        return card;
    }
    std::string version;
    card["frames"] = static_cast<qint64>(FramesOf(name, *shown, version));
    card["panelVersion"] = QString::fromStdString(version);
    const AreaSize area = GetAreaSize(shown->settings.signModel);
    card["panel"] = QJsonObject{{"width", area.width}, {"height", area.height}};
    card["text"] = ShownText(*shown);
    return card;
}

int64_t CDashboard::FramesOf(const std::string& name, const MessageDocument& shown,
                             std::string& version) {
    const std::string json = WriteMessageJson(shown, {.indented = false, .everyChoice = true});
    version = VersionOfJson(json);
    PanelCycle& cycle = m_cycles[name];
    if (cycle.frames == 0 || cycle.message != json) {
        // The frames the preview endpoint draws, counted as it steps them: until the animation
        // comes round to a frame it has shown with the same future.
        const int32_t model = shown.settings.signModel;
        FrameSequence sequence;
        int64_t frames = 0;
        while (frames < kMaxPanelFrames &&
               !sequence.NextStepRepeats(shown.lines, shown.settings, model)) {
            sequence.Step(shown.lines, shown.settings, model);
            ++frames;
        }
        cycle = {json, std::max<int64_t>(frames, 1)};
    }
    return cycle.frames;
}
