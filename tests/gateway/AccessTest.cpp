// Who may do what, and the audit of what was done: the roles' table, the page's pass and the
// audit's bounded files, by direct calls.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <fstream>
#include <iterator>

#include "CoreFixture.h"
#include "gateway/AccessRoles.h"
#include "gateway/AuditLog.h"
#include "gateway/GatewayConfig.h"

namespace {

TEST(AccessRoles, EachRouteNeedsItsRoleAndEachTokenGivesOne) {
    GatewayConfig config;
    config.token = "admin-token-0123";
    config.operatorToken = "operator-token-0";
    config.viewerToken = "viewer-token-0123";
    struct Case {
        const char* method;
        const char* path;
        Role open;    // reads need no token
        Role closed;  // readNeedsToken
    };
    const Case cases[] = {
        {"GET", "/healthz", Role::kNone, Role::kNone},
        {"GET", "/", Role::kNone, Role::kNone},  // the page's files hold no data
        {"GET", "/api/signs", Role::kNone, Role::kViewer},
        {"GET", "/api/events", Role::kNone, Role::kViewer},
        {"GET", "/metrics", Role::kNone, Role::kViewer},
        {"GET", "/api/audit", Role::kOperator, Role::kOperator},
        {"PUT", "/api/signs/A/message", Role::kOperator, Role::kOperator},
        {"DELETE", "/api/vars/count", Role::kOperator, Role::kOperator},
        {"POST", "/api/alerts/fire", Role::kOperator, Role::kOperator},
        {"PUT", "/api/messages/welcome", Role::kAdmin, Role::kAdmin},
        {"POST", "/api/reload", Role::kAdmin, Role::kAdmin},
    };
    for (const Case& c : cases) {
        config.readNeedsToken = false;
        EXPECT_EQ(NeededRole(config, c.method, c.path), c.open) << c.method << " " << c.path;
        config.readNeedsToken = true;
        EXPECT_EQ(NeededRole(config, c.method, c.path), c.closed) << c.method << " " << c.path;
    }
    EXPECT_EQ(RoleOfToken(config, "viewer-token-012"), Role::kNone);
    config.viewerToken.clear();  // a role without a token is no one's
    EXPECT_EQ(RoleOfToken(config, ""), Role::kNone);
}

TEST(AccessRoles, ThePagesPassHoldsForItsHourOnlyAndOnlyFromThisProcess) {
    const CReadPass pass;
    const auto now = std::chrono::steady_clock::time_point(std::chrono::hours(100));
    const std::string cookie = pass.Cookie(now);
    ASSERT_EQ(cookie.rfind("lumivex-pass=", 0), 0u) << cookie;
    const std::string value = cookie.substr(0, cookie.find(';'));
    std::string forged = value;
    forged.back() = forged.back() == '0' ? '1' : '0';
    struct Case {
        std::string header;
        std::chrono::minutes after;
        bool valid;
    };
    const Case cases[] = {
        {value, std::chrono::minutes(0), true},
        {"theme=dark; " + value + "; x=1", std::chrono::minutes(59), true},
        {value, std::chrono::minutes(60), false},
        {forged, std::chrono::minutes(0), false},
        {CReadPass().Cookie(now).substr(0, value.size()), std::chrono::minutes(0), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(pass.Valid(c.header, now + c.after), c.valid) << c.header;
    }
}

QJsonArray Entries(const CAuditLog& audit, std::optional<GatewayTime> since = std::nullopt) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(audit.Since(since))).array();
}

// The summaries of the entries in `folder`, as a gateway started on it reads them back.
std::vector<std::string> Kept(IClock& clock, const std::string& folder) {
    CAuditLog audit(clock, 3);
    EXPECT_FALSE(audit.Open(folder));
    std::vector<std::string> summaries;
    for (const QJsonValue& entry : Entries(audit)) {
        summaries.push_back(entry["summary"].toString().toStdString());
    }
    return summaries;
}

size_t LinesOf(const std::string& path) {
    std::ifstream file(path);
    return std::count(std::istreambuf_iterator<char>(file), {}, '\n');
}

TEST(AuditLog, KeepsTheLastWritesInBoundedFilesAcrossARestart) {
    const CTempFolder folder;
    CScriptedClock clock{kTestStart};
    const auto record = [&](int from, int to) {
        CAuditLog audit(clock, 3);
        ASSERT_FALSE(audit.Open(folder.Path()));
        for (int n = from; n <= to; ++n) {
            clock.Advance(std::chrono::seconds(1));
            audit.Record({Role::kOperator, "127.0.0.9", Origin::kApi, "PUT /api/vars/n", "n",
                          std::to_string(n), true, "204"});
            EXPECT_LE(LinesOf(folder.Path() + "/audit.jsonl"), 3u);
            EXPECT_LE(LinesOf(folder.Path() + "/audit.1.jsonl"), 3u);
        }
        EXPECT_EQ(Entries(audit, clock.Now()).size(), 1);
    };
    record(1, 7);
    EXPECT_EQ(Kept(clock, folder.Path()), (std::vector<std::string>{"5", "6", "7"}));
    // A crash that tore the last line: passed over, and the next entry begins a line of its own.
    QFile torn(QString::fromStdString(folder.Path() + "/audit.jsonl"));
    ASSERT_TRUE(torn.open(QIODevice::Append));
    torn.write(R"({"at": "2026-12)");
    torn.close();
    record(8, 8);
    EXPECT_EQ(Kept(clock, folder.Path()), (std::vector<std::string>{"6", "7", "8"}));
}

// A schedule changes what a sign shows as a write does: its windows are audited.
TEST(AuditLog, AScheduleWindowIsAuditedAsItOpensAndCloses) {
    CCoreFixture fixture;
    fixture.schedules = ParseSchedules(R"([{"tag": "hall", "message": {"lines": ["LUNCH"]},
        "days": ["mon"], "from": "10:01", "to": "10:02"}])",
                                       ".");
    fixture.Make();
    ASSERT_FALSE(fixture.core->Start());
    fixture.clock.Advance(std::chrono::minutes(2));
    std::vector<std::string> seen;
    for (const QJsonValue& entry : Entries(fixture.core->Audit())) {
        const QJsonObject e = entry.toObject();
        seen.push_back((e["at"].toString() + " " + e["origin"].toString() + " " +
                        e["source"].toString() + " " + e["action"].toString() + " " +
                        e["target"].toString() + " " + e["summary"].toString())
                           .toStdString());
    }
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "2026-12-07T10:01:00.000Z schedule schedules[0] schedule 1 opens A LUNCH",
                        "2026-12-07T10:02:00.000Z schedule  schedule closes A ",
                    }));
}

}  // namespace
