#pragma once

#include <cstddef>
#include <string_view>

// The codes of a command string, written by the encoders and read back by the decoders. Every code
// is a caret, its letters and, for most, zero-padded decimal digits. The caret is an ordinary byte;
// nothing is ever escaped.
inline constexpr char kCaret = '^';

// The header, in the order a message writes it.
// The address: the group, then the unit, each zero-padded to its width.
inline constexpr std::string_view kAddressCode = "^A";
inline constexpr size_t kGroupDigits = 2;
inline constexpr size_t kUnitDigits = 4;
// One digit: the display mode less one.
inline constexpr std::string_view kDisplayModeCode = "^E";
// One digit: the largest character size digit of the body, 4 counting as 3.
inline constexpr std::string_view kSizeModeCode = "^L";
inline constexpr int kMaxSizeModeDigit = 3;
// The position: centred, or from a line and column, keeping or clearing the rest of that line.
inline constexpr std::string_view kPositionCode = "^C";
inline constexpr std::string_view kCentreCode = "^C1";
inline constexpr std::string_view kStartAtCode = "^C0^M";
inline constexpr std::string_view kStartAtClearingCode = "^C0^H";
inline constexpr size_t kLineDigits = 2;
inline constexpr size_t kColumnDigits = 2;
// The effects: on blinks the whole message or scrolls it repeatedly; off turns blinking off or
// scrolls it once.
inline constexpr std::string_view kBlinkEffectCode = "^B";
inline constexpr std::string_view kScrollEffectCode = "^D";

// The body.
// One digit: the size index less one.
inline constexpr std::string_view kCharSizeCode = "^K";
inline constexpr int kMaxCharSizeDigit = 4;
inline constexpr std::string_view kColourCode = "^dC";
inline constexpr char kRedDigit = '1';
inline constexpr char kGreenDigit = '2';
inline constexpr char kYellowDigit = '3';
// One digit: on from here, or off.
inline constexpr std::string_view kBlinkCode = "^X";
// Between two lines, and after the text of a scrolling message.
inline constexpr std::string_view kLineEndCode = "^N";

// The digit of the effect and blink codes.
inline constexpr char kOnDigit = '1';
inline constexpr char kOffDigit = '0';

// A network interface string: the address, then codes of "^P", the network type's digit, a
// letter and the letter's value.
inline constexpr std::string_view kNetworkCode = "^P";
inline constexpr size_t kNetworkCodeLength = kNetworkCode.size() + 2;
// The Ethernet card's address, or the field-bus station (MAC ID, node address).
inline constexpr char kStationLetter = 'A';
inline constexpr char kMaskLetter = 'M';
inline constexpr char kGatewayLetter = 'G';
inline constexpr char kBaudLetter = 'B';
inline constexpr char kInputSizeLetter = 'R';
inline constexpr char kOutputSizeLetter = 'S';
inline constexpr char kByteOrderLetter = 'W';
inline constexpr char kLoadDefaultsLetter = 'L';
inline constexpr char kDisableLetter = 'Z';
// Each of the four numbers of a dotted address; a field-bus number; the byte order.
inline constexpr size_t kOctetDigits = 3;
inline constexpr size_t kFieldbusDigits = 3;
inline constexpr size_t kByteOrderDigits = 1;
