#include "GatewayProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/SendTestSupport.h"

extern char** environ;

CChildProcess::CChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                             const std::vector<std::string>& environment) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return;
    }
    std::vector<std::string> argumentTexts{program};
    argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : argumentTexts) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> environmentTexts;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        environmentTexts.emplace_back(*entry);
    }
    environmentTexts.insert(environmentTexts.end(), environment.begin(), environment.end());
    std::vector<char*> envp;
    for (std::string& text : environmentTexts) {
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
    m_nErr = pipeEnds[0];
    m_reader = std::thread([this] {
        std::string pending;
        char buffer[4096];
        for (;;) {
            const ssize_t n = read(m_nErr, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            pending.append(buffer, static_cast<size_t>(n));
            size_t end;
            while ((end = pending.find('\n')) != std::string::npos) {
                const std::lock_guard lock(m_mutex);
                m_lines.push_back(pending.substr(0, end));
                pending.erase(0, end + 1);
                m_changed.notify_all();
            }
        }
        const std::lock_guard lock(m_mutex);
        m_bEnded = true;
        m_changed.notify_all();
    });
}

CChildProcess::~CChildProcess() {
    if (m_pid > 0) {
        Signal(SIGKILL);
    }
    if (m_reader.joinable()) {
        m_reader.join();
    }
    close(m_nErr);
}

std::string CChildProcess::WaitForLine(const std::string& text) {
    std::unique_lock lock(m_mutex);
    size_t seen = m_nSeen;
    std::string found;
    m_changed.wait_for(lock, std::chrono::milliseconds(kTestWaitMs), [&] {
        for (; seen < m_lines.size(); ++seen) {
            if (m_lines[seen].find(text) != std::string::npos) {
                found = m_lines[seen];
                m_nSeen = seen + 1;
                return true;
            }
        }
        return m_bEnded;
    });
    return found;
}

std::vector<std::string> CChildProcess::Lines() {
    const std::lock_guard lock(m_mutex);
    return m_lines;
}

int CChildProcess::Signal(int signal) {
    if (m_pid <= 0) {
        return m_nStatus;
    }
    kill(m_pid, signal);
    return Wait();
}

int CChildProcess::Wait() {
    if (m_pid <= 0) {
        return m_nStatus;
    }
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    m_nStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    if (m_reader.joinable()) {
        m_reader.join();
    }
    return m_nStatus;
}

CTempFolder::CTempFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "lumivex-gateway-XXXXXX").string();
    m_strPath = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

CTempFolder::~CTempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_strPath, ignored);
}

std::string CTempFolder::Write(const std::string& name, const std::string& bytes) const {
    const std::string path = m_strPath + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

CGatewayProcess::CGatewayProcess(const std::string& configPath)
    : m_process(LUMIVEX_GATEWAY_PATH, {"--config", configPath}) {
    const std::string line = m_process.WaitForLine("listening on http://");
    const size_t colon = line.rfind(':');
    if (colon != std::string::npos) {
        m_nPort = static_cast<uint16_t>(std::atoi(line.c_str() + colon + 1));
    }
}
