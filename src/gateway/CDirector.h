#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "gateway/Clock.h"
#include "gateway/MessageLibrary.h"
#include "gateway/MessageTemplate.h"
#include "gateway/Playlist.h"
#include "gateway/Schedules.h"
#include "gateway/SignAlerts.h"
#include "gateway/SignSender.h"
#include "gateway/Stamp.h"

inline constexpr std::chrono::seconds kFirstRetryDelay{1};
inline constexpr std::chrono::seconds kLongestRetryDelay{60};

enum class Showing { kNothing, kDesired, kSchedule, kAlert };
enum class WaitingFor { kNothing, kSend, kRetry, kValues };

// One sign as the director keeps it: what is desired, what it shows and how its sends fare.
struct SignState {
    NamedSign sign;
    std::string key;  // EscapeName(sign.name): its state file and topic level
    // What the sign shows when nothing is over it, its entries taking turns; `desired` is the
    // entry on (`playing`, since `playingSince`).
    Playlist playlist;
    size_t playing = 0;
    GatewayTime playingSince{};
    std::optional<MessageDocument> desired;
    std::string desiredName;  // the library message it is, shown as the library has it; "" none
    Stamp stamp;              // of the desired message
    CSignAlerts alerts;
    bool clearAfterAlert = false;  // the last alert ended with nothing else to show
    std::optional<size_t> scheduleRule;
    ExpandedMessage shown;  // what the last send carried
    bool sending = false;
    std::optional<GatewayTime> nextTry;  // when a retry waits
    std::chrono::seconds retryDelay = kFirstRetryDelay;
    std::optional<SignSendResult> last;
    GatewayTime lastAt{};
    std::optional<GatewayTime> deliveredAt;
    // What the sign last took, on its model: while a newer one fails, still what it shows.
    std::optional<MessageDocument> delivered;

    Showing Shows() const;
    WaitingFor Waits() const;
};

// What happened to a sign, for the log and the metrics.
struct DirectorEvent {
    enum class Kind {
        kNewDesired,
        kAlertRaised,
        kAlertsChanged,  // one cleared or over, or another's turn
        kScheduleOpens,
        kScheduleCloses,
        kSent,
        kRetry
    };
    Kind kind;
    const SignState& sign;
    int seconds = 0;                         // kAlertRaised: 0 when held
    size_t rule = 0;                         // kScheduleOpens
    const SignSendResult* result = nullptr;  // kSent
    const Alert* alert = nullptr;            // kAlertRaised
};

class IDirectorListener {
public:
    virtual ~IDirectorListener() = default;
    // Something of the sign's state changed.
    virtual void SignChanged(const SignState&) {}
    // Its desired message changed (its stamp says where from).
    virtual void DesiredChanged(const SignState&) {}
    virtual void Happened(const DirectorEvent&) {}
};

// Keeps every sign it drives showing what it should: the desired message, a schedule's message
// while its window is open, or over both its alert on, its live values filled in. Sends each sign
// what it shows whenever that changes, one send a sign at a time (the newest wins, nothing queues),
// and tries a failed one again after 1, 2, 4 ... up to 60 s. Time comes from the clock only, sends
// go through the sender, and everything runs on the gateway's thread.
class CDirector {
public:
    CDirector(std::vector<NamedSign> signs, GatewaySchedules schedules, IClock& clock,
              ISignSender& sender);
    ~CDirector();
    CDirector(const CDirector&) = delete;
    CDirector& operator=(const CDirector&) = delete;

    void AddListener(IDirectorListener* listener) { m_listeners.push_back(listener); }

    // What the state folder kept, before Start.
    void Restore(const std::string& name, const MessageDocument& message, const Stamp& stamp,
                 const std::string& library = {}) {
        Restore(name, OneMessage(message, library), stamp);
    }
    void Restore(const std::string& name, Playlist playlist, const Stamp& stamp);
    void RestoreLibraryMessage(LibraryMessage message) { m_library.Put(std::move(message)); }
    void RestoreValues(VariableValues values) { m_values = std::move(values); }
    // An alert kept, before Start: it keeps its `since`; one whose time is over is left out then.
    void RestoreAlert(const std::string& name, Alert alert);
    // How long each of several alerts of one priority stays on in turn.
    void SetAlertTurn(std::chrono::seconds turn) { m_alertTurn = turn; }
    // Sends every sign what it shows; from then on follows the clock.
    void Start();
    // Ends every send and call of the clock.
    void Stop();

    GatewayTime Now() const { return m_clock.Now(); }
    const std::vector<SignState>& Signs() const { return m_signs; }
    const SignState* Find(const std::string& name) const;
    const VariableValues& Values() const { return m_values; }
    // What the sign shows now, its values filled in, on its own model; none when nothing.
    std::optional<MessageDocument> Shown(const SignState& sign) const;

    // The sign's new desired message, already kept: shown and sent at once. `library`: the library
    // message it is, followed when that changes.
    void SetDesired(const std::string& name, const MessageDocument& message, const Stamp& stamp,
                    const std::string& library = {}) {
        SetDesired(name, OneMessage(message, library), stamp);
    }
    // A playlist: its first entry at once, then each in turn for its seconds, over and over, while
    // nothing is over it (the turns go on beneath an alert or a schedule).
    void SetDesired(const std::string& name, Playlist playlist, const Stamp& stamp);
    // A library message put in, replaced or removed, already kept: every sign that shows it is
    // sent it again (one removed stays on them as it was). False when the library refuses it.
    bool PutLibraryMessage(const LibraryMessage& message);
    void RemoveLibraryMessage(const std::string& name);
    const CMessageLibrary& Library() const { return m_library; }
    // By its name or its number (as a text of digits); none when the library has no such message.
    const LibraryMessage* FindLibraryMessage(std::string_view nameOrNumber) const {
        return m_library.Find(nameOrNumber);
    }
    // An alert, already kept, raised (or raised again: its place stays) on the sign; false when
    // the sign holds its most already. When the last alert ends the sign shows its own message
    // again (a sign with nothing else is cleared).
    bool RaiseAlert(const std::string& name, Alert alert);
    // Whether it was up.
    bool ClearAlert(const std::string& name, const std::string& key);
    // Something shown beside the sign's state changed (a value went stale): its listeners are
    // told.
    void Republish(const std::string& name);
    // A live value, already kept: the signs that show it get their message again.
    void SetValue(const std::string& name, const std::string& value);
    void RemoveValue(const std::string& name);
    // signs.json read again: a sign that stays keeps what it has (and is sent again when it is
    // reached another way), a new one starts with nothing, one that left is let go; the
    // schedules are the new ones from now on.
    void Reconfigure(std::vector<NamedSign> signs, GatewaySchedules schedules);

private:
    struct Running;
    size_t IndexOf(const std::string& name) const;
    size_t IndexOfKey(const std::string& key) const;
    void Index();
    // A call of a member for the sign, made later, to the sign wherever it stands then.
    template <class F>
    auto Later(size_t index, F call);
    const MessageDocument* Source(const SignState& state) const;
    void Kick(size_t index);
    void OnSent(size_t index, const SignSendResult& result);
    void OnRetry(size_t index);
    void OnAlertStep(size_t index);
    // The playlist's next entry takes its turn.
    void OnPlayStep(size_t index);
    void ArmPlay(size_t index);
    // `desired` as the playlist's entry on.
    void PlayEntryOn(SignState& state) const;
    // After the sign's alerts changed: sent again when what is on changed, the clock armed.
    void AlertsChanged(size_t index, bool onChanged, bool tell);
    void ArmAlerts(size_t index);
    void OnClock();
    // The signs whose message uses the value get it again.
    void ResendShowing(const std::string& name);
    // The signs that show the library message are sent it again.
    void ResendLibraryUsers(const std::string& name, const MessageDocument* message);
    void ArmClock();
    void Changed(const SignState& state);
    void Tell(const DirectorEvent& event);

    IClock& m_clock;
    ISignSender& m_sender;
    GatewaySchedules m_schedules;
    std::vector<SignState> m_signs;
    std::vector<Running> m_running;                     // one a sign, beside m_signs
    std::unordered_map<std::string, size_t> m_indexOf;  // key -> place in m_signs
    VariableValues m_values;
    CMessageLibrary m_library;
    IClock::WakeId m_nClockWake = 0;
    bool m_bMinuteTicks = false;  // the clock's call comes at each minute
    bool m_bStopped = false;
    std::chrono::seconds m_alertTurn = kDefaultAlertTurn;
    std::vector<IDirectorListener*> m_listeners;
};
