// Reading command strings back. Any bytes: the decoder must end, place every warning inside the
// input and give a message whose choices survive being encoded and read again. A message the
// encoders could write: reading its string gives it back, and encoding that gives the same bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>

#include "decoding/CommandDecoder.h"
#include "editor/BodyEncoder.h"
#include "encoding/MessageSettings.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

constexpr Rgb kColours[] = {kRed, kYellow, kGreen};

bool StartsBodyCode(unsigned char c) {
    return c == 'K' || c == 'd' || c == 'X' || c == 'N';
}

void CheckAnyBytes(const std::string& bytes) {
    const DecodedCommand decoded = DecodeCommandString(bytes);
    for (const DecodeWarning& warning : decoded.warnings) {
        Require(warning.offset <= bytes.size());
    }
    const auto* message = std::get_if<DecodedMessage>(&decoded.content);
    if (message == nullptr) {
        return;
    }
    Require(!message->lines.empty());
    const std::string again =
        BuildCommandString(message->settings, EncodeCellLines(message->lines));
    const DecodedCommand reread = DecodeCommandString(again);
    const auto* second = std::get_if<DecodedMessage>(&reread.content);
    Require(second != nullptr && second->settings == message->settings);
}

void CheckEncodedMessage(FuzzedDataProvider& input) {
    MessageSettings s;
    s.address = input.ConsumeIntegralInRange<int32_t>(0, 3);
    s.groupNumber = input.ConsumeIntegralInRange<int32_t>(0, 99);
    s.unitNumber = input.ConsumeIntegralInRange<int32_t>(0, 9999);
    s.displayMode = input.ConsumeIntegralInRange<int32_t>(0, 4);
    s.position = input.ConsumeIntegralInRange<int32_t>(0, 2);
    s.line = input.ConsumeIntegralInRange<int32_t>(1, 4);
    s.column = input.ConsumeIntegralInRange<int32_t>(1, 40);
    s.clearMessageOnLine = input.ConsumeBool();
    s.effect = input.ConsumeIntegralInRange<int32_t>(0, 4);

    std::vector<CellLine> lines(1);
    while (input.remaining_bytes() > 0 && lines.size() < 64) {
        if (input.ConsumeIntegralInRange<int>(0, 15) == 0) {
            lines.emplace_back();
            continue;
        }
        CharCell cell;
        cell.size = input.ConsumeIntegralInRange<int32_t>(kMinSizeIndex, kMaxSizeIndex);
        cell.character = input.ConsumeIntegral<unsigned char>();
        cell.colour = kColours[input.ConsumeIntegralInRange<int>(0, 2)];
        cell.blink = input.ConsumeBool();
        // A typed caret before a body code's letter is a code to every reader, the sign included.
        if (!lines.back().empty() && lines.back().back().character == '^' &&
            StartsBodyCode(cell.character)) {
            continue;
        }
        lines.back().push_back(cell);
    }

    const std::string bytes = BuildCommandString(s, EncodeCellLines(lines));
    const DecodedCommand decoded = DecodeCommandString(bytes);
    const auto* message = std::get_if<DecodedMessage>(&decoded.content);
    Require(message != nullptr);
    Require(message->lines == lines);
    Require(message->settings.effect == s.effect && message->settings.position == s.position &&
            message->settings.displayMode == s.displayMode);
    Require((message->settings.address == kAddressDefault) == (s.address == kAddressDefault));
    Require(BuildCommandString(message->settings, EncodeCellLines(message->lines)) == bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    if (data[0] % 2 == 0) {
        CheckAnyBytes(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    } else {
        FuzzedDataProvider input(data + 1, size - 1);
        CheckEncodedMessage(input);
    }
    return 0;
}
