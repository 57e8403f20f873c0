#include "gui/services/LinkErrorBoxes.h"

#include <cctype>

#include "gui/services/MessageService.h"

namespace {

// The line that names the link, written as a sentence of the box.
std::string AsSentence(std::string line) {
    if (line.empty()) {
        return line;
    }
    line[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(line[0])));
    return line + ".";
}

}  // namespace

void ShowLinkError(IMessageService& messages, const SendOutcome& outcome) {
    for (const SendNotice& notice : SendNotices(outcome)) {
        const MessageIcon icon =
            notice.icon == NoticeIcon::kError ? MessageIcon::kStop : MessageIcon::kExclamation;
        messages.ShowMessage(notice.text, icon, MessageButtons::kOk, notice.caption,
                             AsSentence(notice.details));
    }
}
