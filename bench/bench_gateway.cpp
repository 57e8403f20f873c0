// lumivex-gateway as it runs: a child process of the benchmark, with Mosquitto on a free loopback
// port and virtual signs of this process on loopback addresses. Each runs once (the figures are
// counters); the gateway's own figures are what the plant sees, not this process's time.
//
// "mqtt to sign": 100 signs, 1,000 updates a second in all, each a retained plain text on its
// sign's set topic. The latency of an update is from its publish to the moment the last byte of it,
// or of a later update of the same sign, has come in at the sign: a later value replacing one that
// has not gone out yet is how the gateway keeps up. Every sign's last value must arrive. A second
// client on the set topics gives the broker's own share ("broker_p50_ms", "broker_p99_ms").
// "http put": PUT /api/signs/{name}/message from a few client threads on kept-alive connections,
// round the signs, each answered 202 after its state file is written.
// "memory": the gateway's resident memory with 1,000 signs, idle and after each sign has had a
// message.
// "playlists": 1,000 signs, each with a playlist of three entries of 10 s: the gateway's share of
// one core over 30 s while they turn (100 sends a second), and its memory.
#include <benchmark/benchmark.h>
#include <httplib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <thread>

#include "GatewayBench.h"
#include "gateway/CMqttClient.h"

namespace {

using namespace std::chrono_literals;

constexpr int kSigns = 100;
constexpr int kMemorySigns = 1000;
constexpr int kUpdatesPerSecond = 1000;
constexpr int kUpdates = 10000;
constexpr int kQos = 1;
constexpr int kHttpClients = 4;
constexpr int kPutsPerClient = 3000;
constexpr auto kArrivalWait = 20s;

double Percentile(std::vector<double> values, double share) {
    if (values.empty()) {
        return 0;
    }
    const auto at = static_cast<size_t>(share * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(at),
                     values.end());
    return values[at];
}

double Milliseconds(BenchClock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

std::string PutPath(int sign) {
    return "/api/signs/Sign%20" + std::to_string(sign + 1) + "/message";
}

std::string PutBody(uint64_t seq) {
    return R"({"lines": ["seq)" + std::to_string(seq) + R"("]})";
}

// One update: its sign, its number and when it was published.
struct Update {
    int sign;
    uint64_t seq;
    BenchClock::time_point at;
};

// For each update, the time until its sign had it or a later one; negative when it never did.
std::vector<double> Latencies(const std::vector<Update>& updates,
                              const std::vector<std::vector<CArrivalSigns::Arrival>>& arrivals) {
    std::vector<double> latencies;
    for (const Update& update : updates) {
        const auto& mine = arrivals[static_cast<size_t>(update.sign)];
        const auto found = std::find_if(mine.begin(), mine.end(), [&](const auto& arrival) {
            return arrival.seq >= update.seq;
        });
        latencies.push_back(found == mine.end() ? -1 : Milliseconds(found->at - update.at));
    }
    return latencies;
}

// A second client of the benchmark on the set topics: when the broker hands each update on, the
// floor under the gateway's figures.
class CBrokerWatch {
public:
    explicit CBrokerWatch(const std::string& url) {
        CMqttClient::Events events;
        events.connected = [this] { m_client->Subscribe("bench/+/message/set", kQos); };
        events.message = [this](const std::string&, std::string payload, bool) {
            const BenchClock::time_point now = BenchClock::now();
            if (payload.rfind("seq", 0) == 0) {
                const std::lock_guard lock(m_mutex);
                m_at.emplace(std::stoull(payload.substr(3)), now);
            }
        };
        CMqttClient::Options options;
        options.url = url;
        options.clientId = "lumivex-bench-watch-" + std::to_string(getpid());
        m_client = std::make_unique<CMqttClient>(std::move(options), std::move(events));
        std::string error;
        m_client->Start(error);
    }
    ~CBrokerWatch() { m_client->Stop({}, {}, std::chrono::milliseconds(0)); }

    std::vector<double> Latencies(const std::vector<Update>& updates) {
        const std::lock_guard lock(m_mutex);
        std::vector<double> latencies;
        for (const Update& update : updates) {
            const auto found = m_at.find(update.seq);
            if (found != m_at.end()) {
                latencies.push_back(Milliseconds(found->second - update.at));
            }
        }
        return latencies;
    }

private:
    std::unique_ptr<CMqttClient> m_client;
    std::mutex m_mutex;
    std::map<uint64_t, BenchClock::time_point> m_at;
};

// Signs and the gateway that drives them, or why the benchmark cannot run.
struct Plant {
    CArrivalSigns signs;
    std::unique_ptr<BenchGateway> gateway;
    std::string fault;

    explicit Plant(int count, const std::string& brokerUrl = {}, const std::string& extra = {})
        : signs(count) {
        if (!signs.Ready()) {
            fault = "no loopback addresses for the signs";
            return;
        }
        gateway = std::make_unique<BenchGateway>(signs, brokerUrl, extra);
        if (!gateway->Listening() ||
            (!brokerUrl.empty() &&
             gateway->process->Process().WaitForLine("broker connected").empty())) {
            fault = "the gateway did not start";
        }
    }
};

void BM_MqttToSign(benchmark::State& state) {
    const CTempFolder folder;
    CBenchBroker broker(folder);
    if (!broker.Running()) {
        state.SkipWithError("the broker did not start");
        return;
    }
    Plant plant(kSigns, broker.Url());
    if (!plant.fault.empty()) {
        state.SkipWithError(plant.fault.c_str());
        return;
    }
    CArrivalSigns& signs = plant.signs;
    CMqttClient::Options options;
    options.url = broker.Url();
    options.clientId = "lumivex-bench-" + std::to_string(getpid());
    CMqttClient client(std::move(options), {});
    std::string error;
    client.Start(error);
    const auto publish = [&](int sign, uint64_t seq) {
        const std::string payload = "seq" + std::to_string(seq);
        client.Publish("bench/" + SignTopicLevel(sign) + "/message/set", payload, kQos, true);
    };
    // Every sign once first, so that the run starts with the gateway's subscriptions and the
    // signs' first sends behind it.
    for (int sign = 0; sign < kSigns; ++sign) {
        publish(sign, 0);
    }
    if (!signs.WaitForAll(kArrivalWait)) {
        state.SkipWithError("a sign never got its first message");
        return;
    }
    CBrokerWatch watch(broker.Url());
    std::vector<Update> updates;
    updates.reserve(kUpdates);
    int lastOk = 0;
    for (auto _ : state) {
        const BenchClock::time_point start = BenchClock::now();
        for (int i = 0; i < kUpdates; ++i) {
            // In microseconds: whole seconds divided would send the second's updates in one burst.
            std::this_thread::sleep_until(start +
                                          i * std::chrono::microseconds(1s) / kUpdatesPerSecond);
            const Update update{i % kSigns, static_cast<uint64_t>(i + 1), BenchClock::now()};
            publish(update.sign, update.seq);
            updates.push_back(update);
        }
        for (int sign = 0; sign < kSigns; ++sign) {
            lastOk += signs.WaitFor(sign, updates[updates.size() - kSigns + sign].seq, kArrivalWait)
                          ? 1
                          : 0;
        }
    }
    client.Stop({}, {}, std::chrono::milliseconds(0));
    std::vector<double> latencies = Latencies(updates, signs.Arrivals());
    const auto lost = std::count(latencies.begin(), latencies.end(), -1.0);
    std::erase(latencies, -1.0);
    size_t sent = 0;
    for (const auto& arrivals : signs.Arrivals()) {
        sent += arrivals.size();
    }
    const std::vector<double> handedOn = watch.Latencies(updates);
    state.counters["broker_p50_ms"] = Percentile(handedOn, 0.5);
    state.counters["broker_p99_ms"] = Percentile(handedOn, 0.99);
    state.counters["p50_ms"] = Percentile(latencies, 0.5);
    state.counters["p99_ms"] = Percentile(latencies, 0.99);
    state.counters["max_ms"] = Percentile(latencies, 1.0);
    state.counters["updates"] = static_cast<double>(updates.size());
    state.counters["at_signs"] = static_cast<double>(sent);
    state.counters["never"] = static_cast<double>(lost);
    state.counters["last_ok"] = lastOk;
    if (lastOk != kSigns) {
        state.SkipWithError("the last value of a sign did not arrive");
    }
}

// PUTs from kHttpClients threads, each round the signs; the time of each request.
std::vector<double> PutRound(uint16_t port, int signCount, int putsPerClient,
                             std::atomic<int>& failures,
                             std::string (*body)(uint64_t seq) = PutBody) {
    std::vector<std::vector<double>> times(kHttpClients);
    std::vector<std::thread> clients;
    for (int c = 0; c < kHttpClients; ++c) {
        clients.emplace_back([&, c] {
            httplib::Client client("127.0.0.1", port);
            client.set_keep_alive(true);
            // As curl and most client libraries do: the body goes out at once, not after the
            // server's delayed acknowledgement of the headers.
            client.set_tcp_nodelay(true);
            for (int i = 0; i < putsPerClient; ++i) {
                const int sign = (c + i * kHttpClients) % signCount;
                const BenchClock::time_point start = BenchClock::now();
                const auto response = client.Put(PutPath(sign), body(static_cast<uint64_t>(i + 1)),
                                                 "application/json");
                times[static_cast<size_t>(c)].push_back(Milliseconds(BenchClock::now() - start));
                if (!response || response->status != 202) {
                    ++failures;
                }
            }
        });
    }
    std::vector<double> all;
    for (int c = 0; c < kHttpClients; ++c) {
        clients[static_cast<size_t>(c)].join();
        all.insert(all.end(), times[static_cast<size_t>(c)].begin(),
                   times[static_cast<size_t>(c)].end());
    }
    return all;
}

void BM_HttpPut(benchmark::State& state) {
    Plant plant(kSigns);
    if (!plant.fault.empty()) {
        state.SkipWithError(plant.fault.c_str());
        return;
    }
    std::atomic<int> failures = 0;
    double seconds = 0;
    std::vector<double> times;
    for (auto _ : state) {
        const BenchClock::time_point start = BenchClock::now();
        times = PutRound(plant.gateway->Port(), kSigns, kPutsPerClient, failures);
        seconds = std::chrono::duration<double>(BenchClock::now() - start).count();
    }
    state.counters["requests_per_s"] = static_cast<double>(times.size()) / seconds;
    state.counters["p50_ms"] = Percentile(times, 0.5);
    state.counters["p99_ms"] = Percentile(times, 0.99);
    if (failures > 0) {
        state.SkipWithError("a PUT was not answered 202");
    }
}

// A PUT to each of the plant's signs, and each sign's first message come; false when one never
// came.
bool SetEverySign(Plant& plant, std::atomic<int>& failures,
                  std::string (*body)(uint64_t seq) = PutBody) {
    PutRound(plant.gateway->Port(), plant.signs.Count(), plant.signs.Count() / kHttpClients,
             failures, body);
    return plant.signs.WaitForAll(kArrivalWait);
}

void BM_Memory(benchmark::State& state) {
    Plant plant(kMemorySigns);
    if (!plant.fault.empty()) {
        state.SkipWithError(plant.fault.c_str());
        return;
    }
    const BenchGateway& gateway = *plant.gateway;
    std::atomic<int> failures = 0;
    for (auto _ : state) {
        state.counters["idle_mb"] = gateway.StatusMegabytes("VmRSS");
        if (!SetEverySign(plant, failures)) {
            state.SkipWithError("a sign never got its message");
            return;
        }
    }
    state.counters["rss_mb"] = gateway.StatusMegabytes("VmRSS");
    state.counters["peak_mb"] = gateway.StatusMegabytes("VmHWM");
    if (failures > 0) {
        state.SkipWithError("a PUT was not answered 202");
    }
}

// Three entries of 10 s, told apart at the sign by their numbers.
std::string PlaylistBody(uint64_t) {
    std::string entries;
    for (int entry = 1; entry <= 3; ++entry) {
        entries += std::string(entry == 1 ? "" : ", ") + R"({"message": {"lines": ["seq)" +
                   std::to_string(entry) + R"( {count} PARTS"]}, "seconds": 10})";
    }
    return R"({"play": [)" + entries + "]}";
}

void BM_Playlists(benchmark::State& state) {
    Plant plant(kMemorySigns);
    if (!plant.fault.empty()) {
        state.SkipWithError(plant.fault.c_str());
        return;
    }
    const BenchGateway& gateway = *plant.gateway;
    std::atomic<int> failures = 0;
    const auto sent = [&] {
        size_t count = 0;
        for (const auto& arrivals : plant.signs.Arrivals()) {
            count += arrivals.size();
        }
        return count;
    };
    double share = 0;
    double sendsPerSecond = 0;
    for (auto _ : state) {
        if (!SetEverySign(plant, failures, PlaylistBody)) {
            state.SkipWithError("a sign never got its playlist");
            return;
        }
        std::this_thread::sleep_for(5s);
        constexpr auto kWindow = 30s;
        const double before = gateway.CpuSeconds();
        const size_t sentBefore = sent();
        std::this_thread::sleep_for(kWindow);
        share = (gateway.CpuSeconds() - before) / std::chrono::duration<double>(kWindow).count();
        sendsPerSecond = static_cast<double>(sent() - sentBefore) /
                         std::chrono::duration<double>(kWindow).count();
    }
    state.counters["cpu_percent"] = 100 * share;
    state.counters["sends_per_s"] = sendsPerSecond;
    state.counters["rss_mb"] = gateway.StatusMegabytes("VmRSS");
    state.counters["peak_mb"] = gateway.StatusMegabytes("VmHWM");
    if (failures > 0) {
        state.SkipWithError("a PUT was not answered 202");
    }
}

}  // namespace

BENCHMARK(BM_MqttToSign)
    ->Name("gateway/mqtt to sign")
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HttpPut)
    ->Name("gateway/http put")
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memory)
    ->Name("gateway/memory")
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Playlists)
    ->Name("gateway/playlists")
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
