#include "settings/ProfileStore.h"

#include <QSettings>
#include <limits>

CProfileStore::CProfileStore()
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             QString::fromLatin1(kProfileOrganisation),
                                             QString::fromLatin1(kProfileApplication))) {}

CProfileStore::CProfileStore(const QString& filePath)
    : m_settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat)) {}

CProfileStore::~CProfileStore() = default;

int32_t CProfileStore::GetProfileInt(const QString& key, int32_t fallback) const {
    const QVariant value = m_settings->value(key);
    if (!value.isValid()) {
        return fallback;
    }
    bool ok = false;
    const qlonglong number = value.toString().trimmed().toLongLong(&ok);
    if (!ok || number < std::numeric_limits<int32_t>::min() ||
        number > std::numeric_limits<int32_t>::max()) {
        return fallback;
    }
    return static_cast<int32_t>(number);
}

void CProfileStore::WriteProfileInt(const QString& key, int32_t value) {
    m_settings->setValue(key, value);
}

QString CProfileStore::GetProfileString(const QString& group, const QString& key) const {
    return m_settings->value(group + QLatin1Char('/') + key).toString();
}

void CProfileStore::WriteProfileString(const QString& group, const QString& key,
                                       const QString& value) {
    m_settings->setValue(group + QLatin1Char('/') + key, value);
}

bool CProfileStore::Flush() {
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

QString CProfileStore::FilePath() const {
    return m_settings->fileName();
}

std::string SerialDevicePath(const IProfileStore& profile, int comNumber) {
    const QString mapped =
        profile.GetProfileString(QStringLiteral("Ports"), QStringLiteral("COM%1").arg(comNumber))
            .trimmed();
    if (!mapped.isEmpty()) {
        return mapped.toStdString();
    }
    return "/dev/ttyS" + std::to_string(comNumber - 1);
}
