#include "gateway/CGatewayCore.h"

#include <QDir>

#include "gateway/SignPresenter.h"

CGatewayCore::CGatewayCore(GatewayConfig config, const std::vector<NamedSign>& allSigns,
                           GatewaySchedules schedules, IClock& clock, ISignSender& sender,
                           QObject* parent)
    : QObject(parent),
      m_config(std::move(config)),
      m_clock(clock),
      m_director(SignsOfGateway(allSigns, m_config.name), std::move(schedules), clock, sender),
      m_commands(m_director, m_others, allSigns, m_config.name, m_log),
      m_audit(clock) {
    m_director.AddListener(this);
    m_commands.Watch(m_others);
    m_commands.SetWriteCounter([this](bool kept) { m_metrics.RecordStateWrite(kept); });
}

CGatewayCore::~CGatewayCore() {
    Stop();
}

std::optional<std::string> CGatewayCore::Start() {
    if (!QDir().mkpath(m_config.stateDir)) {
        return "cannot make the state folder " + m_config.stateDir.toStdString();
    }
    // Two gateways writing one journal would each rename the other's writes away.
    if (auto held = m_lock.Take(m_config.stateDir.toStdString())) {
        return held;
    }
    try {
        // Takes back what a crash left in the journal before the files are read.
        m_journal = std::make_unique<CStateJournal>(m_config.stateDir.toStdString());
    } catch (const std::runtime_error& error) {
        return std::string(error.what());
    }
    for (const JournalProblem& problem : m_journal->TakeProblems()) {
        m_log.Line("state",
                   "journal byte " + std::to_string(problem.offset) + ": " + problem.reason);
    }
    if (auto failure = m_audit.Open(m_config.stateDir.toStdString())) {
        m_log.Line("audit", *failure);  // the gateway still serves; the audit is kept in memory
    }
    m_commands.UseJournal(m_journal.get());
    m_commands.Restore(m_journal->TakeRecovered());
    m_director.Start();
    return std::nullopt;
}

void CGatewayCore::Stop() {
    m_director.Stop();
    m_commands.UseJournal(nullptr);
    m_journal.reset();  // finishes what was asked of it
    m_lock.Release();
    m_log.Flush();
}

void CGatewayCore::Reload(const std::vector<NamedSign>& allSigns, GatewaySchedules schedules) {
    m_commands.SetAllSigns(allSigns);
    m_director.Reconfigure(SignsOfGateway(allSigns, m_config.name), std::move(schedules));
}

void CGatewayCore::Happened(const DirectorEvent& event) {
    if (event.kind == DirectorEvent::Kind::kSent) {
        m_metrics.RecordSend(event.sign.sign.name, event.result->outcome.Delivered(),
                             event.result->seconds, m_clock.Now());
    } else if (event.kind == DirectorEvent::Kind::kRetry) {
        m_metrics.RecordRetry(event.sign.sign.name);
    }
    const std::string text = EventText(event);
    if (!text.empty()) {
        m_log.Line(event.sign.sign.name, text);
    }
    if (event.kind == DirectorEvent::Kind::kScheduleOpens ||
        event.kind == DirectorEvent::Kind::kScheduleCloses) {
        // A schedule changes what a sign shows as much as a write does.
        const bool opens = event.kind == DirectorEvent::Kind::kScheduleOpens;
        const std::optional<MessageDocument> shown = m_director.Shown(event.sign);
        m_audit.Record({Role::kNone, opens ? "schedules[" + std::to_string(event.rule) + "]" : "",
                        Origin::kSchedule, text, event.sign.sign.name,
                        opens && shown ? ShownText(*shown).toStdString() : "", true, "shown"});
    }
}

QJsonObject CGatewayCore::SignJson(const SignState& state) const {
    return SignStateJson(state, m_director.Shown(state), m_config.name);
}

std::optional<QJsonObject> CGatewayCore::SignJson(const std::string& name) const {
    if (const SignState* state = m_director.Find(name)) {
        return SignJson(*state);
    }
    // Another gateway's sign, as its gateway last published it.
    if (const COtherSigns::Other* other = m_others.Find(name)) {
        QJsonObject state = other->state;
        state["other"] = true;
        return state;
    }
    return std::nullopt;
}

QJsonObject CGatewayCore::ValuesJson() const {
    QJsonObject values;
    for (const auto& [name, value] : m_director.Values()) {
        values[QString::fromStdString(name)] = QString::fromStdString(value);
    }
    return values;
}

QJsonArray CGatewayCore::SignsJson() const {
    QJsonArray signs;
    for (const SignState& state : m_director.Signs()) {
        signs.append(SignJson(state));
    }
    return signs;
}

Result<MessageDocument> CGatewayCore::ShownAnywhere(const std::string& name) const {
    std::optional<MessageDocument> shown;
    if (const SignState* state = m_director.Find(name)) {
        shown = m_director.Shown(*state);
    } else if (const COtherSigns::Other* other = m_others.Find(name)) {
        // Another gateway's sign is drawn from its published state, for the page's card.
        shown = other->shown;
    } else {
        return GatewayResult::UnknownSign(name);
    }
    if (!shown) {
        return GatewayResult{ResultKind::kUnknownSign, "message", "the sign has no message"};
    }
    return *shown;
}
