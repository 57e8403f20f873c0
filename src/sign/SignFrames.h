#pragma once

#include <QString>
#include <cstdint>

#include "decoding/CommandDecoder.h"

// A message scrolling on a narrow sign may take many steps to come round; beyond this the frames
// of one message stop.
inline constexpr int64_t kMaxFramesPerMessage = 1000;

struct FramesWritten {
    int64_t count = 0;
    bool cut = false;    // the cycle is longer than kMaxFramesPerMessage
    QString failedFile;  // set when a frame could not be written; writing stopped there
};

// Writes one whole cycle of the message's animation on the sign model, as a freshly opened preview
// draws it (the first frame in the blink phase's off half), to folder/msg-NNNN-frame-NNN.png: every
// blink phase and scroll step once, until the animation comes back to a frame it has shown with
// the same future.
FramesWritten WriteMessageFrames(const DecodedMessage& message, int32_t modelIndex,
                                 const QString& folder, int64_t messageNumber);
