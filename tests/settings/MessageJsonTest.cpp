// The message JSON reader and the command string it gives, by direct calls: 'lumivex-cli encode'
// and the Messages page's files read the same way.
#include <gtest/gtest.h>

#include <string>

#include "editor/BodyEncoder.h"
#include "encoding/MessageSettings.h"
#include "settings/MessageFile.h"

namespace {

TEST(MessageJsonTest, ReadsToTheCommandString) {
    const struct {
        const char* name;
        std::string json;
        std::string expected;
    } cases[] = {
        {"default address and position",
         R"({"address":"default","position":"default","lines":["HELLO"]})", "^L0^K0^dC1HELLO"},
        {"all nothing, empty lines",
         R"({"address":"default","position":"default","effect":"default","displayMode":"none",
             "lines":[]})",
         ""},
        {"line break inside a text", R"({"address":"default","position":"default",
             "lines":["A\nB"]})",
         "^L0^K0^dC1A^N^K0^dC1B"},
        {"trailing line break", R"({"address":"default","position":"default","lines":["AB\n"]})",
         "^L0^K0^dC1AB^N"},
        {"custom colour is red", R"({"address":"default","position":"default",
             "lines":[[{"text":"A","color":"#0000ff"},{"text":"B","color":"#FFFF00"}]]})",
         "^L0^K0^dC1A^dC3B"},
        {"every display mode and effect", R"({"address":"broadcast","group":2,"unit":7,
             "displayMode":"clear-line","position":"center","effect":"blink-off"})",
         "^A020007^E3^C1^B0"},
        {"scroll with two lines", R"({"address":"group","group":2,"position":"start","line":4,
             "column":40,"effect":"scroll","lines":["A","B"]})",
         "^A020000^L0^C0^M0440^D1^K0^dC1A^N^K0^dC1B^N"},
        {"line out of range ignored unless starting at",
         R"({"position":"center","line":9,"column":99})", "^A000000^C1"},
        {"starting at, line kept", R"({"position":"start","line":2,"column":13})",
         "^A000000^C0^M0213"},
        {"starting at, line cleared",
         R"({"position":"start","line":2,"column":13,"clearLine":true})", "^A000000^C0^H0213"},
        {"first position", R"({"address":"default","position":"start","line":1,"column":1})",
         "^C0^M0101"},
        {"center ignores the clear flag", R"({"clearLine":true,"effect":"blink"})",
         "^A000000^C1^B1"},
        {"largest size sets the mode", R"({"address":"default","position":"default",
             "lines":[[{"text":"a"},{"text":"b","size":3}]]})",
         "^L2^K0^dC1a^K2b"},
        {"fifth size counts as the largest mode", R"({"address":"default","position":"default",
             "lines":[[{"text":"a","size":5}]]})",
         "^L3^K4^dC1a"},
        {"typed size code counts", R"({"address":"default","position":"default",
             "lines":["^K3"]})",
         "^L3^K0^dC1^K3"},
    };
    for (const auto& c : cases) {
        try {
            const MessageDocument message = ParseMessageJson(c.json);
            EXPECT_FALSE(message.unencodable) << c.name;
            EXPECT_EQ(BuildCommandString(message.settings, EncodeCellLines(message.lines)),
                      c.expected)
                << c.name;
        } catch (const CMessageFileError& error) {
            ADD_FAILURE() << c.name << ": " << error.what();
        }
    }
}

TEST(MessageJsonTest, RefusesWhatIsNotAMessage) {
    const struct {
        const char* name;
        std::string json;
        std::string errorContains;
    } cases[] = {
        {"not json", "{nope", "not valid JSON"},
        {"not an object", "[1]", "must be a JSON object"},
        {"unknown field", R"({"colour":"red"})", "unknown field \"colour\""},
        {"unknown value", R"({"address":"all"})", "\"address\" must be"},
        {"string", "\"x\"", "the message must be a JSON object"},
        {"wrong type", R"({"group":[1]})", "\"group\" must be a whole number, not an array"},
        {"number as a string", R"({"line":"3"})", "\"line\" must be a whole number, not \"3\""},
        {"group out of range", R"({"group":100})", "from 0 to 99"},
        {"unit out of range", R"({"unit":-1})", "from 0 to 9999"},
        {"fractional", R"({"unit":1.5})", "\"unit\" must be a whole number, not 1.5"},
        {"sign model", R"({"signModel":14})", "\"signModel\""},
        {"bool", R"({"clearLine":1})", "\"clearLine\" must be true or false, not 1"},
        {"choice type", R"({"effect":null})", "\"scroll-once\", not null"},
        {"lines type", R"({"lines":"A"})", "\"lines\" must be an array"},
        {"line type", R"({"lines":[5]})", "\"lines[0]\""},
        {"run type", R"({"lines":[["A"]]})", "\"lines[0][0]\""},
        {"run field", R"({"lines":[[{"text":"A","font":1}]]})", "unknown field \"font\""},
        {"run size", R"({"lines":[[{"text":"A","size":6}]]})", "lines[0][0].size"},
        {"run colour", R"({"lines":[[{"text":"A","color":"blue"}]]})", "lines[0][0].color"},
        {"short hex", R"({"lines":[[{"text":"A","color":"#fff"}]]})", "#rrggbb"},
    };
    for (const auto& c : cases) {
        try {
            ParseMessageJson(c.json);
            ADD_FAILURE() << c.name << ": read";
        } catch (const CMessageFileError& error) {
            EXPECT_NE(std::string(error.what()).find(c.errorContains), std::string::npos)
                << c.name << ": " << error.what();
        }
    }
}

}  // namespace
