#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <string>

#include "settings/MessageFile.h"

// A scroll that takes longer than this to come round is shown in its first frames only.
inline constexpr int64_t kMaxPanelFrames = 240;

// The one home of a sign's panel as the signs page and preview.png draw it: the frames of one
// cycle of the animation, the version that names a shown message's pictures, and each picture.

// How many frames the preview steps through before the animation comes round to a frame it has
// shown with the same future (at least 1, at most kMaxPanelFrames).
int64_t FramesOf(const MessageDocument& shown);
// Names the pictures of a shown message: the page asks for frames under it, and the browser
// keeps them.
std::string PanelVersion(const MessageDocument& shown);
// Frame `frame` (from 1) as a PNG, drawn as the preview window draws it on the message's model.
QByteArray PngOfFrame(const MessageDocument& shown, int64_t frame);
// The message's text in words, its lines joined by " / ", for screen readers.
QString ShownText(const MessageDocument& shown);
