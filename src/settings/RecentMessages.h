#pragma once

#include <QString>
#include <QStringList>

class IProfileStore;

// The message files opened or saved last, newest first, and the folder of the last one: the
// profile's group "Messages", keys "Folder" and "File1" to "File8".
class CRecentMessages {
public:
    static constexpr int kMaxFiles = 8;

    explicit CRecentMessages(IProfileStore& profile);

    QStringList Files() const;
    // Where the file dialogs start; empty until a file has been used.
    QString Folder() const;
    // Puts the file first, once, drops the ninth, and keeps its folder.
    void Remember(const QString& absolutePath);

private:
    IProfileStore& m_profile;
};
