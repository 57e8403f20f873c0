#pragma once

#include <QString>
#include <stdexcept>
#include <string>
#include <vector>

#include "automation/ScheduleRule.h"
#include "settings/MessageFile.h"
#include "settings/SignsFile.h"

// Why signs.json's "schedules" cannot be used: the rule's field and what it needs.
class CScheduleError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The rules of signs.json's "schedules", each with the message it shows.
struct GatewaySchedules {
    std::vector<ScheduleRule> rules;
    std::vector<MessageDocument> messages;  // one a rule
    std::vector<std::string> names;         // one a rule: the library message it shows; "" none
};

// Reads the "schedules" array as the signs file keeps it; a rule's "message" is a message object,
// {"name": "shift-a"} of a library message, or the name of a message file, read relative to
// `folder`. Throws CScheduleError
// "schedules[1].from: ...".
GatewaySchedules ParseSchedules(const std::string& json, const QString& folder);

// Every sign a rule names is in signs.json, and some sign carries each rule's tag. Throws
// CScheduleError "schedules[1].tag: ...".
void CheckScheduleTargets(const GatewaySchedules& schedules, const std::vector<NamedSign>& signs);
