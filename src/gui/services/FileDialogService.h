#pragma once

#include <QFileDialog>
#include <QString>
#include <memory>

class QWidget;

// One question for a file: where the dialog starts (a folder, or a file to suggest), the kinds
// of file it lists, and the ending a typed name without one gets.
struct FileDialogRequest {
    QString caption;
    QString start;
    QString filter;
    QString defaultSuffix;
};

// The operator's choice of a file to open or to save into. The program shows the desktop's file
// dialogs; tests script the answers, so no test opens a real one.
class IFileDialogService {
public:
    virtual ~IFileDialogService() = default;

    // The chosen file's path, or an empty string when the operator cancels.
    virtual QString ChooseFileToOpen(QWidget* parent, const FileDialogRequest& request) = 0;
    // The same for saving; the dialog asks before an existing file is replaced.
    virtual QString ChooseFileToSave(QWidget* parent, const FileDialogRequest& request) = 0;
};

class CFileDialogService : public IFileDialogService {
public:
    QString ChooseFileToOpen(QWidget* parent, const FileDialogRequest& request) override;
    QString ChooseFileToSave(QWidget* parent, const FileDialogRequest& request) override;
};

// The dialog the service runs, built apart so that its make-up can be checked without running it.
std::unique_ptr<QFileDialog> BuildFileDialog(QWidget* parent, const FileDialogRequest& request,
                                             QFileDialog::AcceptMode mode);
