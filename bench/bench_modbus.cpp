// lumivex-gateway's Modbus side as it runs: the gateway a child process with virtual signs on
// loopback, the controllers libmodbus clients and a server of this process. Each runs once.
//
// "modbus write to sign": 100 signs, each showing "seq{sN}" with sN a uint32 at registers 2N-2N+1;
// 1,000 writes a second in all from four client connections, round the signs. The latency of a
// write is from its start to the moment the last byte of it, or of a later value of the same sign,
// has come in at the sign.
// "modbus poll": the gateway reads 200 holding registers of a controller every 100 ms, one of them
// changing each period; its share of one core (user and system time over wall time) while it does.
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <thread>

#include "GatewayBench.h"
#include "ModbusTestSupport.h"

namespace {

using namespace std::chrono_literals;

constexpr int kSigns = 100;
constexpr int kWritesPerSecond = 1000;
constexpr int kWrites = 10000;
constexpr int kClients = 4;
constexpr int kPolledRegisters = 200;
constexpr auto kPollWindow = 10s;
constexpr auto kArrivalWait = 20s;

double Quantile(std::vector<double> sorted, double share) {
    std::sort(sorted.begin(), sorted.end());
    return sorted.empty() ? 0 : sorted[static_cast<size_t>(share * (sorted.size() - 1))];
}

// The port the gateway said it serves Modbus on.
int ModbusPort(CChildProcess& process) {
    for (const std::string& line : process.Lines()) {
        const size_t at = line.find("Modbus on ");
        if (at != std::string::npos) {
            return std::atoi(line.c_str() + line.rfind(':') + 1);
        }
    }
    return 0;
}

void BM_ModbusWriteToSign(benchmark::State& state) {
    CArrivalSigns signs(kSigns);
    std::string map;
    for (int sign = 0; sign < kSigns; ++sign) {
        map += std::string(sign == 0 ? "" : ", ") + R"({"register": )" + std::to_string(2 * sign) +
               R"(, "var": "s)" + std::to_string(sign) + R"(", "type": "uint32"})";
    }
    BenchGateway gateway(signs, {},
                         R"(, "modbus": {"listen": "127.0.0.1:0", "map": [)" + map + "]}");
    const int port = ModbusPort(gateway.process->Process());
    if (!signs.Ready() || !gateway.Listening() || port == 0) {
        state.SkipWithError("the gateway did not start");
        return;
    }
    httplib::Client http("127.0.0.1", gateway.Port());
    for (int sign = 0; sign < kSigns; ++sign) {
        http.Put("/api/signs/Sign%20" + std::to_string(sign + 1) + "/message",
                 R"({"lines": ["seq{s)" + std::to_string(sign) + R"(}"]})", "application/json");
    }
    std::vector<modbus_t*> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.push_back(modbus_new_tcp("127.0.0.1", port));
        modbus_connect(clients.back());
    }
    for (int sign = 0; sign < kSigns; ++sign) {
        const uint16_t zero[2] = {0, 0};
        modbus_write_registers(clients[0], 2 * sign, 2, zero);
    }
    if (!signs.WaitForAll(kArrivalWait)) {
        state.SkipWithError("a sign never got its first value");
        return;
    }
    std::vector<BenchClock::time_point> started(kWrites);
    std::atomic<int> failures = 0;
    for (auto _ : state) {
        const BenchClock::time_point start = BenchClock::now();
        std::vector<std::thread> threads;
        for (int c = 0; c < kClients; ++c) {
            threads.emplace_back([&, c] {
                for (int i = c; i < kWrites; i += kClients) {
                    std::this_thread::sleep_until(start + i * std::chrono::microseconds(1s) /
                                                              kWritesPerSecond);
                    const auto seq = static_cast<uint32_t>(i + 1);
                    const uint16_t words[2] = {static_cast<uint16_t>(seq >> 16),
                                               static_cast<uint16_t>(seq)};
                    started[static_cast<size_t>(i)] = BenchClock::now();
                    if (modbus_write_registers(clients[static_cast<size_t>(c)], 2 * (i % kSigns), 2,
                                               words) != 2) {
                        ++failures;
                    }
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        for (int sign = 0; sign < kSigns; ++sign) {
            signs.WaitFor(sign, kWrites - kSigns + sign + 1, kArrivalWait);
        }
    }
    const auto arrivals = signs.Arrivals();
    std::vector<double> latencies;
    for (int i = 0; i < kWrites; ++i) {
        const auto& mine = arrivals[static_cast<size_t>(i % kSigns)];
        const auto found = std::find_if(mine.begin(), mine.end(), [&](const auto& arrival) {
            return arrival.seq >= static_cast<uint64_t>(i + 1);
        });
        if (found != mine.end()) {
            latencies.push_back(
                std::chrono::duration<double, std::milli>(found->at - started[i]).count());
        }
    }
    for (modbus_t* client : clients) {
        modbus_close(client);
        modbus_free(client);
    }
    state.counters["p50_ms"] = Quantile(latencies, 0.5);
    state.counters["p99_ms"] = Quantile(latencies, 0.99);
    state.counters["max_ms"] = Quantile(latencies, 1.0);
    state.counters["never"] = static_cast<double>(kWrites) - static_cast<double>(latencies.size());
    state.counters["failed"] = failures.load();
}

void BM_ModbusPoll(benchmark::State& state) {
    CArrivalSigns signs(1);
    CTestController controller(0, kPolledRegisters);
    std::string reads;
    for (int r = 0; r < kPolledRegisters; ++r) {
        reads += std::string(r == 0 ? "" : ", ") + R"({"register": )" + std::to_string(r) +
                 R"(, "var": "r)" + std::to_string(r) + R"("})";
    }
    BenchGateway gateway(signs, {},
                         R"(, "poll": [{"host": "127.0.0.1:)" + std::to_string(controller.Port()) +
                             R"(", "every": "100ms", "read": [)" + reads + "]}]");
    if (!signs.Ready() || !gateway.Listening()) {
        state.SkipWithError("the gateway did not start");
        return;
    }
    std::this_thread::sleep_for(1s);  // the first round and its values behind it
    double share = 0;
    for (auto _ : state) {
        const double before = gateway.CpuSeconds();
        const BenchClock::time_point start = BenchClock::now();
        for (uint16_t period = 0; BenchClock::now() - start < kPollWindow; ++period) {
            controller.Set(period % kPolledRegisters, period);
            std::this_thread::sleep_for(100ms);
        }
        share = (gateway.CpuSeconds() - before) /
                std::chrono::duration<double>(BenchClock::now() - start).count();
    }
    state.counters["cpu_percent"] = 100 * share;
}

}  // namespace

BENCHMARK(BM_ModbusWriteToSign)
    ->Name("gateway/modbus write to sign")
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ModbusPoll)
    ->Name("gateway/modbus poll")
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
