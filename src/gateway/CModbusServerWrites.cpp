// What a controller's request asks, read against the map, and the register image it writes.
#include <modbus/modbus.h>

#include "gateway/CModbusServer.h"
#include "gateway/GatewayRequests.h"
#include "gateway/ModbusPdu.h"

CModbusServer::ImageWrite CModbusServer::WriteImage(const uint8_t* pdu) {
    constexpr int kValues = 6;  // after function, address, count and byte count
    const uint16_t address = PduWord(pdu + 1);
    const uint16_t count = PduWord(pdu + 3);
    ImageWrite written;
    written.coils = pdu[0] == kWriteCoil || pdu[0] == kWriteCoils;
    written.address = address;
    const uint32_t cells = pdu[0] == kWriteCoil || pdu[0] == kWriteRegister ? 1 : count;
    const auto cell = [&](uint32_t i) -> uint16_t {
        return written.coils ? m_mapping->tab_bits[address + i]
                             : m_mapping->tab_registers[address + i];
    };
    for (uint32_t i = 0; i < cells; ++i) {
        written.before.push_back(cell(i));
    }
    switch (pdu[0]) {
        case kWriteRegister:
            m_mapping->tab_registers[address] = count;
            m_mapping->tab_input_registers[address] = count;
            break;
        case kWriteCoil:
            m_mapping->tab_bits[address] = count == kCoilOn ? 1 : 0;
            break;
        case kWriteRegisters:
            for (uint32_t i = 0; i < count; ++i) {
                const uint16_t value = PduWord(pdu + kValues + 2 * i);
                m_mapping->tab_registers[address + i] = value;
                m_mapping->tab_input_registers[address + i] = value;
            }
            break;
        case kWriteCoils:
            for (uint32_t i = 0; i < count; ++i) {
                m_mapping->tab_bits[address + i] =
                    (pdu[kValues + i / kBitsPerByte] >> (i % kBitsPerByte)) & 1;
            }
            break;
        default:
            break;
    }
    for (uint32_t i = 0; i < cells; ++i) {
        written.after.push_back(cell(i));
    }
    return written;
}

void CModbusServer::TakeBack(const ImageWrite& written) {
    std::lock_guard lock(m_mutex);
    for (size_t i = 0; i < written.after.size(); ++i) {
        // A cell another client wrote since keeps that client's value.
        const uint32_t at = written.address + i;
        if (written.coils && m_mapping->tab_bits[at] == written.after[i]) {
            m_mapping->tab_bits[at] = static_cast<uint8_t>(written.before[i]);
        } else if (!written.coils && m_mapping->tab_registers[at] == written.after[i]) {
            m_mapping->tab_registers[at] = written.before[i];
            m_mapping->tab_input_registers[at] = written.before[i];
        }
    }
}

CModbusServer::Answer CModbusServer::Read(const uint8_t* pdu, int length,
                                          std::vector<ModbusChange>& changes) {
    constexpr int kFixedPart = 5;  // function, address, count or value
    if (length < kFixedPart) {
        return Answer::kIllegalValue;
    }
    const uint16_t address = PduWord(pdu + 1);
    const uint16_t count = PduWord(pdu + 3);
    switch (pdu[0]) {
        case kReadCoils:
            if (count == 0 || count > MODBUS_MAX_READ_BITS) {
                return Answer::kIllegalValue;
            }
            return m_index.CoversCoils(address, count) ? Answer::kOk : Answer::kIllegalAddress;
        case kReadHolding:
        case kReadInput:
            if (count == 0 || count > MODBUS_MAX_READ_REGISTERS) {
                return Answer::kIllegalValue;
            }
            return m_index.CoversRegisters(address, count) ? Answer::kOk : Answer::kIllegalAddress;
        case kWriteRegister:
            return ReadRegisterWrite(address, {count}, changes);
        case kWriteCoil:
            if (count != kCoilOn && count != 0) {
                return Answer::kIllegalValue;
            }
            return ReadCoilWrite(address, {count == kCoilOn}, changes);
        case kWriteRegisters: {
            if (count == 0 || count > MODBUS_MAX_WRITE_REGISTERS || length < kFixedPart + 1 ||
                pdu[kFixedPart] != count * 2 || length < kFixedPart + 1 + count * 2) {
                return Answer::kIllegalValue;
            }
            std::vector<uint16_t> values(count);
            for (size_t i = 0; i < count; ++i) {
                values[i] = PduWord(pdu + kFixedPart + 1 + 2 * i);
            }
            return ReadRegisterWrite(address, values, changes);
        }
        case kWriteCoils: {
            const int bytes = (count + kBitsPerByte - 1) / kBitsPerByte;
            if (count == 0 || count > MODBUS_MAX_WRITE_BITS || length < kFixedPart + 1 ||
                pdu[kFixedPart] != bytes || length < kFixedPart + 1 + bytes) {
                return Answer::kIllegalValue;
            }
            std::vector<bool> values(count);
            for (size_t i = 0; i < count; ++i) {
                values[i] =
                    ((pdu[kFixedPart + 1 + i / kBitsPerByte] >> (i % kBitsPerByte)) & 1) != 0;
            }
            return ReadCoilWrite(address, values, changes);
        }
        default:
            return Answer::kIllegalFunction;
    }
}

CModbusServer::Answer CModbusServer::ReadRegisterWrite(uint16_t address,
                                                       const std::vector<uint16_t>& values,
                                                       std::vector<ModbusChange>& changes) {
    std::vector<CMapIndex::EntryWrite> written;
    switch (m_index.ReadWrite(std::span(m_mapping->tab_registers, kRegisterSpace), address, values,
                              written)) {
        case CMapIndex::Fault::kAddress:
            return Answer::kIllegalAddress;
        case CMapIndex::Fault::kValue:
            return Answer::kIllegalValue;
        case CMapIndex::Fault::kNone:
            break;
    }
    for (const CMapIndex::EntryWrite& write : written) {
        const RegisterEntry& entry = m_config.map.registers[write.entry];
        ModbusChange change;
        change.where = RegisterRange(entry);
        if (entry.type == RegisterType::kMessage) {
            change.kind = ModbusChange::Kind::kMessage;
            change.sign = entry.sign;
            change.tag = entry.tag;
            change.number = *write.decoded.message;
        } else {
            change.var = entry.var;
            change.value = write.decoded.value;
        }
        changes.push_back(std::move(change));
    }
    return Answer::kOk;
}

CModbusServer::Answer CModbusServer::ReadCoilWrite(uint16_t address,
                                                   const std::vector<bool>& values,
                                                   std::vector<ModbusChange>& changes) {
    if (!m_index.CoversCoils(address, values.size())) {
        return Answer::kIllegalAddress;
    }
    for (size_t i = 0; i < values.size(); ++i) {
        const uint32_t at = address + i;
        // A coil written as it stands changes nothing: clearing a clear one must not end
        // another's notice.
        if ((m_mapping->tab_bits[at] != 0) == values[i]) {
            continue;
        }
        ModbusChange change;
        change.kind = ModbusChange::Kind::kCoil;
        change.where = "coil " + std::to_string(at);
        change.coil = m_config.map.coils[static_cast<size_t>(m_index.CoilAt(at))];
        change.set = values[i];
        if (change.set && change.coil.messageName.empty()) {
            // A library message's name is looked up on the gateway's thread.
            auto message = ReadRequestMessage(change.coil.messageJson, "message");
            if (!message.Ok()) {
                return Answer::kIllegalValue;
            }
            change.message = message.Take();
        }
        changes.push_back(std::move(change));
    }
    return Answer::kOk;
}
