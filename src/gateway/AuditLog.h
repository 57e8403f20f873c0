#pragma once

#include <QFile>
#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "gateway/AccessRoles.h"
#include "gateway/Clock.h"
#include "gateway/GatewayResult.h"
#include "gateway/Stamp.h"

// What an entry keeps of what was written.
inline constexpr size_t kAuditSummaryBytes = 160;

// One write asked of the gateway, as the audit keeps it.
struct AuditEntry {
    Role role = Role::kNone;  // of the token it came with; none from the broker or a schedule
    std::string source;       // the client's address, the broker's URL, the schedule's rule
    Origin origin = Origin::kApi;
    std::string action;   // "PUT /api/signs/A/message", "message/set", "schedule opens"
    std::string target;   // the sign or value, when there is one
    std::string summary;  // what was written, cut short
    bool ok = false;
    std::string outcome;  // "202", "accepted", or why it was refused
};

// Who wrote what, and what came of it: the last `keep` writes, newest last, kept on the gateway's
// thread in `folder`/audit.jsonl, one JSON object a line. When that file holds `keep` lines it
// becomes audit.1.jsonl (the one before is let go) and a new one begins: the two never hold more
// than twice `keep`, and together always the last `keep`.
class CAuditLog {
public:
    static constexpr size_t kKeep = 10000;
    static constexpr const char* kFileName = "audit.jsonl";
    static constexpr const char* kOlderFileName = "audit.1.jsonl";

    explicit CAuditLog(IClock& clock, size_t keep = kKeep);

    // Reads back what the folder's files hold; the reason when the file cannot be written.
    std::optional<std::string> Open(const std::string& folder);
    // Stamped with the clock's time. Kept in memory (and said on the log's path by the caller)
    // even when the file cannot take it.
    void Record(const AuditEntry& entry);
    // The writes at or after `since` (all without one), as a JSON array, oldest first.
    std::string Since(std::optional<GatewayTime> since) const;

private:
    struct Kept {
        GatewayTime at;
        std::string json;
    };
    void Remember(Kept kept);
    bool Rotate();

    IClock& m_clock;
    size_t m_nKeep;
    std::string m_strFolder;
    QFile m_file;
    size_t m_nInFile = 0;  // lines of audit.jsonl
    std::deque<Kept> m_kept;
};

// A text cut to at most `bytes`, never inside a character, "…" saying that it was cut.
std::string CutShort(const std::string& text, size_t bytes);

// A reply that first records the entry with the result's outcome, then hands the result on; on the
// gateway's thread.
std::function<void(const GatewayResult&)> Audited(CAuditLog& audit, AuditEntry entry,
                                                  std::function<void(const GatewayResult&)> reply);
