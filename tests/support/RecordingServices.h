#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "gui/services/FileDialogService.h"
#include "gui/services/HelpService.h"
#include "gui/services/MessageService.h"

// Keeps every box the code under test would show and answers from a script, so no test ever
// opens a real modal box.
class RecordingMessageService : public IMessageService {
public:
    struct Shown {
        std::string text;
        MessageIcon icon;
        MessageButtons buttons;
        std::string caption;
        std::string details;
    };

    MessageAnswer ShowMessage(const std::string& text, MessageIcon icon, MessageButtons buttons,
                              const std::string& caption = {},
                              const std::string& details = {}) override {
        shown.push_back({text, icon, buttons, caption, details});
        if (!answers.empty()) {
            const MessageAnswer answer = answers.front();
            answers.pop_front();
            return answer;
        }
        switch (buttons) {
            case MessageButtons::kYesNo:
                return MessageAnswer::kYes;
            case MessageButtons::kSaveDiscardCancel:
                return MessageAnswer::kDiscard;
            default:
                return MessageAnswer::kOk;
        }
    }

    std::vector<Shown> shown;
    std::deque<MessageAnswer> answers;
};

// Keeps the context numbers that help was asked for.
class RecordingHelpService : public IHelpService {
public:
    void ShowHelp(uint32_t contextNumber) override { requests.push_back(contextNumber); }

    std::vector<uint32_t> requests;
};

// Keeps every file dialog the code under test would show and answers from a script: the next
// path, or cancel once the script is empty.
class RecordingFileDialogService : public IFileDialogService {
public:
    struct Asked {
        bool save;
        FileDialogRequest request;
    };

    QString ChooseFileToOpen(QWidget*, const FileDialogRequest& request) override {
        return Answer(false, request);
    }
    QString ChooseFileToSave(QWidget*, const FileDialogRequest& request) override {
        return Answer(true, request);
    }

    std::vector<Asked> asked;
    std::deque<QString> answers;

private:
    QString Answer(bool save, const FileDialogRequest& request) {
        asked.push_back({save, request});
        if (answers.empty()) {
            return {};
        }
        const QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
};
