#include "GatewayBench.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/SendTestSupport.h"

namespace {

constexpr int kHostsPerBlock = 250;
constexpr int kFirstHost = 2;

uint16_t BoundPort(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

int Listen(const std::string& host, uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    inet_pton(AF_INET, host.c_str(), &address.sin_addr);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, SOMAXCONN) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// The number after the first "seq" in a sign's bytes.
std::optional<uint64_t> SeqOf(const std::string& bytes) {
    const size_t at = bytes.find("seq");
    if (at == std::string::npos) {
        return std::nullopt;
    }
    uint64_t seq = 0;
    size_t i = at + 3;
    for (; i < bytes.size() && bytes[i] >= '0' && bytes[i] <= '9'; ++i) {
        seq = seq * 10 + static_cast<uint64_t>(bytes[i] - '0');
    }
    return i > at + 3 ? std::optional(seq) : std::nullopt;
}

}  // namespace

namespace {

std::string BrokerConfig(const CTempFolder& folder, uint16_t port) {
    const passwd* user = getpwuid(getuid());
    return folder.Write("mosquitto.conf", "listener " + std::to_string(port) +
                                              " 127.0.0.1\nallow_anonymous true\n"
                                              "persistence false\nset_tcp_nodelay true\nuser " +
                                              (user ? user->pw_name : "nobody") + "\n");
}

}  // namespace

CBenchBroker::CBenchBroker(const CTempFolder& folder)
    : m_nPort(FreeLoopbackPort()),
      m_process(LUMIVEX_MOSQUITTO_PATH, {"-c", BrokerConfig(folder, m_nPort)}) {
    m_bRunning = !m_process.WaitForLine("running").empty();
}

CArrivalSigns::CArrivalSigns(int count)
    : m_nEpoll(epoll_create1(EPOLL_CLOEXEC)), m_nWake(eventfd(0, EFD_CLOEXEC)) {
    const uint32_t process = static_cast<uint32_t>(getpid()) & 0xFFFF;
    const std::string prefix =
        "127." + std::to_string(process >> 8) + "." + std::to_string(process & 0xFF) + ".";
    for (int i = 0; i < count; ++i) {
        const std::string host = prefix + std::to_string(kFirstHost + i % kHostsPerBlock);
        const int listener = Listen(host, 0);
        if (listener < 0) {
            break;
        }
        m_signOfFd[listener] = i;
        m_listeners.push_back(listener);
        m_endpoints.emplace_back(host, BoundPort(listener));
        Watch(listener);
    }
    m_arrivals.resize(m_listeners.size());
    Watch(m_nWake);
    m_thread = std::thread([this] { Serve(); });
}

CArrivalSigns::~CArrivalSigns() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(m_nWake, &one, sizeof one);
    m_thread.join();
    for (const auto& [fd, sign] : m_signOfFd) {
        close(fd);
    }
    close(m_nWake);
    close(m_nEpoll);
}

std::string CArrivalSigns::SignsJson() const {
    std::string json = R"({"signs": [)";
    for (size_t i = 0; i < m_endpoints.size(); ++i) {
        json += (i > 0 ? ",\n" : "\n") + std::string(R"({"name": "Sign )") + std::to_string(i + 1) +
                R"(", "link": ")" + m_endpoints[i].first + R"(", "tcpPort": )" +
                std::to_string(m_endpoints[i].second) + "}";
    }
    return json + "]}\n";
}

bool CArrivalSigns::WaitFor(int sign, uint64_t seq, std::chrono::milliseconds wait) {
    std::unique_lock lock(m_mutex);
    const auto& arrivals = m_arrivals[static_cast<size_t>(sign)];
    return m_changed.wait_for(lock, wait, [&] {
        return std::any_of(arrivals.begin(), arrivals.end(),
                           [&](const Arrival& arrival) { return arrival.seq >= seq; });
    });
}

bool CArrivalSigns::WaitForAll(std::chrono::milliseconds wait) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, wait, [&] {
        return std::none_of(m_arrivals.begin(), m_arrivals.end(),
                            [](const auto& arrivals) { return arrivals.empty(); });
    });
}

std::vector<std::vector<CArrivalSigns::Arrival>> CArrivalSigns::Arrivals() {
    const std::lock_guard lock(m_mutex);
    return m_arrivals;
}

void CArrivalSigns::Watch(int fd) const {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    epoll_ctl(m_nEpoll, EPOLL_CTL_ADD, fd, &event);
}

void CArrivalSigns::Finish(int fd) {
    const BenchClock::time_point now = BenchClock::now();
    const auto seq = SeqOf(m_received[fd]);
    const int sign = m_signOfFd[fd];
    m_received.erase(fd);
    m_signOfFd.erase(fd);
    close(fd);
    if (seq) {
        const std::lock_guard lock(m_mutex);
        m_arrivals[static_cast<size_t>(sign)].push_back({*seq, now});
        m_changed.notify_all();
    }
}

void CArrivalSigns::Serve() {
    constexpr int kEvents = 64;
    epoll_event events[kEvents];
    char buffer[65536];
    for (;;) {
        const int ready = epoll_wait(m_nEpoll, events, kEvents, -1);
        for (int i = 0; i < ready; ++i) {
            const int fd = events[i].data.fd;
            if (fd == m_nWake) {
                return;
            }
            if (std::find(m_listeners.begin(), m_listeners.end(), fd) != m_listeners.end()) {
                int connection = -1;
                while ((connection = accept4(fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >=
                       0) {
                    m_signOfFd[connection] = m_signOfFd[fd];
                    Watch(connection);
                }
                continue;
            }
            ssize_t count = 0;
            while ((count = read(fd, buffer, sizeof buffer)) > 0) {
                m_received[fd].append(buffer, static_cast<size_t>(count));
            }
            if (count == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                Finish(fd);  // the sender closed: the whole message is in
            }
        }
    }
}

std::string SignTopicLevel(int index) {
    return "sign%20" + std::to_string(index + 1);
}

BenchGateway::BenchGateway(const CArrivalSigns& signs, const std::string& brokerUrl,
                           const std::string& extra) {
    folder.Write("signs.json", signs.SignsJson());
    const std::string mqtt =
        brokerUrl.empty() ? "" : R"(, "mqtt": {"url": ")" + brokerUrl + R"(", "prefix": "bench"})";
    process = std::make_unique<CGatewayProcess>(folder.Write(
        "gateway.json",
        R"({"name": "bench", "http": "127.0.0.1:0", "stateDir": "state")" + mqtt + extra + "}"));
}

double BenchGateway::StatusMegabytes(const std::string& field) const {
    constexpr double kKilobytesPerMegabyte = 1024;
    std::ifstream status("/proc/" + std::to_string(process->Process().Pid()) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return static_cast<double>(std::atol(line.c_str() + field.size() + 1)) /
                   kKilobytesPerMegabyte;
        }
    }
    return 0;
}

double BenchGateway::CpuSeconds() const {
    std::ifstream stat("/proc/" + std::to_string(process->Process().Pid()) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i >= 14) {  // utime, stime
            ticks += std::stod(field);
        }
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}
