#include "gateway/CDirector.h"

#include <algorithm>

#include "fleet/SignEndpoint.h"
#include "gateway/SafeName.h"

namespace {

// The clock's call comes at least this often, so that a change of summer time or of the clock is
// noticed soon.
constexpr std::chrono::milliseconds kLongestClockWait = std::chrono::hours(1);

// What a sign is sent when its last alert ends and it has nothing else to show: no text, the
// display cleared.
const MessageDocument& BlankMessage() {
    static const MessageDocument blank =
        ParseMessageJson(R"({"lines": [], "displayMode": "clear-home"})");
    return blank;
}

}  // namespace

struct CDirector::Running {
    ISignSender::SendId send = 0;
    bool again = false;  // another send when this one ends, of what is shown then
    IClock::WakeId retryWake = 0;
    IClock::WakeId alertWake = 0;
    IClock::WakeId playWake = 0;
};

Showing SignState::Shows() const {
    return alerts.On()    ? Showing::kAlert
           : scheduleRule ? Showing::kSchedule
           : desired      ? Showing::kDesired
                          : Showing::kNothing;
}

WaitingFor SignState::Waits() const {
    return sending                  ? WaitingFor::kSend
           : nextTry                ? WaitingFor::kRetry
           : !shown.missing.empty() ? WaitingFor::kValues
                                    : WaitingFor::kNothing;
}

CDirector::CDirector(std::vector<NamedSign> signs, GatewaySchedules schedules, IClock& clock,
                     ISignSender& sender)
    : m_clock(clock), m_sender(sender), m_schedules(std::move(schedules)) {
    for (NamedSign& sign : signs) {
        SignState state;
        state.key = EscapeName(sign.name);
        state.sign = std::move(sign);
        m_signs.push_back(std::move(state));
    }
    m_running.resize(m_signs.size());
    Index();
}

CDirector::~CDirector() {
    Stop();
}

size_t CDirector::IndexOf(const std::string& name) const {
    return IndexOfKey(EscapeName(name));
}

size_t CDirector::IndexOfKey(const std::string& key) const {
    const auto found = m_indexOf.find(key);
    return found == m_indexOf.end() ? m_signs.size() : found->second;
}

void CDirector::Index() {
    m_indexOf.clear();
    for (size_t i = 0; i < m_signs.size(); ++i) {
        m_indexOf[m_signs[i].key] = i;
    }
}

template <class F>
auto CDirector::Later(size_t index, F call) {
    // By the time it comes the sign may have left the list, or moved in it.
    return [this, key = m_signs[index].key, call](auto&&... arguments) {
        const size_t now = IndexOfKey(key);
        if (now < m_signs.size()) {
            (this->*call)(now, arguments...);
        }
    };
}

void CDirector::Reconfigure(std::vector<NamedSign> signs, GatewaySchedules schedules) {
    std::vector<SignState> kept;
    std::vector<Running> running;
    std::vector<size_t> changed;  // new, or reached another way
    for (NamedSign& sign : signs) {
        const size_t old = IndexOf(sign.name);
        if (old < m_signs.size()) {
            kept.push_back(std::move(m_signs[old]));
            running.push_back(m_running[old]);
            m_running[old] = {};
            if (!(kept.back().sign == sign)) {
                changed.push_back(kept.size() - 1);
            }
            kept.back().sign = std::move(sign);
        } else {
            SignState state;
            state.key = EscapeName(sign.name);
            state.sign = std::move(sign);
            kept.push_back(std::move(state));
            running.emplace_back();
            changed.push_back(kept.size() - 1);
        }
    }
    for (Running& gone : m_running) {  // those of signs that left the list
        m_clock.Cancel(gone.retryWake);
        m_clock.Cancel(gone.alertWake);
        m_clock.Cancel(gone.playWake);
        if (gone.send != 0) {
            m_sender.Cancel(gone.send);
        }
    }
    m_signs = std::move(kept);
    m_running = std::move(running);
    m_schedules = std::move(schedules);
    Index();
    const LocalTime now = m_clock.LocalNow();
    for (size_t i = 0; i < m_signs.size(); ++i) {
        SignState& state = m_signs[i];
        const auto rule =
            OpenScheduleRule(m_schedules.rules, {state.sign.name, state.sign.tags}, now);
        const bool moved = std::find(changed.begin(), changed.end(), i) != changed.end();
        if (moved || rule != state.scheduleRule) {
            state.scheduleRule = rule;
            Kick(i);
            Changed(state);
        }
    }
    ArmClock();
}

const SignState* CDirector::Find(const std::string& name) const {
    const size_t index = IndexOf(name);
    return index < m_signs.size() ? &m_signs[index] : nullptr;
}

void CDirector::Start() {
    const LocalTime now = m_clock.LocalNow();
    for (size_t i = 0; i < m_signs.size(); ++i) {
        SignState& state = m_signs[i];
        state.scheduleRule =
            OpenScheduleRule(m_schedules.rules, {state.sign.name, state.sign.tags}, now);
        state.alerts.Step(m_clock.Now(), m_alertTurn);  // those over while the gateway was down
        ArmAlerts(i);
        state.playingSince = m_clock.Now();
        ArmPlay(i);
        Kick(i);
    }
    ArmClock();
}

void CDirector::Stop() {
    if (m_bStopped) {
        return;
    }
    m_bStopped = true;
    m_clock.Cancel(m_nClockWake);
    for (Running& running : m_running) {
        m_clock.Cancel(running.retryWake);
        m_clock.Cancel(running.alertWake);
        m_clock.Cancel(running.playWake);
    }
    m_sender.StopAll();
}

const MessageDocument* CDirector::Source(const SignState& state) const {
    // A library message as the library has it now; one removed from it as it was.
    const auto named = [this](const std::string& name, const MessageDocument& copy) {
        const LibraryMessage* found = name.empty() ? nullptr : m_library.Find(name);
        return found != nullptr ? &found->message : &copy;
    };
    if (const Alert* alert = state.alerts.On()) {
        return named(alert->library, alert->message);
    }
    if (state.scheduleRule) {
        const size_t rule = *state.scheduleRule;
        const std::string& name = m_schedules.names[rule];
        if (name.empty()) {
            return &m_schedules.messages[rule];
        }
        // One the library lacks leaves the sign its own.
        if (const LibraryMessage* found = m_library.Find(name)) {
            return &found->message;
        }
    }
    if (state.desired) {
        return named(state.desiredName, *state.desired);
    }
    return state.clearAfterAlert ? &BlankMessage() : nullptr;
}

std::optional<MessageDocument> CDirector::Shown(const SignState& state) const {
    const MessageDocument* source = Source(state);
    if (source == nullptr) {
        return std::nullopt;
    }
    MessageDocument shown = ExpandMessage(*source, m_values, m_clock.LocalNow()).message;
    shown.settings = SettingsForSign(shown.settings, state.sign);
    return shown;
}

void CDirector::SetDesired(const std::string& name, Playlist playlist, const Stamp& stamp) {
    const size_t index = IndexOf(name);
    if (index >= m_signs.size() || playlist.empty()) {
        return;
    }
    SignState& state = m_signs[index];
    // The same words again (a retained set met twice at a reconnect, a page sent twice) go on
    // where they are: a send of them running is not cut short, a playlist keeps its turn.
    const bool same = state.playlist == playlist;
    if (!same) {
        state.playlist = std::move(playlist);
        state.playing = 0;
        state.playingSince = m_clock.Now();
        PlayEntryOn(state);
        ArmPlay(index);
    }
    state.stamp = stamp;
    state.clearAfterAlert = false;
    Tell({DirectorEvent::Kind::kNewDesired, state});
    // The newest message goes at once: a send of an older one still running gives way.
    state.retryDelay = kFirstRetryDelay;
    if (!(same && state.sending)) {
        if (state.sending && !state.alerts.On() && !state.scheduleRule) {
            m_sender.Cancel(m_running[index].send);
        }
        Kick(index);
    }
    for (IDirectorListener* listener : m_listeners) {
        listener->DesiredChanged(state);
    }
    Changed(state);
}

void CDirector::ArmPlay(size_t index) {
    Running& running = m_running[index];
    m_clock.Cancel(running.playWake);
    running.playWake = 0;
    const SignState& state = m_signs[index];
    if (state.playlist.size() > 1 && !m_bStopped) {
        // A second at least, whatever the entry says: turns cannot spin the gateway's thread.
        const auto dwell = std::max(state.playlist[state.playing].seconds, std::chrono::seconds(1));
        running.playWake =
            m_clock.WakeAt(state.playingSince + dwell, Later(index, &CDirector::OnPlayStep));
    }
}

void CDirector::OnPlayStep(size_t index) {
    SignState& state = m_signs[index];
    m_running[index].playWake = 0;
    state.playing = (state.playing + 1) % state.playlist.size();
    state.playingSince = m_clock.Now();
    PlayEntryOn(state);
    ArmPlay(index);
    if (state.Shows() == Showing::kDesired) {
        // A send of the entry before still running ends first: a slow sign still shows each.
        state.retryDelay = kFirstRetryDelay;
        Kick(index);
    }
    Changed(state);
}

void CDirector::OnAlertStep(size_t index) {
    SignState& state = m_signs[index];
    m_running[index].alertWake = 0;
    const bool changed = state.alerts.Step(m_clock.Now(), m_alertTurn);
    AlertsChanged(index, changed, changed);
}

void CDirector::AlertsChanged(size_t index, bool onChanged, bool tell) {
    SignState& state = m_signs[index];
    ArmAlerts(index);
    if (onChanged) {
        // With nothing else to show, the last alert must not stay up as if it still held: the
        // sign is cleared.
        state.clearAfterAlert = false;
        state.clearAfterAlert = Source(state) == nullptr;
    }
    if (tell) {
        Tell({DirectorEvent::Kind::kAlertsChanged, state});
    }
    if (onChanged) {
        state.retryDelay = kFirstRetryDelay;
        if (state.sending) {
            m_sender.Cancel(m_running[index].send);
        }
        Kick(index);
    }
    Changed(state);
}

void CDirector::ArmAlerts(size_t index) {
    Running& running = m_running[index];
    m_clock.Cancel(running.alertWake);
    running.alertWake = 0;
    const auto next = m_signs[index].alerts.NextStep(m_alertTurn);
    if (next && !m_bStopped) {
        running.alertWake = m_clock.WakeAt(*next, Later(index, &CDirector::OnAlertStep));
    }
}

void CDirector::Republish(const std::string& name) {
    const size_t index = IndexOf(name);
    if (index < m_signs.size()) {
        Changed(m_signs[index]);
    }
}

void CDirector::RemoveValue(const std::string& name) {
    m_values.erase(name);
    ResendShowing(name);
}

void CDirector::SetValue(const std::string& name, const std::string& value) {
    m_values[name] = value;
    ResendShowing(name);
}

void CDirector::ResendShowing(const std::string& name) {
    for (size_t i = 0; i < m_signs.size(); ++i) {
        if (m_signs[i].shown.used.count(name) != 0) {
            Kick(i);
        }
    }
}

void CDirector::Kick(size_t index) {
    SignState& state = m_signs[index];
    Running& running = m_running[index];
    if (m_bStopped) {
        return;
    }
    if (state.sending) {
        running.again = true;
        return;
    }
    m_clock.Cancel(running.retryWake);
    running.retryWake = 0;
    state.nextTry.reset();
    const MessageDocument* source = Source(state);
    if (source == nullptr) {
        return;
    }
    state.shown = ExpandMessage(*source, m_values, m_clock.LocalNow());
    if (state.shown.usesClock && !m_bMinuteTicks) {
        ArmClock();
    }
    state.sending = true;
    running.send = m_sender.Send(state.sign, state.shown.message, Later(index, &CDirector::OnSent));
}

void CDirector::OnSent(size_t index, const SignSendResult& result) {
    SignState& state = m_signs[index];
    Running& running = m_running[index];
    state.sending = false;
    running.send = 0;
    const bool cancelled = result.outcome.result.code == SEND_CANCELLED;
    if (!cancelled) {
        state.last = result;
        state.lastAt = m_clock.Now();
        Tell({DirectorEvent::Kind::kSent, state, 0, 0, &result});
    }
    if (result.outcome.Delivered()) {
        state.delivered = state.shown.message;
        state.delivered->settings = SettingsForSign(state.delivered->settings, state.sign);
    }
    if (running.again) {
        running.again = false;
        Kick(index);
    } else if (result.outcome.Delivered()) {
        state.deliveredAt = state.lastAt;
        state.retryDelay = kFirstRetryDelay;
    } else if (!cancelled) {
        state.nextTry = m_clock.Now() + state.retryDelay;
        running.retryWake = m_clock.WakeAt(*state.nextTry, Later(index, &CDirector::OnRetry));
        state.retryDelay = std::min(state.retryDelay * 2, kLongestRetryDelay);
    }
    Changed(state);
}

void CDirector::OnRetry(size_t index) {
    m_running[index].retryWake = 0;
    Tell({DirectorEvent::Kind::kRetry, m_signs[index]});
    Kick(index);
    Changed(m_signs[index]);
}

void CDirector::ArmClock() {
    // One call for every sign: when a schedule's window opens or closes for one of them, and at
    // each minute while one shows the time.
    const GatewayTime now = m_clock.Now();
    const LocalTimeMs local = m_clock.ToLocal(now);
    std::vector<ScheduledSign> signs;
    m_bMinuteTicks = false;
    for (const SignState& state : m_signs) {
        signs.push_back({state.sign.name, state.sign.tags});
        m_bMinuteTicks = m_bMinuteTicks || state.shown.usesClock;
    }
    std::optional<LocalTime> next = NextScheduleChange(
        m_schedules.rules, signs, std::chrono::floor<std::chrono::seconds>(local));
    if (m_bMinuteTicks) {
        const LocalTime minute =
            std::chrono::floor<std::chrono::minutes>(local) + std::chrono::minutes(1);
        next = next ? std::min(*next, minute) : minute;
    }
    m_clock.Cancel(m_nClockWake);
    m_nClockWake =
        m_clock.WakeAt(now + WaitUntilLocal(next, local, kLongestClockWait), [this] { OnClock(); });
}

void CDirector::OnClock() {
    m_nClockWake = 0;
    const LocalTime now = m_clock.LocalNow();
    for (size_t i = 0; i < m_signs.size(); ++i) {
        SignState& state = m_signs[i];
        const auto rule =
            OpenScheduleRule(m_schedules.rules, {state.sign.name, state.sign.tags}, now);
        const bool ruleChanged = rule != state.scheduleRule;
        state.scheduleRule = rule;
        if (ruleChanged) {
            Tell({rule ? DirectorEvent::Kind::kScheduleOpens : DirectorEvent::Kind::kScheduleCloses,
                  state, 0, rule.value_or(0)});
        }
        if (ruleChanged || state.shown.usesClock) {
            Kick(i);
            Changed(state);
        }
    }
    ArmClock();
}

void CDirector::Changed(const SignState& state) {
    for (IDirectorListener* listener : m_listeners) {
        listener->SignChanged(state);
    }
}

void CDirector::Tell(const DirectorEvent& event) {
    for (IDirectorListener* listener : m_listeners) {
        listener->Happened(event);
    }
}
