#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "gui/services/FileDialogService.h"

namespace {

// The dialogs start where asked, list message files first, and a name typed without an ending
// gets ".json"; opening takes only a file that exists.
TEST(FileDialogServiceTest, DialogsStartInTheFolderAndEndNamesInJson) {
    QTemporaryDir folder;
    const FileDialogRequest request{"Save Message As", folder.path(),
                                    "Messages (*.json);;All files (*)", "json"};
    for (const auto mode : {QFileDialog::AcceptOpen, QFileDialog::AcceptSave}) {
        const auto dialog = BuildFileDialog(nullptr, request, mode);
        EXPECT_EQ(dialog->acceptMode(), mode);
        EXPECT_EQ(dialog->fileMode(), mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                                      : QFileDialog::AnyFile);
        EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir(folder.path()).canonicalPath());
        EXPECT_EQ(dialog->nameFilters(), (QStringList{"Messages (*.json)", "All files (*)"}));
        EXPECT_EQ(dialog->defaultSuffix(), "json");
        EXPECT_FALSE(dialog->isVisible());
    }
}

}  // namespace
