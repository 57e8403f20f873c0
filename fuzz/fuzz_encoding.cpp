// Any cells and any settings: the body encoder, the header and the network strings must not crash,
// and the header codes must stand in their fixed order in front of an untouched body.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>

#include "editor/BodyEncoder.h"
#include "encoding/CommandNotation.h"
#include "encoding/MessageSettings.h"
#include "setup/NetworkParams.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Consumes `prefix` from the front of `rest`; aborts when it is not there.
void Expect(std::string_view& rest, const std::string& prefix) {
    Require(rest.substr(0, prefix.size()) == prefix);
    rest.remove_prefix(prefix.size());
}

void CheckHeaderOrder(const MessageSettings& s, const std::string& body, const std::string& all) {
    std::string_view rest = all;
    if (s.address != kAddressDefault) {
        Expect(rest, "^A" + FormatDecimal(s.groupNumber, 2) + FormatDecimal(s.unitNumber, 4));
    }
    if (s.displayMode != kDisplayDoNothing) {
        Expect(rest, "^E" + FormatDecimal(int64_t{s.displayMode} - 1, 1));
    }
    if (rest.substr(0, 2) == "^L") {
        Require(rest.size() >= 3 && rest[2] >= '0' && rest[2] <= '3');
        Require(body.find("^K") != std::string::npos);
        rest.remove_prefix(3);
    }
    if (s.position == kPositionCenter) {
        Expect(rest, "^C1");
    } else if (s.position == kPositionStartingAt) {
        Expect(rest, std::string(s.clearMessageOnLine ? "^C0^H" : "^C0^M") +
                         FormatDecimal(s.line, 2) + FormatDecimal(s.column, 2));
    }
    const bool scrolls = s.effect == kEffectScrollRepeatedly || s.effect == kEffectScrollOnce;
    const char* effects[] = {"", "^B1", "^B0", "^D1", "^D0"};
    if (s.effect >= 1 && s.effect <= 4) {
        Expect(rest, effects[s.effect]);
    }
    Expect(rest, body);
    Require(rest == (scrolls ? "^N" : ""));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    MessageSettings s;
    s.address = input.ConsumeIntegralInRange<int32_t>(-1, 4);
    s.position = input.ConsumeIntegralInRange<int32_t>(-1, 3);
    s.effect = input.ConsumeIntegralInRange<int32_t>(-1, 5);
    s.displayMode = input.ConsumeIntegral<int32_t>();
    s.line = input.ConsumeIntegral<int32_t>();
    s.column = input.ConsumeIntegral<int32_t>();
    s.clearMessageOnLine = input.ConsumeBool();
    s.groupNumber = input.ConsumeIntegral<int32_t>();
    s.unitNumber = input.ConsumeIntegral<int32_t>();

    std::vector<CellLine> lines(1);
    while (input.remaining_bytes() > 0 && lines.size() < 64) {
        if (input.ConsumeIntegralInRange<int>(0, 15) == 0) {
            lines.emplace_back();
            continue;
        }
        CharCell cell;
        cell.size = input.ConsumeIntegralInRange<int32_t>(0, 6);
        cell.character = input.ConsumeIntegral<unsigned char>();
        cell.colour = input.ConsumeIntegral<uint32_t>() & 0xFFFFFF;
        cell.blink = input.ConsumeBool();
        lines.back().push_back(cell);
    }

    const std::string body = EncodeCellLines(lines);
    CheckHeaderOrder(s, body, BuildCommandString(s, body));

    CNetworkParams params(s.effect);
    params.m_nStationAddress = s.line;
    params.m_nInputSize = s.column;
    params.m_nOutputSize = s.displayMode;
    params.m_nByteOrder = s.groupNumber;
    params.m_nBaudCode = static_cast<uint8_t>(s.unitNumber);
    const std::string prefix = GetAddressPrefix(s);
    for (const std::string& text :
         {params.GetSetupString(s), params.GetLoadDefaultsString(s), params.GetDisableString(s),
          GetConfirmationString(s, s.position, s.clearMessageOnLine)}) {
        Require(text.compare(0, prefix.size(), prefix) == 0);
    }
    return 0;
}
