#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "gui/window/CMarqueeDlg.h"
#include "gui/window/CPageTabCtrl.h"
#include "settings/CMarqueeApp.h"
#include "settings/ProfileStore.h"
#include "support/RecordingServices.h"

// The program's main window around an application object of its own, whose profile starts from a
// given text in a folder of its own. The boxes and file dialogs are recorded, never shown.
class CPageTestWindow {
public:
    explicit CPageTestWindow(const std::string& profileText = {})
        : profile(WriteProfile(folder, profileText)), app(profile) {
        Open();
    }

    // A new window around the same application object, shown and active, in place of the last.
    void Open() {
        dialog = std::make_unique<CMarqueeDlg>(PageContext{app, messages, help, &dialogs});
        dialog->show();
        dialog->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    }

    void ShowPage(int index) { dialog->PageTabs().ShowPage(index); }
    QWidget* Page(int index) const { return dialog->PageTabs().Page(index); }

    template <class T>
    T* Find(int page, const char* name) const {
        T* found = Page(page)->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    // Ends the program as the close box does, and writes the profile out.
    void Close() {
        dialog->close();
        dialog.reset();
        EXPECT_TRUE(profile.Flush());
    }

    // The boxes shown so far, by text and icon.
    std::vector<std::pair<std::string, MessageIcon>> Boxes() const {
        std::vector<std::pair<std::string, MessageIcon>> boxes;
        for (const RecordingMessageService::Shown& shown : messages.shown) {
            boxes.emplace_back(shown.text, shown.icon);
        }
        return boxes;
    }

    QTemporaryDir folder;
    CProfileStore profile;
    CMarqueeApp app;
    RecordingMessageService messages;
    RecordingHelpService help;
    RecordingFileDialogService dialogs;
    std::unique_ptr<CMarqueeDlg> dialog;

private:
    static QString WriteProfile(const QTemporaryDir& folder, const std::string& text) {
        const QString path = folder.filePath("lumivex.conf");
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.data(), static_cast<qint64>(text.size()));
        return path;
    }
};

// A test around one such window, started from an empty profile, its parts at hand by name.
class MainWindowFixture : public testing::Test {
protected:
    CPageTestWindow window;
    QTemporaryDir& folder = window.folder;
    CMarqueeApp& app = window.app;
    RecordingMessageService& messages = window.messages;
    RecordingHelpService& help = window.help;
    RecordingFileDialogService& dialogs = window.dialogs;
    std::unique_ptr<CMarqueeDlg>& dialog = window.dialog;
};

// The operator picks an entry of a list: it becomes the selection, and the list says it was
// chosen, which a selection the program makes does not.
inline void Choose(QComboBox* list, int index) {
    ASSERT_NE(list, nullptr);
    list->setCurrentIndex(index);
    emit list->activated(index);
}
