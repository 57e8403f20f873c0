#pragma once

#include <QObject>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "fleet/SignSelection.h"
#include "gateway/AlertRequests.h"
#include "gateway/CDirector.h"
#include "gateway/COtherSigns.h"
#include "gateway/CStateJournal.h"
#include "gateway/GatewayLog.h"
#include "gateway/GatewayResult.h"
#include "gateway/SignForwarder.h"

// The one way in: every change asked of the gateway, whatever its source (HTTP, the broker),
// comes here on the gateway's thread, says where it came from and is answered with a result kind
// that each source maps to its own answer. A change is kept in the state folder before it is
// applied and answered; work for a sign of another gateway is forwarded to it.
class CCommands : public QObject {
public:
    using Reply = std::function<void(const GatewayResult&)>;

    struct SignAnswer {
        std::string name;
        ResultKind kind;  // kAccepted (kept here) or kForwarded
    };
    using SelectionReply = std::function<void(const Result<std::vector<SignAnswer>>&)>;

    // allSigns: every sign of signs.json, this gateway's and the others'; `gateway`: this one's
    // name, which its stamps carry.
    CCommands(CDirector& director, const COtherSigns& others, std::vector<NamedSign> allSigns,
              std::string gateway, CGatewayLog& log, QObject* parent = nullptr);

    // Where changes are kept; until there is one, none is.
    void UseJournal(CStateJournal* journal) { m_journal = journal; }
    // Where work for another gateway's sign goes; none without a broker. What was forwarded and
    // not yet seen taken by the sign's gateway goes again.
    void SetForwarding(SignForwarding forwarding);
    // Told when another gateway publishes its sign's state.
    void Watch(COtherSigns& others);
    // signs.json read again.
    void SetAllSigns(std::vector<NamedSign> allSigns) { m_allSigns = std::move(allSigns); }
    // Hands what the state folder kept to the director, before it starts: the library first
    // (what signs and alerts show by name is as the library has it), then the signs, then their
    // alerts.
    void RestoreLibrary(const std::map<std::string, std::string>& kept);
    void Restore(const std::map<std::string, std::string>& kept);
    void RestoreAlerts(const std::map<std::string, std::string>& kept);

    // A message stamped elsewhere (`given`, from the set topic) is taken only when it is newer than
    // the sign's (an older one answers kConflict), and, when another gateway stamped it, only when
    // it came signed with the shared key (`signedByPeer`).
    void SetMessage(const std::string& name, const MessageDocument& message, Origin origin,
                    Reply reply, const std::optional<Stamp>& given = std::nullopt,
                    bool signedByPeer = false) {
        SetPlaylist(name, OneMessage(message), origin, std::move(reply), given, signedByPeer);
    }
    // The same for a playlist; an entry by name takes the library's message of that name (or
    // number), followed when it changes. One the library lacks is refused, unless a gateway stamped
    // it (`given`), with the words it had there.
    void SetPlaylist(const std::string& name, Playlist playlist, Origin origin, Reply reply,
                     const std::optional<Stamp>& given = std::nullopt, bool signedByPeer = false);
    // The sign's desired message is the library message of that name (or number), followed when
    // it changes.
    void SetNamedMessage(const std::string& name, const std::string& library, Origin origin,
                         Reply reply);
    // A library message put in or replaced, kept first; one put here is told to the other
    // gateways.
    void PutLibraryMessage(const LibraryMessage& message, Origin origin, Reply reply);
    void RemoveLibraryMessage(const std::string& name, Origin origin, Reply reply);
    // Whether writes for other gateways' signs can be handed on.
    bool CanForward() const { return static_cast<bool>(m_forwarding.message); }
    // An alert of its own for that long, taking turns with any other of its priority: a second
    // notice does not end the first.
    void Notify(const std::string& name, const MessageDocument& message, int seconds, Origin origin,
                Reply reply);
    // The alert raised on the sign, kept first; another gateway's sign has it handed on.
    void RaiseAlert(const std::string& name, const std::string& key, const AlertRequest& alert,
                    Origin origin, Reply reply);
    // Cleared, kept first; one that is not up is cleared already.
    void ClearAlert(const std::string& name, const std::string& key, Origin origin, Reply reply);
    // Every alert of the sign cleared (Home Assistant's button).
    void ClearAlerts(const std::string& name, Origin origin, Reply reply);
    // Raised (without `alert`: cleared) on every sign chosen, as SendToSelection chooses them.
    void AlertOnSelection(const SignSelection& selection, const std::string& key,
                          const std::optional<AlertRequest>& alert, Origin origin,
                          SelectionReply reply);
    // A live value: a name IsVariableName takes, 256 bytes at most, 10,000 values at most.
    void SetVariable(const std::string& name, const std::string& value, Origin origin, Reply reply);
    // The signs that show it show "--" again.
    void RemoveVariable(const std::string& name, Origin origin, Reply reply);
    // The message to every sign chosen, each kept or forwarded; nothing is done when a name or tag
    // is unknown.
    void SendToSelection(const SignSelection& selection, const MessageDocument& message,
                         Origin origin, SelectionReply reply) {
        SendToSelection(selection, OneMessage(message), origin, std::move(reply));
    }
    void SendToSelection(const SignSelection& selection, const Playlist& playlist, Origin origin,
                         SelectionReply reply);

    // Whether a sign of that name is in signs.json, driven here or not.
    const NamedSign* FindAny(const std::string& name) const;

    // Counts of the state folder's writes, for the metrics.
    using WriteCounter = std::function<void(bool kept)>;
    void SetWriteCounter(WriteCounter counter) { m_countWrite = std::move(counter); }

private:
    // An alert (an empty payload: its clearing) for a sign this gateway does not drive, kept and
    // handed on to the sign's gateway, and handed on again at each start until that gateway's
    // state shows it done; unknown when no gateway can take it.
    void HandOnAlert(const std::string& name, const std::string& key, const std::string& payload,
                     Origin origin, const Reply& reply);
    // Another gateway published its sign's state: the alerts handed on that it shows done are let
    // go.
    void OtherSeenAlerts(const std::string& signKey, const QJsonObject& state);
    // The signs of the selection this gateway can reach from that origin.
    Result<std::vector<NamedSign>> Choose(const SignSelection& selection, Origin origin) const;
    // Does `each` for every name; answered once all have answered, the first failure for all.
    static void Gather(const std::vector<std::string>& names, SelectionReply reply,
                       const std::function<void(const std::string& name, Reply)>& each);
    // A key of no notice up or being kept on the sign.
    std::string NoticeKey(const SignState& state) const;
    void Keep(std::string path, std::string content, std::function<void(bool replaced)> kept,
              Reply reply);
    // A stamp newer than any this gateway has given or seen for the sign.
    Stamp Issue(const std::string& key, Origin origin, uint64_t seen);
    void Forward(const NamedSign& sign, const Playlist& playlist, Origin origin, Reply reply);
    // Another gateway published its sign's state: a forward it has taken is done with.
    void OtherSeen(const std::string& name);

    // A write for another gateway's sign, kept until its gateway is seen to have it.
    struct Forwarded {
        NamedSign sign;
        Playlist playlist;
        Stamp stamp;
    };
    std::map<std::string, Forwarded> m_forwarded;  // by key
    // An alert handed on, or its clearing (an empty payload), until its gateway shows it done.
    struct ForwardedAlert {
        NamedSign sign;
        std::string key;
        std::string payload;
    };
    std::map<std::string, ForwardedAlert> m_forwardedAlerts;  // by "<sign key>/<alert key>"

    CDirector& m_director;
    const COtherSigns& m_others;
    std::string m_strGateway;
    std::map<std::string, uint64_t> m_issued;  // the last version given to each sign, by key
    CStateJournal* m_journal = nullptr;
    std::vector<NamedSign> m_allSigns;
    CGatewayLog& m_log;
    SignForwarding m_forwarding;
    VariableValues m_values;  // as the state folder is to keep them, ahead of the director
    WriteCounter m_countWrite;
    std::set<std::string> m_keepingAlerts;  // "<sign key>/<alert key>" while being kept
};
