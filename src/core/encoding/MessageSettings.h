#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Each enumeration is the index of an entry in one of the composer's lists, in list order. The
// fields of MessageSettings stay plain integers: a value loaded from the profile may lie outside
// the list and is encoded as it stands.
enum AddressMode : int32_t {
    kAddressBroadcast = 0,
    kAddressSpecificGroup = 1,
    kAddressSpecificUnit = 2,
    kAddressDefault = 3,
};

enum PositionMode : int32_t {
    kPositionCenter = 0,
    kPositionDefault = 1,
    kPositionStartingAt = 2,
};

enum MessageEffect : int32_t {
    kEffectDefault = 0,
    kEffectBlinkWholeMessage = 1,
    kEffectTurnOffBlinking = 2,
    kEffectScrollRepeatedly = 3,
    kEffectScrollOnce = 4,
};

enum DisplayMode : int32_t {
    kDisplayDoNothing = 0,
    kDisplayClearHome = 1,
    kDisplayClearHomeReset = 2,
    kDisplayClearCursorUnchanged = 3,
    kDisplayClearLine = 4,
};

inline constexpr std::array<std::string_view, 4> kAddressModeNames = {"BroadCast", "Specific Group",
                                                                      "Specific Unit", "Default"};
inline constexpr std::array<std::string_view, 3> kPositionModeNames = {"Center", "Default",
                                                                       "Starting at"};
inline constexpr std::array<std::string_view, 5> kMessageEffectNames = {
    "Default", "Blink whole message", "Turn Off Blinking", "Scroll Repeatedly", "Scroll once"};
inline constexpr std::array<std::string_view, 5> kDisplayModeNames = {
    "Do Nothing", "Clear Display, Home cursor", "Clear Display, Home cursor, Reset",
    "Clear Display, cursor unchanged", "Clear line. Cursor at line start"};

// The composer's choices for one message. Start-up values are the member initialisers.
struct MessageSettings {
    int32_t address = kAddressBroadcast;
    int32_t position = kPositionCenter;
    int32_t line = 1;
    int32_t column = 1;
    int32_t effect = kEffectDefault;
    int32_t signModel = 0;
    int32_t displayMode = kDisplayDoNothing;
    bool clearMessageOnLine = false;
    int32_t groupNumber = 0;
    int32_t unitNumber = 0;

    bool operator==(const MessageSettings&) const = default;
};

// The size mode code of a body: the largest size code found anywhere in it, typed characters
// included, "^K4" counting as the largest mode, 3. Empty when the body holds no size code.
std::string SizeModeCode(std::string_view body);

// Wraps a coded body in the header codes and, for the scroll effects, the scroll terminator.
// Values are encoded as they stand: nothing is validated or clamped.
std::string BuildCommandString(const MessageSettings& settings, std::string body);

// The largest group and unit numbers an address code carries (two and four digits); the page's
// lists offer fewer.
inline constexpr int32_t kMaxGroupNumber = 99;
inline constexpr int32_t kMaxUnitNumber = 9999;

// Range of the "Starting at" position, the same for every sign model.
inline constexpr int32_t kMinLine = 1;
inline constexpr int32_t kMaxLine = 4;
inline constexpr int32_t kMinColumn = 1;
inline constexpr int32_t kMaxColumn = 40;

// "Invalid Input.\nInput Range is <low>-<high>."
std::string InvalidInputMessage(int32_t low, int32_t high);

enum class PositionField { kLine, kColumn };

struct PositionProblem {
    PositionField field;
    std::string message;
};

// The composer's check of a "Starting at" position: line first, then column. Empty when both are
// in range.
std::optional<PositionProblem> CheckStartPosition(int32_t line, int32_t column);
