#include "gateway/Schedules.h"

#include <algorithm>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

[[noreturn]] void Fail(size_t index, const std::string& field, const std::string& text) {
    throw CScheduleError("schedules[" + std::to_string(index) + "]." + field + ": " + text);
}

std::vector<std::string> Texts(size_t index, const QJsonValue& value, const char* field) {
    std::vector<std::string> texts;
    if (value.isUndefined()) {
        return texts;
    }
    if (!value.isArray()) {
        Fail(index, field, "must be a list of strings");
    }
    for (const QJsonValue& item : value.toArray()) {
        if (!item.isString()) {
            Fail(index, field, "must be a list of strings");
        }
        texts.push_back(item.toString().toStdString());
    }
    return texts;
}

MessageDocument RuleMessage(size_t index, const QJsonValue& value, const QString& folder) {
    try {
        if (value.isObject()) {
            return ParseMessageJson(
                QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact).toStdString());
        }
        if (value.isString() && !value.toString().isEmpty()) {
            return ReadMessageFile(QDir(folder).absoluteFilePath(value.toString()).toStdString());
        }
    } catch (const CMessageFileError& error) {
        Fail(index, "message", error.what());
    }
    Fail(index, "message",
         "must be a message object, {\"name\": ...} of a library message or the name of a message "
         "file");
}

}  // namespace

GatewaySchedules ParseSchedules(const std::string& json, const QString& folder) {
    GatewaySchedules schedules;
    if (json.empty()) {
        return schedules;
    }
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json));
    if (!document.isArray()) {
        throw CScheduleError("schedules: must be a list of rules");
    }
    const QJsonArray rules = document.array();
    for (qsizetype i = 0; i < rules.size(); ++i) {
        const auto index = static_cast<size_t>(i);
        if (!rules[i].isObject()) {
            throw CScheduleError("schedules[" + std::to_string(index) + "]: must be an object");
        }
        const QJsonObject object = rules[i].toObject();
        ScheduleRule rule;
        rule.signs = Texts(index, object.value("signs"), "signs");
        rule.tag = object.value("tag").toString().toStdString();
        if (rule.signs.empty() && rule.tag.empty()) {
            Fail(index, "signs", "a rule needs \"signs\" or \"tag\"");
        }
        const std::vector<std::string> days = Texts(index, object.value("days"), "days");
        const auto window = ParseScheduleWindow(days, object.value("from").toString().toStdString(),
                                                object.value("to").toString().toStdString());
        if (const auto* error = std::get_if<ScheduleError>(&window)) {
            Fail(index, error->field, error->text);
        }
        rule.window = std::get<ScheduleWindow>(window);
        const QJsonValue message = object.value("message");
        const QJsonObject named = message.toObject();
        if (named.size() == 1 && named.value("name").isString()) {
            // {"name": "shift-a"}: the library's message, as the library has it when shown.
            schedules.names.push_back(named.value("name").toString().toStdString());
            schedules.messages.emplace_back();
        } else {
            schedules.names.emplace_back();
            schedules.messages.push_back(RuleMessage(index, message, folder));
        }
        schedules.rules.push_back(std::move(rule));
    }
    return schedules;
}

void CheckScheduleTargets(const GatewaySchedules& schedules, const std::vector<NamedSign>& signs) {
    for (size_t i = 0; i < schedules.rules.size(); ++i) {
        const ScheduleRule& rule = schedules.rules[i];
        for (const std::string& name : rule.signs) {
            if (std::none_of(signs.begin(), signs.end(), [&](const NamedSign& sign) {
                    return SameSignName(sign.name, name);
                })) {
                Fail(i, "signs", "there is no sign named \"" + name + "\"");
            }
        }
        const bool tagged = std::any_of(signs.begin(), signs.end(), [&](const NamedSign& sign) {
            return RuleSelects(rule, {sign.name, sign.tags});
        });
        if (rule.signs.empty() && !tagged) {
            Fail(i, "tag", "no sign carries the tag \"" + rule.tag + "\"");
        }
    }
}
