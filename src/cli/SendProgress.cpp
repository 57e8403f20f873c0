#include "cli/SendProgress.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <ostream>

#include "transport/CCancelToken.h"

namespace {

using namespace std::chrono_literals;

// A send that takes longer than this is announced with its duration.
constexpr double kAnnounceSeconds = 5.0;
// The meter is redrawn at most this often; a terminal need not see every write.
constexpr auto kMeterInterval = 250ms;

constexpr double kSecondsPerMinute = 60.0;
constexpr double kMinutesPerHour = 60.0;
// Below these, the next larger unit would be too coarse.
constexpr double kSecondsShownUpTo = 100.0;
constexpr double kMinutesShownUpTo = 100.0;

std::atomic<CCancelToken*> g_pInterruptToken{nullptr};
volatile std::sig_atomic_t g_nInterruptSignal = 0;

extern "C" void CancelOnSignal(int signal) {
    g_nInterruptSignal = signal;
    if (CCancelToken* token = g_pInterruptToken.load()) {
        token->Cancel();  // one write to an eventfd: safe in a signal handler
    }
}

}  // namespace

std::string DurationText(double seconds) {
    if (seconds < kSecondsShownUpTo) {
        const auto whole = static_cast<long long>(std::ceil(seconds));
        return "about " + std::to_string(whole) + (whole == 1 ? " second" : " seconds");
    }
    const auto minutes = static_cast<long long>(std::round(seconds / kSecondsPerMinute));
    if (minutes < kMinutesShownUpTo) {
        return "about " + std::to_string(minutes) + " minutes";
    }
    const long long hours = minutes / static_cast<long long>(kMinutesPerHour);
    const long long rest = minutes % static_cast<long long>(kMinutesPerHour);
    return "about " + std::to_string(hours) + (hours == 1 ? " hour " : " hours ") +
           std::to_string(rest) + (rest == 1 ? " minute" : " minutes");
}

CSendProgress::CSendProgress(size_t total, const SerialLineSettings& line, std::ostream& err,
                             bool showMeter)
    : m_nTotal(total), m_line(line), m_err(err), m_bShowMeter(showMeter) {}

void CSendProgress::Update(size_t written) {
    m_nWritten = written;
    const double seconds = SecondsOnTheLine(m_nTotal, m_line);
    if (!m_bStarted) {
        m_bStarted = true;
        if (seconds <= kAnnounceSeconds) {
            m_bShowMeter = false;  // over before anyone would read it
            return;
        }
        m_err << "lumivex-cli: sending " << m_nTotal << " bytes at " << m_line.baudRate
              << " bits per second takes " << DurationText(seconds) << std::endl;
    }
    const auto now = std::chrono::steady_clock::now();
    if (m_bShowMeter && (written == m_nTotal || now - m_lastDrawn >= kMeterInterval)) {
        m_lastDrawn = now;
        Draw();
    }
}

void CSendProgress::Draw() {
    const double left = SecondsOnTheLine(m_nTotal - m_nWritten, m_line);
    const auto percent = static_cast<int>(100.0 * static_cast<double>(m_nWritten) /
                                          static_cast<double>(std::max<size_t>(m_nTotal, 1)));
    std::string text = std::to_string(m_nWritten) + " of " + std::to_string(m_nTotal) +
                       " bytes written (" + std::to_string(percent) + "%)";
    if (m_nWritten < m_nTotal) {
        text += ", " + DurationText(left) + " left";
    }
    // Spaces wipe out the rest of a longer line drawn before.
    const size_t length = text.size();
    text.append(m_nDrawnLength > length ? m_nDrawnLength - length : 0, ' ');
    m_nDrawnLength = length;
    m_err << '\r' << text << std::flush;
}

void CSendProgress::Finish() {
    if (m_bShowMeter && m_nDrawnLength > 0) {
        m_err << '\n';
        m_nDrawnLength = 0;
    }
}

CInterruptGuard::CInterruptGuard(CCancelToken& cancel) {
    g_nInterruptSignal = 0;
    g_pInterruptToken.store(&cancel);
    struct sigaction action {};
    action.sa_handler = CancelOnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &m_oldInterrupt);
    sigaction(SIGTERM, &action, &m_oldTerminate);
}

CInterruptGuard::~CInterruptGuard() {
    sigaction(SIGINT, &m_oldInterrupt, nullptr);
    sigaction(SIGTERM, &m_oldTerminate, nullptr);
    g_pInterruptToken.store(nullptr);
}

int CInterruptGuard::Signal() {
    return g_nInterruptSignal;
}
