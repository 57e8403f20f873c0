#include "gateway/ModbusActions.h"

#include <memory>

#include "automation/TimeFormat.h"
#include "gateway/AlertRequests.h"
#include "gateway/CGatewayCore.h"
#include "gateway/GatewayRequests.h"
#include "gateway/PanelFrames.h"
#include "settings/SignsFile.h"

namespace {

using Done = std::function<void(const GatewayResult&)>;
using Step = std::function<void(Done)>;

// Each step once the one before it was kept; the first failure ends the run.
void RunSteps(std::shared_ptr<std::vector<Step>> steps, size_t next, Done done) {
    if (next == steps->size()) {
        done(GatewayResult{});
        return;
    }
    (*steps)[next]([steps, next, done](const GatewayResult& result) {
        if (!result.Ok()) {
            done(result);
            return;
        }
        RunSteps(steps, next + 1, done);
    });
}

bool HasTag(const NamedSign& sign, const std::string& tag) {
    for (const std::string& own : sign.tags) {
        if (SameSignName(own, tag)) {
            return true;
        }
    }
    return false;
}

// The signs of this gateway a coil is for.
std::vector<std::string> CoilSigns(const CDirector& director, const CoilEntry& coil) {
    std::vector<std::string> names;
    for (const SignState& state : director.Signs()) {
        const bool named = std::any_of(coil.signs.begin(), coil.signs.end(), [&](const auto& n) {
            return SameSignName(n, state.sign.name);
        });
        if (named || (!coil.tag.empty() && HasTag(state.sign, coil.tag))) {
            names.push_back(state.sign.name);
        }
    }
    return names;
}

// A controller's write in the audit, as HTTP's and the broker's are.
Done AuditedWrite(CGatewayCore& core, const ModbusChange& change, const std::string& target,
                  const std::string& what, Done next) {
    if (change.source.empty()) {
        return next;
    }
    return Audited(core.Audit(),
                   {Role::kNone, change.source, Origin::kModbus, "write " + change.where, target,
                    CutShort(what, kAuditSummaryBytes), false, ""},
                   std::move(next));
}

// A coil set raises its alert on the signs, held until the coil is cleared; the one place that
// decides what a coil does to a sign.
void HoldCoil(CGatewayCore& core, const ModbusChange& change, std::vector<Step>& steps) {
    const std::string key = change.coil.alert.empty()
                                ? "coil-" + std::to_string(change.coil.address)
                                : change.coil.alert;
    for (const std::string& sign : CoilSigns(core.Director(), change.coil)) {
        if (change.set) {
            AlertRequest alert;
            alert.message = change.message.value_or(MessageDocument{});
            alert.library = change.library;
            if (change.coil.priority > 0) {
                alert.priority = change.coil.priority;
            }
            steps.push_back([&core, change, sign, key, alert](Done done) {
                core.Commands().RaiseAlert(sign, key, alert, Origin::kModbus,
                                           AuditedWrite(core, change, sign, "set", done));
            });
        } else {
            steps.push_back([&core, change, sign, key](Done done) {
                core.Commands().ClearAlert(sign, key, Origin::kModbus,
                                           AuditedWrite(core, change, sign, "cleared", done));
            });
        }
    }
}

// The signs a message register is for: its sign (another gateway's is forwarded), or this
// gateway's signs of its tag.
std::vector<std::string> MessageSigns(const CDirector& director, const ModbusChange& change) {
    if (change.tag.empty()) {
        return {change.sign};
    }
    std::vector<std::string> names;
    for (const SignState& state : director.Signs()) {
        if (HasTag(state.sign, change.tag)) {
            names.push_back(state.sign.name);
        }
    }
    return names;
}

// The library messages the write names, by name, before any of it is carried out: a number or a
// name the library does not hold refuses all of it.
GatewayResult FindLibraryMessages(const CDirector& director, std::vector<ModbusChange>& changes) {
    for (ModbusChange& change : changes) {
        const LibraryMessage* found = nullptr;
        if (change.kind == ModbusChange::Kind::kMessage && change.number != 0) {
            found = director.Library().Find(change.number);
            if (found == nullptr) {
                return GatewayResult::Refused(
                    "value", "the library has no message number " + std::to_string(change.number));
            }
        } else if (change.kind == ModbusChange::Kind::kCoil && change.set &&
                   !change.coil.messageName.empty()) {
            found = director.FindLibraryMessage(change.coil.messageName);
            if (found == nullptr) {
                return GatewayResult::Refused(
                    "message", "the library has no message \"" + change.coil.messageName + "\"");
            }
        }
        if (found != nullptr) {
            change.library = found->name;
        }
    }
    return {};
}

}  // namespace

CModbusStatus::CModbusStatus(CGatewayCore& core) : m_core(core) {}

void CModbusStatus::Changed(const ModbusChange& change) {
    const std::vector<std::string> coilSigns = change.kind == ModbusChange::Kind::kCoil
                                                   ? CoilSigns(m_core.Director(), change.coil)
                                                   : std::vector<std::string>{};
    for (const SignState& state : m_core.Director().Signs()) {
        bool changed = false;
        switch (change.kind) {
            case ModbusChange::Kind::kValue:
                changed = state.shown.used.contains(change.var);
                break;
            case ModbusChange::Kind::kMessage:
                changed = change.tag.empty() ? SameSignName(state.sign.name, change.sign)
                                             : HasTag(state.sign, change.tag);
                break;
            case ModbusChange::Kind::kCoil:
                changed = std::find(coilSigns.begin(), coilSigns.end(), state.sign.name) !=
                          coilSigns.end();
                break;
        }
        if (changed) {
            m_register[state.sign.name] = change.where;
        }
    }
}

void CModbusStatus::Republish(const std::string& var) {
    for (const SignState& state : m_core.Director().Signs()) {
        if (state.shown.used.contains(var)) {
            m_core.Director().Republish(state.sign.name);
        }
    }
}

void CModbusStatus::Stale(const std::vector<std::string>& vars) {
    for (const std::string& var : vars) {
        if (m_staleSince.emplace(var, m_core.Clock().Now()).second) {
            Republish(var);
        }
    }
}

void CModbusStatus::Fresh(const std::vector<std::string>& vars) {
    for (const std::string& var : vars) {
        if (m_staleSince.erase(var) != 0) {
            Republish(var);
        }
    }
}

void CModbusStatus::AddTo(const SignState& state, QJsonObject& object) const {
    const auto changed = m_register.find(state.sign.name);
    if (changed != m_register.end()) {
        object["modbusRegister"] = QString::fromStdString(changed->second);
    }
    std::optional<GatewayTime> since;
    for (const std::string& var : state.shown.used) {
        const auto stale = m_staleSince.find(var);
        if (stale != m_staleSince.end() && (!since || stale->second < *since)) {
            since = stale->second;
        }
    }
    if (since) {
        const LocalTime local =
            std::chrono::floor<std::chrono::seconds>(m_core.Clock().ToLocal(*since));
        object["stale"] =
            QString::fromStdString("stale since " + FormatLocalTime("HH:mm:ss", local));
        object["staleSince"] = QString::fromStdString(IsoTimeText(*since));
    }
}

void ApplyModbusChanges(CGatewayCore& core, CModbusStatus& status,
                        std::vector<ModbusChange> changes, Done done) {
    const GatewayResult found = FindLibraryMessages(core.Director(), changes);
    if (!found.Ok()) {
        done(found);
        return;
    }
    auto steps = std::make_shared<std::vector<Step>>();
    for (ModbusChange& change : changes) {
        // Noted first, so that the state the change publishes names its register.
        steps->push_back([&status, change](Done next) {
            status.Changed(change);
            next(GatewayResult{});
        });
        switch (change.kind) {
            case ModbusChange::Kind::kValue:
                steps->push_back([&core, change](Done next) {
                    core.Commands().SetVariable(
                        change.var, change.value, Origin::kModbus,
                        AuditedWrite(core, change, change.var, change.value, next));
                });
                break;
            case ModbusChange::Kind::kMessage:
                if (change.library.empty()) {
                    continue;  // 0: no message asked for
                }
                for (const std::string& sign : MessageSigns(core.Director(), change)) {
                    steps->push_back([&core, change, sign](Done next) {
                        core.Commands().SetNamedMessage(
                            sign, change.library, Origin::kModbus,
                            AuditedWrite(core, change, sign, "message " + change.library, next));
                    });
                }
                break;
            case ModbusChange::Kind::kCoil:
                HoldCoil(core, change, *steps);
                break;
        }
    }
    RunSteps(steps, 0, std::move(done));
}
