#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <optional>
#include <string>
#include <vector>

#include "gateway/CDirector.h"
#include "gateway/COtherSigns.h"

// The sign's state as GET /api/signs/{name} and its state topic give it: link, address, tags,
// desired message, what it shows, the last outcome and what it waits for. `shown`: what it shows
// now, values filled in, on its own model (enough for another gateway's page to draw its panel).
QJsonObject SignStateJson(const SignState& state, const std::optional<MessageDocument>& shown,
                          const std::string& gateway);

// {"key", "priority", "since", "text" (its first line's), "until" (a timed one's)}.
QJsonObject AlertJson(const Alert& alert);
// GET /api/alerts: every active alert of these signs, oldest first, each with its "sign" and
// whether it is the one "on" there.
QJsonArray AlertsJson(const std::vector<SignState>& signs);

// A panel of a card: the message it draws and FramesOf(*message).
struct CardPanel {
    std::optional<MessageDocument> message;
    int64_t frames = 0;
};
// A sign's card on the signs page: its state with what its panel shows (the frames of one cycle,
// their version, the picture's size and the text in words), and as `deliveredPanel` the same of
// what the sign last took, drawn beside what waits while a send fails.
QJsonObject CardJson(QJsonObject state, const CardPanel& shown, const CardPanel& delivered);
// The card of another gateway's sign, from the state its gateway published.
QJsonObject OtherCardJson(const std::string& name, const COtherSigns::Other* other);
// GET /api/gateways: every gateway heard on the broker, online or offline and since when (none:
// it was so before this gateway came).
QJsonArray GatewaysJson(const COtherSigns& others);
