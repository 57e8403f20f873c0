// Who may do what, and the audit of what was done: the roles' table, the page's pass and the
// audit's bounded files, by direct calls.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <fstream>

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

size_t LinesOf(const std::string& path) {
    std::ifstream file(path);
    size_t lines = 0;
    for (std::string line; std::getline(file, line);) {
        ++lines;
    }
    return lines;
}

TEST(AuditLog, KeepsTheLastWritesInBoundedFilesAcrossARestart) {
    const CTempFolder folder;
    CScriptedClock clock{kTestStart};
    constexpr size_t kKeep = 3;
    const auto record = [&](CAuditLog& audit, int n) {
        clock.Advance(std::chrono::seconds(1));
        audit.Record({Role::kOperator, "127.0.0.9", Origin::kApi, "PUT /api/vars/n", "n",
                      std::to_string(n), true, "204"});
    };
    {
        CAuditLog audit(clock, kKeep);
        ASSERT_FALSE(audit.Open(folder.Path()));
        for (int n = 1; n <= 8; ++n) {
            record(audit, n);
            EXPECT_LE(LinesOf(folder.Path() + "/audit.jsonl"), kKeep);
            EXPECT_LE(LinesOf(folder.Path() + "/audit.1.jsonl"), kKeep);
        }
        const QJsonArray all = Entries(audit);
        ASSERT_EQ(all.size(), 3);
        EXPECT_EQ(all[0].toObject()["summary"], "6");
        EXPECT_EQ(all[2].toObject()["summary"], "8");
        EXPECT_EQ(Entries(audit, clock.Now()).size(), 1);
    }
    // A crash that tore the last line: passed over.
    QFile torn(QString::fromStdString(folder.Path() + "/audit.jsonl"));
    ASSERT_TRUE(torn.open(QIODevice::Append));
    torn.write(R"({"at": "2026-12)");
    torn.close();
    {
        CAuditLog audit(clock, kKeep);
        ASSERT_FALSE(audit.Open(folder.Path()));
        EXPECT_EQ(Entries(audit)[2].toObject()["summary"], "8");
        record(audit, 9);
    }
    CAuditLog audit(clock, kKeep);
    ASSERT_FALSE(audit.Open(folder.Path()));
    const QJsonArray after = Entries(audit);
    ASSERT_EQ(after.size(), 3);
    EXPECT_EQ(after[1].toObject()["summary"], "8");
    EXPECT_EQ(after[2].toObject()["summary"], "9");
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
