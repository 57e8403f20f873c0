#include "fleet/CSendPlan.h"

#include <cerrno>
#include <map>
#include <utility>

#include "editor/BodyEncoder.h"
#include "transport/CSerialPort.h"
#include "transport/CTcpSendLoop.h"
#include "transport/SerialDevices.h"

namespace {

using Clock = std::chrono::steady_clock;

// The plan's sends by link, each link's in the plan's order, the links in order of first use.
std::vector<std::vector<size_t>> GroupByLink(const std::vector<SignSend>& sends) {
    std::vector<std::vector<size_t>> groups;
    std::map<std::string, size_t> groupOfLink;
    for (size_t i = 0; i < sends.size(); ++i) {
        const auto [found, added] = groupOfLink.emplace(sends[i].endpoint.LinkKey(), groups.size());
        if (added) {
            groups.emplace_back();
        }
        groups[found->second].push_back(i);
    }
    return groups;
}

}  // namespace

std::vector<SignSend> SignSendsForMessage(const std::vector<NamedSign>& signs,
                                          const MessageDocument& message,
                                          const ComDeviceResolver& resolve) {
    const std::string body = EncodeCellLines(message.lines);
    std::vector<SignSend> sends;
    sends.reserve(signs.size());
    for (const NamedSign& sign : signs) {
        sends.push_back({sign.name, ResolveSignEndpoint(sign, resolve),
                         BuildCommandString(SettingsForSign(message.settings, sign), body)});
    }
    return sends;
}

std::vector<SignSend> SignSendsForString(const std::vector<NamedSign>& signs,
                                         const std::string& bytes,
                                         const ComDeviceResolver& resolve) {
    std::vector<SignSend> sends;
    sends.reserve(signs.size());
    for (const NamedSign& sign : signs) {
        sends.push_back({sign.name, ResolveSignEndpoint(sign, resolve), bytes});
    }
    return sends;
}

CSendPlan::CSendPlan(std::vector<SignSend> sends, SendPlanOptions options)
    : m_sends(std::move(sends)), m_options(options) {
    m_results.reserve(m_sends.size());
    for (size_t i = 0; i < m_sends.size(); ++i) {
        m_results.push_back(NewResult(i));
    }
}

CSendPlan::~CSendPlan() {
    Cancel();
    Wait();
}

void CSendPlan::Start(ResultCallback onResult) {
    if (m_bStarted) {
        return;
    }
    m_bStarted = true;
    m_onResult = std::move(onResult);
    for (std::vector<size_t>& group : GroupByLink(m_sends)) {
        if (m_sends[group.front()].endpoint.overTcp) {
            m_tcpLinks.push_back(std::move(group));
        } else {
            m_threads.emplace_back([this, members = std::move(group)] { RunSerialLine(members); });
        }
    }
    m_nTcpLinksLeft = m_tcpLinks.size();
    for (size_t link = 0; link < m_tcpLinks.size(); ++link) {
        StartTcpTurn(link, 0);
    }
}

const std::vector<SignSendResult>& CSendPlan::Wait() {
    for (std::thread& thread : m_threads) {
        thread.join();
    }
    m_threads.clear();
    std::unique_lock lock(m_mutex);
    m_tcpLinksEnded.wait(lock, [this] { return m_nTcpLinksLeft == 0; });
    return m_results;
}

SignSendResult CSendPlan::NewResult(size_t index) const {
    SignSendResult result;
    result.index = index;
    result.name = m_sends[index].name;
    result.bytes = m_sends[index].bytes.size();
    result.outcome = m_sends[index].endpoint.BlankOutcome();
    result.outcome.result = {SEND_CANCELLED, 0, {}};
    return result;
}

void CSendPlan::Report(SignSendResult result, Clock::time_point start) {
    if (result.started) {
        result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    }
    const size_t index = result.index;
    const std::lock_guard lock(m_mutex);
    m_results[index] = std::move(result);
    if (m_onResult) {
        m_onResult(m_results[index]);
    }
}

void CSendPlan::RunSerialLine(const std::vector<size_t>& members) {
    CSerialPort port(m_options.serialDeadline);
    bool lineBusy = false;  // a string has just gone out on the line
    for (size_t k = 0; k < members.size(); ++k) {
        SignSendResult result = NewResult(members[k]);
        const SignEndpoint& endpoint = m_sends[members[k]].endpoint;
        // The line stays quiet a while after a string, so that the signs on it tell it from the
        // next one.
        const bool stopped =
            m_cancel.Cancelled() ||
            (lineBusy && WaitForFd(-1, 0, static_cast<int>(m_options.serialGap.count()),
                                   &m_cancel) == WaitResult::kCancelled);
        const Clock::time_point start = Clock::now();
        if (stopped) {
            Report(std::move(result), start);
            continue;
        }
        result.started = true;
        LinkResult& link = result.outcome.result;
        link = port.IsOpen() ? LinkResult{} : port.Open(endpoint.devicePath, endpoint.line);
        if (link.Ok()) {
            link = port.WriteAndKeepOpen(m_sends[members[k]].bytes, &m_cancel);
        }
        lineBusy = link.Ok();
        // The next sign at another rate needs the port opened anew.
        const bool lastOfOpening =
            k + 1 == members.size() ||
            m_sends[members[k + 1]].endpoint.line.baudRate != endpoint.line.baudRate;
        if (link.Ok() && lastOfOpening) {
            link = port.Release();
        }
        if (link.code == SEND_SYSTEM_ERROR && link.error == EACCES) {
            result.outcome.deviceGroup = FileGroupName(endpoint.devicePath);
        }
        Report(std::move(result), start);
    }
}

void CSendPlan::StartTcpTurn(size_t link, size_t k) {
    const std::vector<size_t>& members = m_tcpLinks[link];
    if (k < members.size() && m_cancel.Cancelled()) {
        for (; k < members.size(); ++k) {
            Report(NewResult(members[k]), Clock::now());
        }
    }
    if (k == members.size()) {
        TcpLinkDone();
        return;
    }
    const size_t index = members[k];
    const SignEndpoint& endpoint = m_sends[index].endpoint;
    // Unlike the program's single send, it waits after the last byte for the sign to close its
    // end, so that a sign that resets the connection or never reads is not called delivered.
    TcpSendRequest request{endpoint.host, endpoint.port, m_sends[index].bytes,
                           m_options.signCloseWait};
    const Clock::time_point start = Clock::now();
    CTcpSendLoop::Shared().Start(
        std::move(request), &m_cancel, [this, link, k, index, start](const CTcpSend& send) {
            SignSendResult result = NewResult(index);
            result.started = true;
            result.outcome.result = send.Result();
            result.outcome.confirmed = send.Result().Ok() && send.SignConfirmed();
            Report(std::move(result), start);
            StartTcpTurn(link, k + 1);
        });
}

void CSendPlan::TcpLinkDone() {
    // Told under the lock: once Wait sees the count at 0 the plan may go at once.
    const std::lock_guard lock(m_mutex);
    --m_nTcpLinksLeft;
    m_tcpLinksEnded.notify_all();
}
