#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "settings/MessageFile.h"

// A scroll that takes longer than this to come round is shown in its first frames only.
inline constexpr int64_t kMaxPanelFrames = 240;

// The one home of a sign's panel as the signs page and preview.png draw it: the frames of one
// cycle of the animation, the version that names a shown message's pictures, and each picture.

// One cycle of a shown message's animation: the state before each step (a frame depends on it
// alone), and the step the animation comes round to after the last.
struct PanelCycle {
    struct State {
        int64_t scrollStep = 0;
        bool blinkOn = true;
        bool operator==(const State&) const = default;
    };
    std::vector<State> states;
    std::optional<int64_t> repeatsFrom;  // none: it does not come round within the cycle

    // The state (from 0) that frame `frame` (from 1) is drawn from.
    int64_t StateOf(int64_t frame) const;
};
PanelCycle CycleOf(const MessageDocument& shown);

// How many frames the preview steps through before the animation comes round to a frame it has
// shown with the same future (at least 1, at most kMaxPanelFrames).
int64_t FramesOf(const MessageDocument& shown);
// Names the pictures of a shown message: the page asks for frames under it, and the browser
// keeps them.
std::string PanelVersion(const MessageDocument& shown);
// Frame `frame` (from 1) as a PNG, drawn as the preview window draws it on the message's model.
QByteArray PngOfFrame(const MessageDocument& shown, int64_t frame);
// The pictures drawn for preview.png, each once per message version and frame of its cycle, so
// that any frame (frame 10000 too) is a lookup; bounded in bytes, the least used message let go
// first. From any thread.
class CPanelCache {
public:
    explicit CPanelCache(size_t maxBytes = kDefaultMaxBytes) : m_nMaxBytes(maxBytes) {}
    // `version`: PanelVersion(shown), which the caller has at hand.
    QByteArray Png(const MessageDocument& shown, const std::string& version, int64_t frame);

    static constexpr size_t kDefaultMaxBytes = 16 * 1024 * 1024;

private:
    struct Entry {
        PanelCycle cycle;
        std::map<int64_t, QByteArray> pngs;  // by state
        size_t bytes = 0;
        uint64_t used = 0;
    };
    void Trim();

    size_t m_nMaxBytes;
    std::mutex m_mutex;
    std::map<std::string, Entry> m_entries;  // by version
    size_t m_nBytes = 0;
    uint64_t m_nUse = 0;
};

// The message's text in words, its lines joined by " / ", for screen readers.
QString ShownText(const MessageDocument& shown);
