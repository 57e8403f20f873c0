#include "gui/services/FileDialogService.h"

namespace {

QString Run(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

}  // namespace

std::unique_ptr<QFileDialog> BuildFileDialog(QWidget* parent, const FileDialogRequest& request,
                                             QFileDialog::AcceptMode mode) {
    auto dialog =
        std::make_unique<QFileDialog>(parent, request.caption, request.start, request.filter);
    dialog->setAcceptMode(mode);
    dialog->setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                        : QFileDialog::AnyFile);
    dialog->setDefaultSuffix(request.defaultSuffix);
    return dialog;
}

QString CFileDialogService::ChooseFileToOpen(QWidget* parent, const FileDialogRequest& request) {
    const auto dialog = BuildFileDialog(parent, request, QFileDialog::AcceptOpen);
    return Run(*dialog);
}

QString CFileDialogService::ChooseFileToSave(QWidget* parent, const FileDialogRequest& request) {
    const auto dialog = BuildFileDialog(parent, request, QFileDialog::AcceptSave);
    return Run(*dialog);
}
