#include "settings/RecentMessages.h"

#include <QFileInfo>

#include "settings/ProfileStore.h"

namespace {

QString Group() {
    return QStringLiteral("Messages");
}

QString FileKey(int number) {
    return QStringLiteral("File%1").arg(number);
}

}  // namespace

CRecentMessages::CRecentMessages(IProfileStore& profile) : m_profile(profile) {}

QStringList CRecentMessages::Files() const {
    QStringList files;
    for (int number = 1; number <= kMaxFiles; ++number) {
        const QString path = m_profile.GetProfileString(Group(), FileKey(number));
        if (!path.isEmpty() && !files.contains(path)) {
            files << path;
        }
    }
    return files;
}

QString CRecentMessages::Folder() const {
    return m_profile.GetProfileString(Group(), QStringLiteral("Folder"));
}

void CRecentMessages::Remember(const QString& absolutePath) {
    QStringList files = Files();
    files.removeAll(absolutePath);
    files.prepend(absolutePath);
    // The list never shrinks, so every key written before is written again.
    for (int number = 1; number <= kMaxFiles && number <= files.size(); ++number) {
        m_profile.WriteProfileString(Group(), FileKey(number), files[number - 1]);
    }
    m_profile.WriteProfileString(Group(), QStringLiteral("Folder"),
                                 QFileInfo(absolutePath).absolutePath());
}
