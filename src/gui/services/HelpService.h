#pragma once

#include <cstdint>

// Help topics by context number, one per page and per signs dialog.
inline constexpr uint32_t kHelpMessages = 0x30000;
inline constexpr uint32_t kHelpPcCommunication = 0x30005;
inline constexpr uint32_t kHelpMarqueeCommunication = 0x30010;
// The dialogs of named signs.
inline constexpr uint32_t kHelpSigns = 0x30015;
inline constexpr uint32_t kHelpSendToSigns = 0x30020;

// Opens the program's help at a topic. The program shows its help window; tests record requests.
class IHelpService {
public:
    virtual ~IHelpService() = default;
    virtual void ShowHelp(uint32_t contextNumber) = 0;
};
