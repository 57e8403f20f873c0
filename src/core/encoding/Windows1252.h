#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The sign takes 8-bit text in the Windows-1252 code page. These convert between it and UTF-8,
// which is what Qt and the terminal speak. The five bytes that Windows-1252 leaves undefined map
// to the C1 control characters of the same value, so every byte string survives a round trip.

// A character with no single-byte form, or a malformed UTF-8 sequence, becomes "?".
std::string Utf8ToWindows1252(std::string_view utf8);

std::string Windows1252ToUtf8(std::string_view bytes);

// The code point of one Windows-1252 byte.
char32_t Windows1252ToCodePoint(unsigned char byte);

// The byte of one code point, or '?' when it has none.
unsigned char CodePointToWindows1252(char32_t codePoint);

// A character of UTF-8 text that Windows-1252 has no byte for, so that the sign gets "?".
struct UnencodableCharacter {
    size_t offset = 0;       // of its first byte in the text
    std::string_view utf8;   // its bytes; one byte when malformed
    char32_t codePoint = 0;  // U+FFFD when malformed
    bool malformed = false;  // not UTF-8 at all
};

// The first character of the text that Utf8ToWindows1252 turns into "?", if any.
std::optional<UnencodableCharacter> FindUnencodable(std::string_view utf8);
