#include "settings/ProfileStore.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryFile>
#include <filesystem>
#include <limits>
#include <system_error>

namespace {

// QSettings tells only that the file could not be written. The system's reason comes from doing
// what it needs: make the folder, make a file in it (its lock, and the new file that replaces
// the old) and write the file itself. The probe leaves nothing behind but the folder, which
// QSettings would have made.
QString WriteRefusal(const QString& filePath) {
    const QFileInfo file(filePath);
    std::error_code error;
    std::filesystem::create_directories(file.absolutePath().toStdString(), error);
    if (error) {
        return QString::fromStdString(error.message());
    }
    QTemporaryFile probe(file.absoluteFilePath() + QStringLiteral(".XXXXXX"));
    if (!probe.open()) {
        return probe.errorString();
    }
    QFile existing(filePath);
    if (existing.exists() && !existing.open(QIODevice::WriteOnly | QIODevice::Append)) {
        return existing.errorString();
    }
    return QStringLiteral("the system gave no reason");
}

}  // namespace

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

QString CProfileStore::Sync() {
    m_settings->sync();
    if (m_settings->status() == QSettings::NoError) {
        return {};
    }
    return FilePath() + QStringLiteral(": ") + WriteRefusal(FilePath());
}

QString CProfileStore::FilePath() const {
    return m_settings->fileName();
}

namespace {

constexpr const char* kPortsGroup = "Ports";

QString PortKey(int comNumber) {
    return QStringLiteral("COM%1").arg(comNumber);
}

}  // namespace

std::string SerialDevicePath(const IProfileStore& profile, int comNumber) {
    const QString mapped =
        profile.GetProfileString(QString::fromLatin1(kPortsGroup), PortKey(comNumber)).trimmed();
    if (!mapped.isEmpty()) {
        return mapped.toStdString();
    }
    return DefaultSerialDevicePath(comNumber);
}

std::string DefaultSerialDevicePath(int comNumber) {
    return "/dev/ttyS" + std::to_string(comNumber - 1);
}

void SetSerialDevicePath(IProfileStore& profile, int comNumber, const std::string& devicePath) {
    profile.WriteProfileString(QString::fromLatin1(kPortsGroup), PortKey(comNumber),
                               QString::fromStdString(devicePath).trimmed());
}
