#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A program the test starts, with its standard output and error read line by line as they come.
class CChildProcess {
public:
    CChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                  const std::vector<std::string>& environment = {});
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    bool Running() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }
    // Waits for a line that holds `text`, looking only after the line the last wait found; the
    // whole line, or "" when none came within the tests' bound or the program ended.
    std::string WaitForLine(const std::string& text);
    // Every line so far.
    std::vector<std::string> Lines();
    // Sends the signal and waits for the program to end; its exit status, or -signal.
    int Signal(int signal);
    // Waits for the program to end without asking it to; its exit status.
    int Wait();

private:
    pid_t m_pid = -1;
    int m_nErr = -1;
    int m_nStatus = 0;
    std::thread m_reader;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_lines;
    size_t m_nSeen = 0;  // lines before this one were looked at by a wait that found its line
    bool m_bEnded = false;
};

// A folder of the test's own, removed with it.
class CTempFolder {
public:
    CTempFolder();
    ~CTempFolder();
    const std::string& Path() const { return m_strPath; }
    // Writes a file in it and gives its path.
    std::string Write(const std::string& name, const std::string& bytes) const;

private:
    std::string m_strPath;
};

// The gateway built with the tests.
class CGatewayProcess {
public:
    // Starts lumivex-gateway on the configuration and waits until it listens.
    explicit CGatewayProcess(const std::string& configPath);
    bool Listening() const { return m_nPort != 0; }
    uint16_t Port() const { return m_nPort; }
    CChildProcess& Process() { return m_process; }

private:
    CChildProcess m_process;
    uint16_t m_nPort = 0;
};
