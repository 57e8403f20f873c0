#pragma once

#include <string>

// What the operator is told, and how the answer comes back. The program shows real message boxes;
// tests record the texts and script the answers. Texts are UTF-8.
enum class MessageIcon { kStop, kExclamation, kInformation, kQuestion };
enum class MessageButtons { kOk, kYesNo, kSaveDiscardCancel };
enum class MessageAnswer { kOk, kYes, kNo, kSave, kDiscard, kCancel };

// The title every box of the program carries unless a caller names another.
inline constexpr const char* kApplicationTitle = "Lumivex";

class IMessageService {
public:
    virtual ~IMessageService() = default;

    // Shows one modal box and returns the answer. An empty caption means the application title;
    // details, when given, stand below the text in smaller type.
    virtual MessageAnswer ShowMessage(const std::string& text, MessageIcon icon,
                                      MessageButtons buttons, const std::string& caption = {},
                                      const std::string& details = {}) = 0;
};

// A failure the operator is told of in a box with the exclamation icon; an empty text is none.
inline void ShowFailure(IMessageService& service, const std::string& failure) {
    if (!failure.empty()) {
        service.ShowMessage(failure, MessageIcon::kExclamation, MessageButtons::kOk);
    }
}

// A Yes/No question: anything but No counts as Yes.
inline bool AskYesNo(IMessageService& service, const std::string& text) {
    return service.ShowMessage(text, MessageIcon::kQuestion, MessageButtons::kYesNo) !=
           MessageAnswer::kNo;
}
