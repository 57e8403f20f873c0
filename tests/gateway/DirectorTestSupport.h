#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "gateway/CDirector.h"
#include "gateway/GatewayRequests.h"
#include "gateway/PanelFrames.h"
#include "support/FleetTestSupport.h"

// Monday 7 December 2026, 10:00 UTC.
inline const GatewayTime kTestStart{std::chrono::sys_days{std::chrono::December / 7 / 2026} +
                                    std::chrono::hours(10)};

// A sender that keeps every send it is asked for; the test ends each as it likes.
class CRecordingSender : public ISignSender {
public:
    struct Sent {
        SendId id;
        std::string sign;
        std::string text;  // the message's words, lines joined by " / "
        Done done;
        bool cancelled = false;
        bool ended = false;
    };

    SendId Send(const NamedSign& sign, const MessageDocument& message, Done done) override {
        sent.push_back({++m_nLast, sign.name, ShownText(message).toStdString(), std::move(done)});
        return m_nLast;
    }
    void Cancel(SendId id) override {
        for (Sent& send : sent) {
            send.cancelled = send.cancelled || send.id == id;
        }
    }
    void StopAll() override {
        for (Sent& send : sent) {
            send.ended = true;
        }
    }

    // The sends not yet ended, oldest first.
    std::vector<Sent*> Running() {
        std::vector<Sent*> running;
        for (Sent& send : sent) {
            if (!send.ended) {
                running.push_back(&send);
            }
        }
        return running;
    }
    // Ends the sign's running send: cancelled when it was asked to be, else as `delivered` says.
    // The text it carried, or "" when none ran.
    std::string End(const std::string& sign, bool delivered = true) {
        for (Sent* send : Running()) {
            if (send->sign == sign) {
                SignSendResult result;
                result.name = sign;
                result.outcome.result.code = send->cancelled ? SEND_CANCELLED
                                             : delivered     ? SEND_OK
                                                             : SEND_FAILED;
                send->ended = true;
                const std::string text = send->text;
                send->done(result);
                return text;
            }
        }
        return {};
    }
    // The texts sent to the sign so far, oldest first.
    std::vector<std::string> TextsOf(const std::string& sign) const {
        std::vector<std::string> texts;
        for (const Sent& send : sent) {
            if (send.sign == sign) {
                texts.push_back(send.text);
            }
        }
        return texts;
    }

    std::vector<Sent> sent;

private:
    SendId m_nLast = 0;
};

inline MessageDocument Text(const std::string& text) {
    return PlainTextMessage(text);
}
