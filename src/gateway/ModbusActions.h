#pragma once

#include <QJsonObject>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "gateway/CDirector.h"
#include "gateway/GatewayResult.h"
#include "modbus/RegisterMap.h"
#include "settings/MessageFile.h"

class CGatewayCore;

// What a controller's write asks of the gateway, once the map has read it: made on the Modbus
// thread, carried out on the gateway's through the commands.
struct ModbusChange {
    enum class Kind { kValue, kMessage, kCoil };
    Kind kind = Kind::kValue;
    std::string where;   // "register 0-1", "coil 3"
    std::string source;  // the controller's address; empty when polled (not audited)
    std::string var;     // kValue
    std::string value;
    std::string sign;  // kMessage: a sign, or the signs of a tag
    std::string tag;
    uint16_t number = 0;                     // kMessage: of a library message; 0: nothing shown
    std::optional<MessageDocument> message;  // kCoil: its own message, or
    std::string library;  // the library message it shows, by name: found on the gateway's thread
    CoilEntry coil;       // kCoil
    bool set = false;
};

// What the Modbus side adds to a sign's state: the register that last changed it, and since
// when the values it shows are stale. On the gateway's thread.
class CModbusStatus {
public:
    explicit CModbusStatus(CGatewayCore& core);

    // The register changed the sign (or, for a value, every sign that shows it).
    void Changed(const ModbusChange& change);
    // A polled controller stopped answering: the signs showing its values say so.
    void Stale(const std::vector<std::string>& vars);
    void Fresh(const std::vector<std::string>& vars);
    // "modbusRegister", "stale" ("stale since 10:42:07") and "staleSince" of the sign's state.
    void AddTo(const SignState& state, QJsonObject& object) const;

private:
    void Republish(const std::string& var);

    CGatewayCore& m_core;
    std::map<std::string, std::string> m_register;    // by sign
    std::map<std::string, GatewayTime> m_staleSince;  // by variable
};

// Carries out the changes of one write in order through the commands, as from Modbus; `done`
// gets the first failure, or success once every one is kept. A library message that a number or
// a coil names and the library does not hold refuses the whole write (kRefused) before any of it
// is carried out.
void ApplyModbusChanges(CGatewayCore& core, CModbusStatus& status,
                        std::vector<ModbusChange> changes,
                        std::function<void(const GatewayResult&)> done);
