#include "gateway/AuditLog.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// Fields of an entry are short, whatever a request carried: 10,000 entries stay a few MiB.
constexpr size_t kMaxFieldBytes = 200;

QString Field(const std::string& text, size_t bytes = kMaxFieldBytes) {
    return QString::fromStdString(CutShort(text, bytes));
}

}  // namespace

std::string CutShort(const std::string& text, size_t bytes) {
    const std::string more = "\xE2\x80\xA6";  // …
    if (text.size() <= bytes) {
        return text;
    }
    size_t end = bytes >= more.size() ? bytes - more.size() : 0;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;  // not inside a UTF-8 sequence
    }
    return text.substr(0, end) + more;
}

CAuditLog::CAuditLog(IClock& clock, size_t keep)
    : m_clock(clock), m_nKeep(std::max<size_t>(keep, 1)) {}

std::optional<std::string> CAuditLog::Open(const std::string& folder) {
    m_strFolder = folder;
    const QDir dir(QString::fromStdString(folder));
    bool tornEnd = false;
    for (const char* name : {kOlderFileName, kFileName}) {
        QFile file(dir.absoluteFilePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            continue;
        }
        size_t lines = 0;
        bool ended = true;
        while (!file.atEnd()) {
            const QByteArray raw = file.readLine();
            ended = raw.endsWith('\n');
            const QByteArray line = raw.trimmed();
            ++lines;
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            const auto at = TimeFromIsoText(object.value("at").toString().toStdString());
            if (at) {  // a line torn by a crash is passed over
                Remember({*at, line.toStdString()});
            }
        }
        if (std::string(name) == kFileName) {
            m_nInFile = lines;
            tornEnd = !ended;
        }
    }
    m_file.setFileName(dir.absoluteFilePath(kFileName));
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        return "cannot write " + m_file.fileName().toStdString() + ": " +
               m_file.errorString().toStdString();
    }
    if (tornEnd) {
        m_file.write("\n");  // so that the next entry begins a line of its own
    }
    return std::nullopt;
}

void CAuditLog::Remember(Kept kept) {
    m_kept.push_back(std::move(kept));
    while (m_kept.size() > m_nKeep) {
        m_kept.pop_front();
    }
}

bool CAuditLog::Rotate() {
    const QDir dir(QString::fromStdString(m_strFolder));
    m_file.close();
    QFile::remove(dir.absoluteFilePath(kOlderFileName));
    QFile::rename(dir.absoluteFilePath(kFileName), dir.absoluteFilePath(kOlderFileName));
    m_nInFile = 0;
    return m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Truncate);
}

void CAuditLog::Record(const AuditEntry& entry) {
    const GatewayTime at = m_clock.Now();
    QJsonObject object;
    object["at"] = QString::fromStdString(IsoTimeText(at));
    object["role"] = entry.role == Role::kNone ? QJsonValue() : QJsonValue(RoleName(entry.role));
    object["source"] = Field(entry.source);
    object["origin"] = OriginName(entry.origin);
    object["action"] = Field(entry.action);
    if (!entry.target.empty()) {
        object["target"] = Field(entry.target);
    }
    if (!entry.summary.empty()) {
        object["summary"] = Field(entry.summary, kAuditSummaryBytes);
    }
    object["ok"] = entry.ok;
    object["outcome"] = Field(entry.outcome);
    std::string json = QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
    if (m_file.isOpen() && (m_nInFile < m_nKeep || Rotate())) {
        // Flushed at once: the process's own buffer would lose it in a crash.
        m_file.write(QByteArray::fromStdString(json + "\n"));
        m_file.flush();
        ++m_nInFile;
    }
    Remember({at, std::move(json)});
}

std::string CAuditLog::Since(std::optional<GatewayTime> since) const {
    std::string text = "[";
    for (const Kept& kept : m_kept) {
        if (!since || kept.at >= *since) {
            text += (text.size() > 1 ? "," : "") + kept.json;
        }
    }
    return text + "]";
}

std::function<void(const GatewayResult&)> Audited(CAuditLog& audit, AuditEntry entry,
                                                  std::function<void(const GatewayResult&)> reply) {
    return [&audit, entry = std::move(entry),
            reply = std::move(reply)](const GatewayResult& result) mutable {
        entry.ok = result.Ok();
        entry.outcome = result.kind == ResultKind::kForwarded ? "forwarded"
                        : result.Ok()                         ? "accepted"
                                                              : result.text;
        audit.Record(entry);
        reply(result);
    };
}
