#include "GatewayBench.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

extern char** environ;

namespace {

constexpr int kHostsPerBlock = 250;
constexpr int kFirstHost = 2;
constexpr std::chrono::seconds kStartWait{10};

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

CBenchProcess::CBenchProcess(const std::string& program, const std::vector<std::string>& arguments,
                             const std::vector<std::string>& environment) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return;
    }
    std::vector<std::string> texts{program};
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : texts) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        variables.emplace_back(*entry);
    }
    variables.insert(variables.end(), environment.begin(), environment.end());
    std::vector<char*> envp;
    for (std::string& text : variables) {
        envp.push_back(text.data());
    }
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
    if (posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) {
        m_pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    m_nOutput = pipeEnds[0];
    m_reader = std::thread([this] {
        std::string pending;
        char buffer[65536];
        ssize_t count = 0;
        while ((count = read(m_nOutput, buffer, sizeof buffer)) > 0) {
            pending.append(buffer, static_cast<size_t>(count));
            size_t end = 0;
            while ((end = pending.find('\n')) != std::string::npos) {
                const std::lock_guard lock(m_mutex);
                if (!m_strWanted.empty() && m_strFound.empty() &&
                    pending.substr(0, end).find(m_strWanted) != std::string::npos) {
                    m_strFound = pending.substr(0, end);
                    m_changed.notify_all();
                }
                pending.erase(0, end + 1);
            }
        }
        const std::lock_guard lock(m_mutex);
        m_bEnded = true;
        m_changed.notify_all();
    });
}

CBenchProcess::~CBenchProcess() {
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    if (m_reader.joinable()) {
        m_reader.join();
    }
    close(m_nOutput);
}

std::string CBenchProcess::WaitForLine(const std::string& text, std::chrono::milliseconds wait) {
    std::unique_lock lock(m_mutex);
    m_strWanted = text;
    m_strFound.clear();
    m_changed.wait_for(lock, wait, [&] { return !m_strFound.empty() || m_bEnded; });
    m_strWanted.clear();
    return m_strFound;
}

int CBenchProcess::Stop() {
    if (m_pid <= 0) {
        return -1;
    }
    kill(m_pid, SIGTERM);
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

long CBenchProcess::StatusKilobytes(const std::string& field) const {
    std::ifstream status("/proc/" + std::to_string(m_pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::atol(line.c_str() + field.size() + 1);
        }
    }
    return 0;
}

CBenchFolder::CBenchFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "lumivex-bench-XXXXXX").string();
    m_strPath = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

CBenchFolder::~CBenchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_strPath, ignored);
}

std::string CBenchFolder::Write(const std::string& name, const std::string& bytes) const {
    const std::string path = m_strPath + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

namespace {

uint16_t FreePort() {
    const int fd = Listen("127.0.0.1", 0);
    const uint16_t port = fd >= 0 ? BoundPort(fd) : 0;
    close(fd);
    return port;
}

std::string BrokerConfig(const CBenchFolder& folder, uint16_t port) {
    const passwd* user = getpwuid(getuid());
    return folder.Write("mosquitto.conf", "listener " + std::to_string(port) +
                                              " 127.0.0.1\nallow_anonymous true\n"
                                              "persistence false\nuser " +
                                              (user ? user->pw_name : "nobody") + "\n");
}

}  // namespace

CBenchBroker::CBenchBroker(const CBenchFolder& folder)
    : m_nPort(FreePort()),
      m_process(LUMIVEX_MOSQUITTO_PATH, {"-c", BrokerConfig(folder, m_nPort)}) {
    m_bRunning = !m_process.WaitForLine("running", kStartWait).empty();
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

CBenchGateway::CBenchGateway(const CArrivalSigns& signs, const std::string& brokerUrl) {
    m_folder.Write("signs.json", signs.SignsJson());
    const std::string mqtt =
        brokerUrl.empty() ? "" : R"(, "mqtt": {"url": ")" + brokerUrl + R"(", "prefix": "bench"})";
    const std::string config = m_folder.Write(
        "gateway.json",
        R"({"name": "bench", "http": "127.0.0.1:0", "stateDir": "state")" + mqtt + "}");
    m_process.emplace(LUMIVEX_GATEWAY_PATH, std::vector<std::string>{"--config", config},
                      std::vector<std::string>{"XDG_CONFIG_HOME=" + m_folder.Path()});
    const std::string line = m_process->WaitForLine("listening on http://", kStartWait);
    const size_t colon = line.rfind(':');
    if (colon != std::string::npos) {
        m_nPort = static_cast<uint16_t>(std::atoi(line.c_str() + colon + 1));
    }
}
