#pragma once

#include <cstdint>

// The parts of a Modbus request's PDU the server reads: its function codes and its words.

enum ModbusFunction : uint8_t {
    kReadCoils = 0x01,
    kReadHolding = 0x03,
    kReadInput = 0x04,
    kWriteCoil = 0x05,
    kWriteRegister = 0x06,
    kWriteCoils = 0x0F,
    kWriteRegisters = 0x10,
};

inline constexpr uint16_t kCoilOn = 0xFF00;
inline constexpr int kBitsPerByte = 8;

// A word as the protocol sends it, high byte first.
inline uint16_t PduWord(const uint8_t* bytes) {
    return static_cast<uint16_t>((bytes[0] << kBitsPerByte) | bytes[1]);
}
