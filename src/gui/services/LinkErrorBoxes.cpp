#include "gui/services/LinkErrorBoxes.h"

#include "gui/services/MessageService.h"

void ShowLinkError(IMessageService& messages, const SendOutcome& outcome) {
    for (const SendNotice& notice : SendNotices(outcome)) {
        const MessageIcon icon = notice.icon == NoticeIcon::kInformation
                                     ? MessageIcon::kInformation
                                     : MessageIcon::kExclamation;
        messages.ShowMessage(notice.text, icon, MessageButtons::kOk, notice.caption);
    }
}
