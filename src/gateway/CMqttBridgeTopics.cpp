// What comes from the broker for many signs at once, alerts and the library; and the one way out.
#include "gateway/AlertRequests.h"
#include "gateway/CGatewayCore.h"
#include "gateway/CMqttBridge.h"
#include "gateway/GatewayRequests.h"
#include "gateway/HttpRoutes.h"
#include "gateway/LibraryJson.h"

std::function<void(const GatewayResult&)> CMqttBridge::RefuseOn(const std::string& errorTopic) {
    return [this, errorTopic](const GatewayResult& result) {
        if (!result.Ok()) {
            m_core.Log().Line(m_core.Config().name,
                              "refused from the broker: " + FailureJson(result));
            Publish(errorTopic, FailureJson(result), false);
        }
    };
}

void CMqttBridge::OnTagMessage(const std::string& level, const std::string& leaf,
                               const MqttArrival& arrival) {
    SignSelection selection;
    selection.tag = level;  // said as it is when no sign carries it
    for (const auto& [escaped, tag] : m_allTags) {
        if (escaped == level) {
            selection.tag = tag;
        }
    }
    const std::string errorTopic = m_strPrefix + "/tag/" + level + "/error";
    if (leaf == "message/set") {
        OnManyMessage(selection, errorTopic, arrival);
    } else if (leaf.rfind(kAlertLeaf, 0) == 0) {
        OnAlert(selection, leaf.substr(kAlertLeaf.size()), arrival,
                Audit(leaf, "tag " + *selection.tag, arrival, RefuseOn(errorTopic)));
    }
}

void CMqttBridge::OnManyMessage(const SignSelection& selection, const std::string& errorTopic,
                                const MqttArrival& arrival) {
    if (arrival.payload.empty()) {
        return;
    }
    if (arrival.retained) {
        // A send to many is for the moment it is asked: each sign's own set topic keeps the
        // outcome.
        m_core.Log().Line(m_core.Config().name, "retained send to many signs left out");
        return;
    }
    const auto done = Audit("message/set", selection.tag ? "tag " + *selection.tag : "all", arrival,
                            RefuseOn(errorTopic));
    if (arrival.payload.size() > kMaxRequestBody) {
        done(GatewayResult{ResultKind::kTooLarge, "", "the payload is larger than 1 MiB"});
        return;
    }
    const Result<SetPayload> set = ReadSetPayload(arrival.payload);
    if (!set.Ok()) {
        done(set.Failure());
        return;
    }
    m_core.Commands().SendToSelection(
        selection, set.Value().play, Origin::kBroker,
        [done](const Result<std::vector<CCommands::SignAnswer>>& answer) {
            done(answer.Ok() ? GatewayResult{} : answer.Failure());
        });
}

CMqttBridge::Reply CMqttBridge::Audit(const std::string& leaf, const std::string& target,
                                      const MqttArrival& arrival, Reply reply) {
    // What the broker keeps comes again at each connect: it was recorded as it first came.
    return arrival.retained
               ? reply
               : Audited(m_core.Audit(),
                         {Role::kNone, m_core.Config().mqtt.url, Origin::kBroker, leaf, target,
                          CutShort(arrival.payload, kAuditSummaryBytes), false, ""},
                         std::move(reply));
}

void CMqttBridge::OnAlert(const SignSelection& selection, const std::string& key,
                          const MqttArrival& arrival,
                          const std::function<void(const GatewayResult&)>& answer) {
    std::optional<AlertRequest> alert;
    if (arrival.payload.size() > kMaxRequestBody) {
        answer(GatewayResult{ResultKind::kTooLarge, "", "the payload is larger than 1 MiB"});
        return;
    }
    if (!arrival.payload.empty()) {
        Result<AlertRequest> read = ReadAlertPayload(arrival.payload);
        if (!read.Ok()) {
            answer(read.Failure());
            return;
        }
        if (arrival.retained && read.Value().seconds) {
            // A timed alert is for the moment it is sent: kept by the broker, it would come back
            // at every start and reconnect. A held one raised again keeps its place.
            m_core.Log().Line(m_core.Config().name, "retained timed alert " + key + " left out");
            return;
        }
        alert = read.Take();
    }
    m_core.Commands().AlertOnSelection(
        selection, key, alert, Origin::kBroker,
        [answer](const Result<std::vector<CCommands::SignAnswer>>& answers) {
            answer(answers.Ok() ? GatewayResult{} : answers.Failure());
        });
}

void CMqttBridge::OnLibraryMessage(const std::string& name, const MqttArrival& arrival) {
    const auto refuse = Audit(
        "messages/set", name, arrival,
        RefuseOn(m_strPrefix + "/" + std::string(kLibraryTopicLevel) + "/" + name + "/error"));
    if (arrival.payload.empty()) {
        m_core.Commands().RemoveLibraryMessage(name, Origin::kBroker, refuse);
        return;
    }
    if (arrival.payload.size() > kMaxRequestBody) {
        refuse(GatewayResult{ResultKind::kTooLarge, "", "the payload is larger than 1 MiB"});
        return;
    }
    const Result<LibraryMessage> message = ReadLibraryMessage(arrival.payload, name);
    if (!message.Ok()) {
        refuse(message.Failure());
        return;
    }
    m_core.Commands().PutLibraryMessage(message.Value(), Origin::kBroker, refuse);
}

void CMqttBridge::Publish(const std::string& topic, const std::string& payload, bool retained) {
    if (m_outbox) {
        m_outbox->Post({topic, payload, retained});
    }
}
