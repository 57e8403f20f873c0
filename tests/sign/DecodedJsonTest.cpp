// What a command string is read back as, in the JSON that lumivex-cli decode prints and encode
// reads; the commands themselves are run in tests/cli.
#include <gtest/gtest.h>

#include <string>

#include "decoding/CommandDecoder.h"
#include "editor/BodyEncoder.h"
#include "settings/MessageFile.h"
#include "sign/MessageJsonWriter.h"

namespace {

std::string Encode(const std::string& json) {
    const MessageDocument message = ParseMessageJson(json);
    return BuildCommandString(message.settings, EncodeCellLines(message.lines));
}

std::string Decode(const std::string& bytes) {
    return WriteDecodedJson(DecodeCommandString(bytes));
}

TEST(DecodedJsonTest, EncodeDecodeEncodeGivesTheSameBytes) {
    const char* messages[] = {
        R"({})",
        R"({"address":"default","position":"default","lines":["HELLO"]})",
        R"({"address":"broadcast","group":2,"unit":7,"displayMode":"clear-line",
            "position":"start","line":4,"column":40,"effect":"scroll",
            "lines":["A","",[{"text":"big","size":5,"color":"yellow","blink":true}]]})",
        R"({"address":"group","group":99,"unit":9999,"displayMode":"clear","position":"start",
            "clearLine":true,"effect":"blink","lines":[[{"text":"a^b","color":"green"},
            {"text":"\u20ac\u00e9\u0001\"\\","size":3,"color":"red"},{"text":"x","size":4}]]})",
        R"({"effect":"scroll-once","lines":["typed ^C1, ^A01 and ^P1Z stay text",""]})",
        R"({"displayMode":"clear-home-reset","effect":"blink-off","lines":[]})",
    };
    for (const char* json : messages) {
        const std::string bytes = Encode(json);
        const std::string decoded = Decode(bytes);
        EXPECT_EQ(Encode(decoded), bytes) << json << "\nread as " << decoded;
    }
}

TEST(DecodedJsonTest, WritesTheMessageAndNetworkJson) {
    const struct {
        const char* name;
        std::string bytes;
        std::string json;
    } cases[] = {
        {"every header field", "^A010005^E0^L1^C0^H0203^D0^K1^dC2AB^N^K1^dC3^X1Q^N",
         R"({"address":"unit","group":1,"unit":5,"displayMode":"clear-home","position":"start",)"
         R"("line":2,"column":3,"clearLine":true,"effect":"scroll-once","lines":[)"
         R"([{"text":"AB","size":2,"color":"green","blink":false}],)"
         R"([{"text":"Q","size":2,"color":"yellow","blink":true}]]})"},
        {"runs of equal attributes merged", "^L1^K0^dC1AB^K0C^K1D",
         R"({"address":"default","displayMode":"none","position":"default","effect":"default",)"
         R"("lines":[[{"text":"ABC","size":1,"color":"red","blink":false},)"
         R"({"text":"D","size":2,"color":"red","blink":false}]]})"},
        {"windows-1252 text", "^L0^C1^K0^dC1\x80\xe9",
         R"({"address":"default","displayMode":"none","position":"center","effect":"default",)"
         R"("lines":[")"
         "\u20ac\u00e9"
         R"("]})"},
        {"empty string", "",
         R"({"address":"default","displayMode":"none","position":"default","effect":"default",)"
         R"("lines":[""]})"},
        // The names of lumivex-cli network's options.
        {"ethernet", "^A010003^P1A010.001.200.007^P1M255.255.000.000^P1G010.001.000.254",
         R"({"action":"setup","type":"ethernet","group":1,"unit":3,"ip":"10.1.200.7",)"
         R"("mask":"255.255.0.0","gateway":"10.1.0.254"})"},
        {"devicenet", "^A020005^P2A063^P2B500^P2R120^P2S002^P2W3",
         R"({"action":"setup","type":"devicenet","group":2,"unit":5,"station":63,"baud":500,)"
         R"("input":120,"output":2,"byte-order":3})"},
        {"profibus", "^A000000^P3A125^P3R001^P3S002^P3W2",
         R"({"action":"setup","type":"profibus","group":0,"unit":0,"station":125,"input":1,)"
         R"("output":2,"byte-order":2})"},
        {"defaults", "^A020008^P3L",
         R"({"action":"defaults","type":"profibus","group":2,"unit":8})"},
        {"disable", "^A000000^P2Z",
         R"({"action":"disable","type":"devicenet","group":0,"unit":0})"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(QString::fromStdString(Decode(c.bytes)), QString::fromStdString(c.json))
            << c.name;
    }
}

}  // namespace
