#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "editor/CharCell.h"
#include "encoding/MessageSettings.h"

// A message as a JSON file: the composer's choices and the formatted text. The program opens and
// saves these files; lumivex-cli encodes and previews them. One reader and one writer for both.

// Why a message could not be read or written, in the words lumivex-cli prints after its name.
class CMessageFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The first character of a text that the sign gets as "?", and the message line it stands on.
struct UnencodableAt {
    std::string character;  // its UTF-8 bytes
    char32_t codePoint = 0;
    bool malformed = false;  // a byte that is not UTF-8
    size_t line = 1;         // from 1

    bool operator==(const UnencodableAt&) const = default;
};

// Finds it in UTF-8 text whose first line is `firstLine`; a line break is LF, CR LF or CR.
std::optional<UnencodableAt> FindUnencodableAt(std::string_view utf8, size_t firstLine = 1);

struct MessageDocument {
    MessageSettings settings;
    std::vector<CellLine> lines{CellLine{}};   // the empty editor holds one empty line
    std::optional<UnencodableAt> unencodable;  // the first text character the sign gets as "?"

    bool operator==(const MessageDocument&) const = default;
};

// Reads the message JSON; every field is optional and takes the start-up value when absent.
// Unknown fields, wrong types, values out of range and malformed JSON throw CMessageFileError
// naming the field, what it accepts and what it was given. The position is not checked here:
// the composer checks it when it builds a command string.
MessageDocument ParseMessageJson(std::string_view json);
// The same reading of a JSON object already parsed, for a message inside a larger document.
MessageDocument MessageFromJsonObject(const QJsonObject& object);

// The bytes of a file, or of a stream already open under a name shown in the error. Failure:
// CMessageFileError "cannot read NAME: reason".
std::string ReadFileBytes(const std::string& path);
std::string ReadStreamBytes(std::FILE* stream, const std::string& shownName);

// ReadFileBytes, then ParseMessageJson.
MessageDocument ReadMessageFile(const std::string& path);

enum class MessageChoice { kAddress, kPosition, kDisplayMode, kEffect };

// The JSON text that ParseMessageJson reads as this value of the choice; empty for a value that
// has none.
std::string ChoiceJsonText(MessageChoice choice, int32_t value);

// Appends text (UTF-8) as a JSON string, quotes included.
void AppendJsonString(std::string& out, std::string_view utf8);
// What a JSON value is, for an error that says what was given instead of what a field needs:
// null, true, 3, "text" (quoted), an array, an object.
std::string Given(const QJsonValue& value);

struct MessageJsonLayout {
    // One field a line, for a file that people read and edit; false: all on one line.
    bool indented = true;
    // Every choice of the composer; false: only what a command string carries (no sign model,
    // group and unit only with an address, line, column and clear flag only with "start").
    bool everyChoice = true;
};

// The message in the JSON that ParseMessageJson reads. A line all of size 1, red and not blinking
// is a string, any other a list of runs, one run for each stretch of equal attributes. Colours are
// written as they are sent: anything but yellow and green is red. A choice outside its list is
// written as its number, which the reader refuses.
std::string WriteMessageJson(const MessageDocument& message, const MessageJsonLayout& layout = {});
// The same message, every choice written, as a JSON object, for a document that holds it.
QJsonObject MessageToJsonObject(const MessageDocument& message);
// The characters of one line as UTF-8 text, without their look.
std::string LineText(const CellLine& line);

// Writes the message in full to a file, replacing it whole or not at all: a full disk or a crash
// leaves the old file as it was. A message that would not read back as written is not written.
// Failure: CMessageFileError "cannot write PATH: reason", or the reader's own message.
void WriteMessageFile(const QString& path, const MessageDocument& message);
