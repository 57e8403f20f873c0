// The HTTP server's front stage in process: slow and many clients hold no worker, every wait is
// bounded, and HTTPS serves only a certificate that can be served.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>

#include <future>
#include <iostream>
#include <mutex>

#include "CoreFixture.h"
#include "GatewayTestSupport.h"
#include "TlsTestSupport.h"
#include "gateway/CHttpApi.h"
#include "gateway/CHttpFront.h"
#include "gateway/TlsContext.h"

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// What the server sends until it closes; "<open>" after it when it has not closed within the
// tests' bound, "<reset>" when it reset the connection.
std::string ReadUntilClosed(int client) {
    std::string got;
    const auto deadline = Clock::now() + milliseconds(kTestWaitMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
        pollfd ready{client, POLLIN, 0};
        char buffer[4096];
        if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) != 1) {
            return got + "<open>";
        }
        const ssize_t read = recv(client, buffer, sizeof(buffer), 0);
        if (read <= 0) {
            return got + (read < 0 ? "<reset>" : "");
        }
        got.append(buffer, static_cast<size_t>(read));
    }
}

size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// A front with one route, served on a thread of the test's.
class CTestFront {
public:
    explicit CTestFront(const HttpFrontLimits& limits) : front(limits) {
        front.OnRefused([this](const std::string&, HttpRefusal why, bool) {
            const std::lock_guard lock(m_mutex);
            m_refused.push_back(HttpRefusalName(why));
        });
        front.Get("/hi", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("hi", "text/plain");
        });
        port = static_cast<uint16_t>(front.bind_to_any_port("127.0.0.1"));
        front.WidenBacklog();
        m_served = std::async(std::launch::async, [this] { return front.listen_after_bind(); });
    }
    ~CTestFront() {
        // A stop before the server has begun to listen is lost: asked until it ends.
        do {
            front.stop();
        } while (m_served.wait_for(milliseconds(10)) != std::future_status::ready);
    }

    // The reasons of the refusals so far, in order.
    std::vector<std::string> Refused() {
        const std::lock_guard lock(m_mutex);
        return m_refused;
    }

    CHttpFront front;
    uint16_t port = 0;

private:
    std::mutex m_mutex;
    std::vector<std::string> m_refused;
    std::future<bool> m_served;
};

HttpFrontLimits ShortLimits() {
    HttpFrontLimits limits;
    limits.header = limits.body = limits.idle = milliseconds(300);
    limits.maxHead = 1024;
    limits.perClient = 4;
    limits.workers = 2;
    return limits;
}

TEST(HttpFront, EachClientGetsItsAnswersAndNoWaitOutlastsItsLimit) {
    CTestFront server(ShortLimits());
    const std::string hi = "GET /hi HTTP/1.1\r\nHost: x\r\n\r\n";
    const std::string last = "GET /hi HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    const std::string head = "GET /hi HTTP/1.1\r\nX: ";
    struct Case {
        const char* what;
        std::string sent;
        size_t answers;       // "200 OK"s before the server closes
        const char* refusal;  // a status line that must come, or ""
        const char* reason;   // the front's count of it, or ""
    };
    const Case cases[] = {
        {"one request", last, 1, "", ""},
        {"two sent at once on one connection", hi + last, 2, "", ""},
        {"a kept connection, then silence", hi, 1, "", ""},
        {"half a head, then silence", "GET /hi HTTP/1.1\r\nHo", 0, "", "head_timeout"},
        // Still sent after the answer: read and let go, so that no reset loses the answer.
        {"a head far over the limit", head + std::string(4 * ShortLimits().maxHead, 'a'), 0,
         "HTTP/1.1 431", "head_too_large"},
        {"a body that stops short", "POST /hi HTTP/1.1\r\nHost: x\r\nContent-Length: 99\r\n\r\nab",
         0, "", "body_timeout"},
        {"nothing at all", "", 0, "", "head_timeout"},
    };
    std::vector<std::string> reasons;
    for (const Case& c : cases) {
        const int client = ConnectFrom(1, server.port);
        ASSERT_GE(client, 0);
        ASSERT_EQ(send(client, c.sent.data(), c.sent.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(c.sent.size()));
        const std::string got = ReadUntilClosed(client);
        close(client);
        EXPECT_EQ(Count(got, "200 OK"), c.answers) << c.what << ": " << got;
        EXPECT_EQ(got.find("<open>"), std::string::npos) << c.what;
        EXPECT_EQ(got.find("<reset>"), std::string::npos) << c.what << ": " << got;
        EXPECT_EQ(got.rfind(c.refusal, 0), 0u) << c.what << ": " << got;
        if (*c.reason != '\0') {
            reasons.push_back(c.reason);
        }
    }
    EXPECT_EQ(server.Refused(), reasons);
}

TEST(HttpFront, AClientOverItsShareIsTurnedAwayAndOthersAreNot) {
    HttpFrontLimits limits = ShortLimits();
    limits.header = milliseconds(10 * kTestWaitMs);  // only a refusal closes within the test
    CTestFront server(limits);
    std::vector<int> held;
    for (size_t i = 0; i < limits.perClient; ++i) {
        held.push_back(ConnectFrom(2, server.port));
        ASSERT_EQ(send(held.back(), "GET", 3, MSG_NOSIGNAL), 3);
    }
    ASSERT_TRUE(PumpUntil([&] { return server.front.Open() == limits.perClient; }));
    const int over = ConnectFrom(2, server.port);
    EXPECT_EQ(ReadUntilClosed(over), "");
    EXPECT_EQ(server.Refused(), std::vector<std::string>{"client_limit"});
    const int other = ConnectFrom(3, server.port);
    const std::string request = "GET /hi HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    send(other, request.data(), request.size(), MSG_NOSIGNAL);
    EXPECT_EQ(Count(ReadUntilClosed(other), "200 OK"), 1u);
    for (const int client : {over, other, held.front()}) {
        close(client);
    }
    // The share comes back as the client's connections end.
    ASSERT_TRUE(PumpUntil([&] { return server.front.Open() == limits.perClient - 1; }));
    const int again = ConnectFrom(2, server.port);
    send(again, request.data(), request.size(), MSG_NOSIGNAL);
    EXPECT_EQ(Count(ReadUntilClosed(again), "200 OK"), 1u);
    close(again);
    for (size_t i = 1; i < held.size(); ++i) {
        close(held[i]);
    }
}

TEST(HttpFront, AThousandSlowClientsLeaveHealthAndWritesAnsweredAndStopAtOnce) {
    constexpr size_t kSlowClients = 1000;
    constexpr size_t kClientsAnAddress = 50;
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;  // a descriptor on each side of each connection
    setrlimit(RLIMIT_NOFILE, &limit);
    ASSERT_GE(limit.rlim_cur, 3 * kSlowClients);

    CCoreFixture fixture{kTestToken};
    ASSERT_FALSE(fixture.core->Start());
    CHttpApi api(*fixture.core);
    std::string error;
    ASSERT_TRUE(api.Listen(error)) << error;
    std::vector<int> slow;
    const std::string half = "PUT /api/signs/A/message HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ";
    for (size_t i = 0; i < kSlowClients; ++i) {
        slow.push_back(ConnectFrom(static_cast<int>(10 + i / kClientsAnAddress), api.Port()));
        ASSERT_GE(slow.back(), 0) << i;
        send(slow.back(), half.data(), half.size(), MSG_NOSIGNAL);
    }
    ASSERT_TRUE(PumpUntil([&] { return api.OpenConnections() == kSlowClients; }));

    // A bound that a worker per connection cannot meet: each slow client would hold one for
    // seconds. Generous beside what it takes (a few milliseconds).
    const auto asked = Clock::now();
    const auto health = OffThread([&] { return ClientOf(api.Port(), false)->Get("/healthz"); });
    const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - asked);
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 200);
    EXPECT_LT(took.count(), 1000);
    const auto put = OffThread([&] {
        return ClientOf(api.Port())
            ->Put(SignPath("A") + "/message", R"({"lines": ["ok"]})", "application/json");
    });
    ASSERT_TRUE(put);
    EXPECT_EQ(put->status, 202) << put->body;

    const auto stopping = Clock::now();
    EXPECT_TRUE(api.Stop(milliseconds(kTestWaitMs)));  // no thread left held by a client
    const auto stopped = std::chrono::duration_cast<milliseconds>(Clock::now() - stopping);
    std::cout << "healthz under " << kSlowClients << " slow connections: " << took.count()
              << " ms; stop: " << stopped.count() << " ms\n";
    for (const int client : slow) {
        close(client);
    }
}

TEST(HttpFront, ServesHttpsWithItsCertificateAndRefusesBadOnesByName) {
    CTempFolder folder;
    const std::string path = folder.Path() + "/";
    ASSERT_TRUE(WriteTestCertificate(path + "good.pem", path + "good.key"));
    ASSERT_TRUE(WriteTestCertificate(path + "old.pem", path + "old.key", 60));
    ASSERT_TRUE(WriteTestCertificate(path + "other.pem", path + "other.key"));
    folder.Write("text.pem", "not a certificate\n");
    struct Case {
        TlsConfig tls;
        std::string says;  // after the file's name
    };
    const Case cases[] = {
        {{path + "old.pem", path + "old.key"}, "\"tls.certFile\": the certificate expired on"},
        {{path + "good.pem", path + "other.key"},
         "\"tls.keyFile\": the key does not match the certificate " + path + "good.pem"},
        {{path + "none.pem", path + "good.key"}, "\"tls.certFile\": cannot read: No such file"},
        {{path + "text.pem", path + "good.key"}, "\"tls.certFile\": not a PEM certificate"},
        {{path + "good.pem", path + "text.pem"}, "\"tls.keyFile\": not a PEM private key"},
    };
    for (const Case& c : cases) {
        const std::string named =
            c.says.find("keyFile") != std::string::npos ? c.tls.keyFile : c.tls.certFile;
        try {
            CTlsContext context(c.tls);
            ADD_FAILURE() << "served " << named;
        } catch (const CGatewayConfigError& error) {
            EXPECT_EQ(std::string(error.what()).rfind(named + ": " + c.says, 0), 0u)
                << error.what();
        }
    }

    CCoreFixture fixture{kTestToken};
    fixture.tls = {path + "good.pem", path + "good.key"};
    fixture.Make(kTestToken);
    ASSERT_FALSE(fixture.core->Start());
    CHttpApi api(*fixture.core);
    std::string error;
    ASSERT_TRUE(api.Listen(error)) << error;
    const std::string origin = "https://127.0.0.1:" + std::to_string(api.Port());
    const auto [health, put, session] = OffThread([&] {
        httplib::SSLClient client("127.0.0.1", api.Port());
        client.set_ca_cert_path((path + "good.pem").c_str());
        client.enable_server_certificate_verification(true);
        client.set_read_timeout(kTestWaitMs / 1000, 0);
        auto got = client.Get("/healthz");
        client.set_default_headers(
            {{"Authorization", std::string("Bearer ") + kTestToken}, {"Origin", origin}});
        auto set =
            client.Put(SignPath("A") + "/message", R"({"lines": ["safe"]})", "application/json");
        return std::make_tuple(std::move(got), std::move(set), client.Get("/api/session"));
    });
    ASSERT_TRUE(health) << httplib::to_string(health.error());
    EXPECT_EQ(health->status, 200);
    ASSERT_TRUE(put);
    EXPECT_EQ(put->status, 202) << put->body;
    ASSERT_TRUE(session);
    EXPECT_NE(session->get_header_value("Set-Cookie").find("; Secure"), std::string::npos);
    // Plain HTTP to the HTTPS port gets no answer.
    EXPECT_FALSE(OffThread([&] { return ClientOf(api.Port(), false)->Get("/healthz"); }));
}

}  // namespace
