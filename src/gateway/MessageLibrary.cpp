#include "gateway/MessageLibrary.h"

#include <algorithm>
#include <charconv>

#include "automation/TemplateText.h"

bool CMessageLibrary::IsName(std::string_view name) {
    return IsVariableName(name);
}

bool CMessageLibrary::Put(LibraryMessage message) {
    const auto up = m_messages.find(message.name);
    if (up == m_messages.end() && m_messages.size() >= kMaxLibraryMessages) {
        return false;
    }
    if (message.number) {
        const LibraryMessage* numbered = Find(*message.number);
        if (numbered != nullptr && numbered->name != message.name) {
            return false;
        }
    }
    const std::string name = message.name;
    m_messages[name] = std::move(message);
    return true;
}

bool CMessageLibrary::Remove(const std::string& name) {
    return m_messages.erase(name) != 0;
}

const LibraryMessage* CMessageLibrary::Find(std::string_view nameOrNumber) const {
    const auto found = m_messages.find(nameOrNumber);
    if (found != m_messages.end()) {
        return &found->second;
    }
    int number = 0;
    const char* end = nameOrNumber.data() + nameOrNumber.size();
    const auto [at, error] = std::from_chars(nameOrNumber.data(), end, number);
    return error == std::errc() && at == end && !nameOrNumber.empty() ? Find(number) : nullptr;
}

const LibraryMessage* CMessageLibrary::Find(int number) const {
    const auto found = std::find_if(m_messages.begin(), m_messages.end(), [&](const auto& entry) {
        return entry.second.number == number;
    });
    return found == m_messages.end() ? nullptr : &found->second;
}

std::vector<const LibraryMessage*> CMessageLibrary::All() const {
    std::vector<const LibraryMessage*> all;
    for (const auto& [name, message] : m_messages) {
        all.push_back(&message);
    }
    return all;
}
