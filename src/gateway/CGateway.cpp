#include "gateway/CGateway.h"

#include <QDir>
#include <QJsonDocument>
#include <algorithm>
#include <array>
#include <cstdio>

#include "fleet/SignReport.h"
#include "gateway/SafeName.h"

namespace {

constexpr std::array<double, 12> kDurationBounds = {0.005, 0.01, 0.025, 0.05, 0.1, 0.25,
                                                    0.5,   1,    2.5,   5,    10,  30};
// The clock's timer looks again at least this often, so that a change of summer time or of the
// clock is noticed soon.
constexpr std::chrono::milliseconds kLongestClockWait = std::chrono::hours(1);
constexpr const char* kValuesPath = "vars.json";

// A sign's desired message in the state journal, named by its escaped name.
std::string SignStatePath(const std::string& key) {
    return "signs/" + key + ".json";
}

LocalTimeMs NowLocalMs() {
    const QDateTime now = QDateTime::currentDateTime();
    return LocalTimeMs(std::chrono::milliseconds(now.toMSecsSinceEpoch() +
                                                 now.offsetFromUtc() * std::int64_t{1000}));
}

LocalTime NowLocal() {
    return std::chrono::floor<std::chrono::seconds>(NowLocalMs());
}

QString TimeText(const QDateTime& time) {
    return time.isValid() ? time.toUTC().toString(Qt::ISODateWithMs) : QString();
}

QJsonValue MessageJson(const MessageDocument& message) {
    const std::string text = WriteMessageJson(message, {.indented = false, .everyChoice = true});
    return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

// What a sign is sent when a notice ends and it has nothing else to show: no text, the display
// cleared.
const MessageDocument& BlankMessage() {
    static const MessageDocument blank =
        ParseMessageJson(R"({"lines": [], "displayMode": "clear-home"})");
    return blank;
}

QJsonArray TextList(const auto& texts) {
    QJsonArray list;
    for (const std::string& text : texts) {
        list.append(QString::fromStdString(text));
    }
    return list;
}

}  // namespace

struct CGateway::SignState {
    NamedSign sign;
    std::string key;  // EscapeName(sign.name): its state file and topic level
    std::optional<MessageDocument> desired;
    QDateTime desiredAt;
    std::optional<MessageDocument> notify;
    bool clearAfterNotice = false;  // a notice ended with nothing else to show
    QDateTime notifyUntil;
    QTimer notifyTimer;
    std::optional<size_t> scheduleRule;
    ExpandedMessage shown;  // what the last send carried
    // The send in flight; `again` asks for another when it ends, with what is desired then.
    std::unique_ptr<CSendPlan> plan;
    bool again = false;
    QTimer retryTimer;
    std::chrono::seconds retryDelay = kFirstRetryDelay;
    QDateTime nextTry;
    std::optional<SignSendResult> last;
    QDateTime lastAt;
    QDateTime deliveredAt;
};

CGateway::CGateway(GatewayConfig config, std::vector<NamedSign> signs, GatewaySchedules schedules,
                   ComDeviceResolver resolve, QObject* parent)
    : QObject(parent),
      m_config(std::move(config)),
      m_schedules(std::move(schedules)),
      m_resolve(std::move(resolve)) {
    m_metrics.durationBuckets.assign(kDurationBounds.size() + 1, 0);
    for (NamedSign& sign : signs) {
        auto state = std::make_unique<SignState>();
        state->key = EscapeName(sign.name);
        state->sign = std::move(sign);
        state->retryTimer.setSingleShot(true);
        state->notifyTimer.setSingleShot(true);
        SignState* raw = state.get();
        connect(&state->retryTimer, &QTimer::timeout, this, [this, raw] {
            ++m_metrics.retries;
            Kick(*raw);
        });
        connect(&state->notifyTimer, &QTimer::timeout, this, [this, raw] {
            raw->notify.reset();
            // With nothing else to show, the notice must not stay up as if it still held: the
            // sign is cleared.
            raw->clearAfterNotice = Source(*raw) == nullptr;
            Log(raw->sign.name,
                raw->clearAfterNotice ? "notice over; sign cleared" : "notice over");
            Kick(*raw);
            emit SignChanged(QString::fromStdString(raw->sign.name));
        });
        m_signs.push_back(std::move(state));
    }
    m_clockTimer.setSingleShot(true);
    m_clockTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_clockTimer, &QTimer::timeout, this, &CGateway::OnClock);
}

CGateway::~CGateway() {
    Stop();
}

void CGateway::Start() {
    if (!QDir().mkpath(m_config.stateDir)) {
        throw CGatewayConfigError("cannot make the state folder " +
                                  m_config.stateDir.toStdString());
    }
    try {
        // Takes back what a crash left in the journal before the files are read.
        m_journal = std::make_unique<CStateJournal>(m_config.stateDir.toStdString());
    } catch (const std::runtime_error& error) {
        throw CGatewayConfigError(error.what());
    }
    LoadState();
    const LocalTime now = NowLocal();
    for (auto& state : m_signs) {
        state->scheduleRule =
            OpenScheduleRule(m_schedules.rules, {state->sign.name, state->sign.tags}, now);
        Kick(*state);
    }
    ArmClockTimer();
}

void CGateway::Stop() {
    FlushLog();
    m_clockTimer.stop();
    for (auto& state : m_signs) {
        state->retryTimer.stop();
        state->notifyTimer.stop();
        if (state->plan) {
            state->plan->Cancel();
        }
    }
    for (auto& state : m_signs) {
        state->plan.reset();
    }
}

std::vector<std::string> CGateway::SignNames() const {
    std::vector<std::string> names;
    for (const auto& state : m_signs) {
        names.push_back(state->sign.name);
    }
    return names;
}

std::vector<std::string> CGateway::SignsWithTag(const std::string& tag) const {
    std::vector<std::string> names;
    for (const auto& state : m_signs) {
        const auto& tags = state->sign.tags;
        if (std::any_of(tags.begin(), tags.end(),
                        [&](const std::string& t) { return SameSignName(t, tag); })) {
            names.push_back(state->sign.name);
        }
    }
    return names;
}

CGateway::SignState* CGateway::Find(const std::string& name) {
    return FindKey(EscapeName(name));
}

CGateway::SignState* CGateway::FindKey(const std::string& key) {
    for (auto& state : m_signs) {
        if (state->key == key) {
            return state.get();
        }
    }
    return nullptr;
}

const CGateway::SignState* CGateway::Find(const std::string& name) const {
    return const_cast<CGateway*>(this)->Find(name);
}

void CGateway::LoadState() {
    std::map<std::string, std::string> kept = m_journal->TakeRecovered();
    for (auto& state : m_signs) {
        const auto found = kept.find(SignStatePath(state->key));
        if (found == kept.end()) {
            continue;
        }
        const QJsonObject object =
            QJsonDocument::fromJson(QByteArray::fromStdString(found->second)).object();
        try {
            state->desired = ParseMessageJson(
                QJsonDocument(object.value("message").toObject()).toJson().toStdString());
            state->desiredAt = QDateTime::fromString(object.value("setAt").toString(), Qt::ISODate);
        } catch (const CMessageFileError& error) {
            Log(state->sign.name, "kept message left out: " + std::string(error.what()));
        }
    }
    const QJsonObject values =
        QJsonDocument::fromJson(QByteArray::fromStdString(kept[kValuesPath])).object();
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (it.value().isString() && IsVariableName(it.key().toStdString())) {
            m_values[it.key().toStdString()] = it.value().toString().toStdString();
        }
    }
}

void CGateway::KeepDesired(const std::string& name, const MessageDocument& message,
                           KeepAnswer answer) {
    const SignState* state = Find(name);
    if (state == nullptr) {
        if (answer) {
            answer("no such sign");
        }
        return;
    }
    QJsonObject object;
    object["sign"] = QString::fromStdString(state->sign.name);
    object["message"] = MessageJson(message);
    object["setAt"] = TimeText(QDateTime::currentDateTimeUtc());
    const std::string key = state->key;
    m_journal->Write(
        SignStatePath(key), QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString(),
        [this, key, message, answer](const CStateJournal::Outcome& outcome) {
            QMetaObject::invokeMethod(
                this,
                [this, key, message, answer, outcome] {
                    SignState* kept = FindKey(key);
                    if (outcome.failure) {
                        ++m_metrics.stateWriteFailures;
                        Log(kept != nullptr ? kept->sign.name : key, *outcome.failure);
                    } else if (kept != nullptr && !outcome.replaced) {
                        // One replaced by a later message of the same batch was never shown.
                        ApplyDesired(*kept, message);
                    }
                    if (answer) {
                        answer(outcome.failure ? std::optional<std::string>(
                                                     "the desired message could not be kept")
                                               : std::nullopt);
                    }
                },
                Qt::QueuedConnection);
        });
}

void CGateway::ApplyDesired(SignState& state, const MessageDocument& message) {
    ++m_metrics.stateWrites;
    state.desired = message;
    state.desiredAt = QDateTime::currentDateTimeUtc();
    Log(state.sign.name, "new desired message");
    // The newest message goes at once: a send of an older one still running gives way.
    state.retryDelay = kFirstRetryDelay;
    if (state.plan && !state.notify && !state.scheduleRule) {
        state.plan->Cancel();
    }
    Kick(state);
    emit DesiredChanged(QString::fromStdString(state.sign.name));
    emit SignChanged(QString::fromStdString(state.sign.name));
}

std::optional<std::string> CGateway::DesiredJson(const std::string& name) const {
    const SignState* state = Find(name);
    if (state == nullptr || !state->desired) {
        return std::nullopt;
    }
    return WriteMessageJson(*state->desired, {.indented = false, .everyChoice = true});
}

void CGateway::Notify(const std::string& name, const MessageDocument& message, int seconds) {
    SignState* state = Find(name);
    if (state == nullptr) {
        return;
    }
    state->notify = message;
    state->notifyUntil = QDateTime::currentDateTimeUtc().addSecs(seconds);
    state->notifyTimer.start(std::chrono::seconds(seconds));
    Log(state->sign.name, "notice for " + std::to_string(seconds) + " s");
    state->retryDelay = kFirstRetryDelay;
    if (state->plan) {
        state->plan->Cancel();
    }
    Kick(*state);
    emit SignChanged(QString::fromStdString(state->sign.name));
}

void CGateway::SetVariable(const std::string& name, const std::string& value, KeepAnswer answer) {
    const auto known = m_values.find(name);
    if (known != m_values.end() && known->second == value) {
        if (answer) {
            answer(std::nullopt);
        }
        return;
    }
    m_values[name] = value;
    QJsonObject object;
    for (const auto& [variable, text] : m_values) {
        object[QString::fromStdString(variable)] = QString::fromStdString(text);
    }
    m_journal->Write(
        kValuesPath, QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString(),
        [this, name, answer](const CStateJournal::Outcome& outcome) {
            QMetaObject::invokeMethod(
                this,
                [this, name, answer, outcome] {
                    if (outcome.failure) {
                        ++m_metrics.stateWriteFailures;
                        Log(name, *outcome.failure);
                    } else {
                        ++m_metrics.stateWrites;
                        for (auto& state : m_signs) {
                            if (state->shown.used.count(name) != 0) {
                                Kick(*state);
                            }
                        }
                    }
                    if (answer) {
                        answer(outcome.failure
                                   ? std::optional<std::string>("the value could not be kept")
                                   : std::nullopt);
                    }
                },
                Qt::QueuedConnection);
        });
}

const MessageDocument* CGateway::Source(const SignState& state) const {
    if (state.notify) {
        return &*state.notify;
    }
    if (state.scheduleRule) {
        return &m_schedules.messages[*state.scheduleRule];
    }
    if (state.desired) {
        return &*state.desired;
    }
    return state.clearAfterNotice ? &BlankMessage() : nullptr;
}

std::optional<MessageDocument> CGateway::ShownMessage(const std::string& name) const {
    const SignState* state = Find(name);
    const MessageDocument* source = state != nullptr ? Source(*state) : nullptr;
    if (source == nullptr) {
        return std::nullopt;
    }
    MessageDocument shown = ExpandMessage(*source, m_values, NowLocal()).message;
    shown.settings = SettingsForSign(shown.settings, state->sign);
    return shown;
}

void CGateway::Kick(SignState& state) {
    if (state.plan) {
        state.again = true;
        return;
    }
    state.retryTimer.stop();
    state.nextTry = {};
    const MessageDocument* source = Source(state);
    if (source == nullptr) {
        return;
    }
    state.shown = ExpandMessage(*source, m_values, NowLocal());
    if (state.shown.usesClock && !m_bMinuteTicks) {
        ArmClockTimer();
    }
    state.plan = std::make_unique<CSendPlan>(
        SignSendsForMessage({state.sign}, state.shown.message, m_resolve));
    const std::string key = state.key;
    state.plan->Start([this, key](const SignSendResult& result) {
        QMetaObject::invokeMethod(
            this, [this, key, result] { OnSent(key, result); }, Qt::QueuedConnection);
    });
}

void CGateway::OnSent(const std::string& key, const SignSendResult& result) {
    SignState* found = FindKey(key);
    if (found == nullptr) {
        return;
    }
    SignState& state = *found;
    state.plan.reset();
    const bool cancelled = result.outcome.result.code == SEND_CANCELLED;
    if (!cancelled) {
        state.last = result;
        state.lastAt = QDateTime::currentDateTimeUtc();
        const std::string outcome = result.outcome.Delivered() ? "delivered" : "failed";
        ++m_metrics.sends[{state.sign.name, outcome}];
        const auto bucket =
            std::lower_bound(kDurationBounds.begin(), kDurationBounds.end(), result.seconds);
        ++m_metrics.durationBuckets[static_cast<size_t>(bucket - kDurationBounds.begin())];
        m_metrics.durationSum += result.seconds;
        ++m_metrics.durationCount;
        Log(state.sign.name, SignSendState(result));
    }
    if (state.again) {
        state.again = false;
        Kick(state);
    } else if (result.outcome.Delivered()) {
        state.deliveredAt = state.lastAt;
        state.retryDelay = kFirstRetryDelay;
    } else if (!cancelled) {
        state.nextTry = QDateTime::currentDateTimeUtc().addSecs(state.retryDelay.count());
        state.retryTimer.start(state.retryDelay);
        state.retryDelay = std::min(state.retryDelay * 2, kLongestRetryDelay);
    }
    emit SignChanged(QString::fromStdString(state.sign.name));
}

void CGateway::ArmClockTimer() {
    // One timer for every sign: it wakes when a schedule's window opens or closes for one of
    // them, and at each minute while one shows the time.
    const LocalTimeMs now = NowLocalMs();
    std::vector<ScheduledSign> signs;
    m_bMinuteTicks = false;
    for (const auto& state : m_signs) {
        signs.push_back({state->sign.name, state->sign.tags});
        m_bMinuteTicks = m_bMinuteTicks || state->shown.usesClock;
    }
    std::optional<LocalTime> next =
        NextScheduleChange(m_schedules.rules, signs, std::chrono::floor<std::chrono::seconds>(now));
    if (m_bMinuteTicks) {
        const LocalTime minute =
            std::chrono::floor<std::chrono::minutes>(now) + std::chrono::minutes(1);
        next = next ? std::min(*next, minute) : minute;
    }
    m_clockTimer.start(WaitUntilLocal(next, now, kLongestClockWait));
}

void CGateway::OnClock() {
    const LocalTime now = NowLocal();
    for (auto& state : m_signs) {
        const auto rule =
            OpenScheduleRule(m_schedules.rules, {state->sign.name, state->sign.tags}, now);
        const bool ruleChanged = rule != state->scheduleRule;
        state->scheduleRule = rule;
        if (ruleChanged) {
            Log(state->sign.name,
                rule ? "schedule " + std::to_string(*rule + 1) + " opens" : "schedule closes");
        }
        if (ruleChanged || state->shown.usesClock) {
            Kick(*state);
        }
    }
    ArmClockTimer();
}

QJsonObject CGateway::SignJson(const std::string& name) const {
    const SignState* state = Find(name);
    if (state == nullptr) {
        return {};
    }
    QJsonObject object;
    object["name"] = QString::fromStdString(state->sign.name);
    object["link"] = QString::fromStdString(SignLinkDescription(state->sign));
    object["address"] = QString::fromStdString(SignAddressDescription(state->sign));
    object["tags"] = TextList(state->sign.tags);
    object["gateway"] = QString::fromStdString(m_config.name);
    object["desired"] = state->desired ? MessageJson(*state->desired) : QJsonValue();
    object["desiredSetAt"] = TimeText(state->desiredAt);
    // What the sign shows, values filled in and its own model: enough for another gateway's page
    // to draw its panel from the retained state alone.
    const auto shown = ShownMessage(name);
    object["shown"] = shown ? MessageJson(*shown) : QJsonValue();
    object["showing"] = state->notify         ? "notice"
                        : state->scheduleRule ? "schedule"
                        : state->desired      ? "desired"
                                              : "nothing";
    if (state->notify) {
        object["noticeUntil"] = TimeText(state->notifyUntil);
    }
    if (state->scheduleRule) {
        object["schedule"] = static_cast<int>(*state->scheduleRule);
    }
    QJsonObject last;
    if (state->last) {
        last["delivered"] = state->last->outcome.Delivered();
        last["text"] = QString::fromStdString(SignSendState(*state->last));
        last["at"] = TimeText(state->lastAt);
    }
    object["lastOutcome"] = state->last ? QJsonValue(last) : QJsonValue();
    object["deliveredAt"] =
        state->deliveredAt.isValid() ? TimeText(state->deliveredAt) : QJsonValue();
    object["missing"] = TextList(state->shown.missing);
    if (state->plan) {
        object["waitingFor"] = "send";
    } else if (state->retryTimer.isActive()) {
        object["waitingFor"] = "retry";
        object["nextTryAt"] = TimeText(state->nextTry);
    } else if (!state->shown.missing.empty()) {
        object["waitingFor"] = "values";
    } else {
        object["waitingFor"] = "nothing";
    }
    return object;
}

QJsonArray CGateway::SignsJson() const {
    QJsonArray signs;
    for (const auto& state : m_signs) {
        signs.append(SignJson(state->sign.name));
    }
    return signs;
}

std::string CGateway::MetricsText() const {
    std::string text;
    const auto quoted = [](const std::string& value) {
        std::string out;
        for (const char c : value) {
            if (c == '\\' || c == '"') {
                out += '\\';
                out += c;
            } else if (c == '\n') {
                out += "\\n";
            } else {
                out += c;
            }
        }
        return out;
    };
    text += "# HELP lumivex_gateway_sends_total Sends by sign and outcome.\n";
    text += "# TYPE lumivex_gateway_sends_total counter\n";
    for (const auto& [labels, count] : m_metrics.sends) {
        text += "lumivex_gateway_sends_total{sign=\"" + quoted(labels.first) + "\",outcome=\"" +
                labels.second + "\"} " + std::to_string(count) + "\n";
    }
    text +=
        "# HELP lumivex_gateway_send_duration_seconds Time from a send's start to its outcome.\n";
    text += "# TYPE lumivex_gateway_send_duration_seconds histogram\n";
    uint64_t cumulative = 0;
    for (size_t i = 0; i < m_metrics.durationBuckets.size(); ++i) {
        cumulative += m_metrics.durationBuckets[i];
        const std::string bound =
            i < kDurationBounds.size() ? QString::number(kDurationBounds[i]).toStdString() : "+Inf";
        text += "lumivex_gateway_send_duration_seconds_bucket{le=\"" + bound + "\"} " +
                std::to_string(cumulative) + "\n";
    }
    text += "lumivex_gateway_send_duration_seconds_sum " +
            QString::number(m_metrics.durationSum).toStdString() + "\n";
    text += "lumivex_gateway_send_duration_seconds_count " +
            std::to_string(m_metrics.durationCount) + "\n";
    text += "# HELP lumivex_gateway_retries_total Sends tried again after a failure.\n";
    text += "# TYPE lumivex_gateway_retries_total counter\n";
    text += "lumivex_gateway_retries_total " + std::to_string(m_metrics.retries) + "\n";
    text += "# HELP lumivex_gateway_state_writes_total Writes of the state folder.\n";
    text += "# TYPE lumivex_gateway_state_writes_total counter\n";
    text += "lumivex_gateway_state_writes_total{result=\"ok\"} " +
            std::to_string(m_metrics.stateWrites) + "\n";
    text += "lumivex_gateway_state_writes_total{result=\"failed\"} " +
            std::to_string(m_metrics.stateWriteFailures) + "\n";
    text += "# HELP lumivex_gateway_mqtt_connected 1 while the broker is connected.\n";
    text += "# TYPE lumivex_gateway_mqtt_connected gauge\n";
    text +=
        "lumivex_gateway_mqtt_connected " + std::string(m_metrics.mqttConnected ? "1" : "0") + "\n";
    return text;
}

void CGateway::Log(const std::string& sign, const std::string& text) const {
    // The lines of the events handled together are written together, once those are handled:
    // one write for a burst, not one a line, each a wake-up for whoever reads the log.
    const bool first = m_strLogLines.empty();
    m_strLogLines += "lumivex-gateway: " + sign + ": " + text + "\n";
    if (first) {
        QTimer::singleShot(0, this, [this] { FlushLog(); });
    }
}

void CGateway::FlushLog() const {
    std::fputs(m_strLogLines.c_str(), stderr);
    m_strLogLines.clear();
}
