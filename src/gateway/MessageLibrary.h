#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/MessageFile.h"

// A library holds this many messages at most.
inline constexpr size_t kMaxLibraryMessages = 1000;
inline constexpr int kMaxLibraryNumber = 9999;

// A named message of the plant's library, and the number by which a panel that can only send
// numbers (a PLC's register) asks for it.
struct LibraryMessage {
    std::string name;
    std::optional<int> number;  // 1 to kMaxLibraryNumber
    MessageDocument message;

    bool operator==(const LibraryMessage&) const = default;
};

// The named messages that signs, alerts and playlist entries show by name: when one changes, each
// sign that shows it is sent it again.
class CMessageLibrary {
public:
    // Whether a name can name one: the rule of a live value's name (a topic level and a path
    // segment as it stands).
    static bool IsName(std::string_view name);

    // Put in or replaced; false when the library is full or another message has the number.
    bool Put(LibraryMessage message);
    bool Remove(const std::string& name);
    // By its name, or, for a text of digits alone that names none, by its number.
    const LibraryMessage* Find(std::string_view nameOrNumber) const;
    const LibraryMessage* Find(int number) const;
    // In the order of their names.
    std::vector<const LibraryMessage*> All() const;
    size_t Size() const { return m_messages.size(); }

private:
    std::map<std::string, LibraryMessage, std::less<>> m_messages;
};
