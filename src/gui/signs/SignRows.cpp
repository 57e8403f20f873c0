#include "gui/signs/SignRows.h"

#include <QStringList>

#include "gui/services/MessageService.h"
#include "settings/SignsFile.h"

QString Utf8Text(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString TagsText(const NamedSign& sign) {
    QStringList tags;
    for (const std::string& tag : sign.tags) {
        tags.append(Utf8Text(tag));
    }
    return tags.join(QStringLiteral(", "));
}

bool LoadSignsReporting(CSignsFile& file, IMessageService& messages) {
    try {
        file.Load();
        return true;
    } catch (const CSignsFileError& error) {
        messages.ShowMessage(error.what(), MessageIcon::kExclamation, MessageButtons::kOk);
        return false;
    }
}
