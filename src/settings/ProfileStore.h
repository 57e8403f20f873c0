#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <string>

class QSettings;

// Where the program keeps its settings: ~/.config/Lumivex1.2/lumivex.conf (XDG_CONFIG_HOME
// applies). lumivex-cli reads and writes the same file.
inline constexpr const char* kProfileOrganisation = "Lumivex1.2";
inline constexpr const char* kProfileApplication = "lumivex";

// Integers by key. Reads never fail: a key that is missing or does not hold an integer gives the
// fallback. Writes may be held back until Sync(), which tells whether the store kept them.
class IProfileStore {
public:
    virtual ~IProfileStore() = default;
    virtual int32_t GetProfileInt(const QString& key, int32_t fallback) const = 0;
    virtual void WriteProfileInt(const QString& key, int32_t value) = 0;
    // The text of a key of a group, or an empty string.
    virtual QString GetProfileString(const QString& group, const QString& key) const = 0;
    virtual void WriteProfileString(const QString& group, const QString& key,
                                    const QString& value) = 0;
    // Writes what was changed to the store now. Empty when it is kept (or nothing changed); else
    // the store's file and the reason it cannot be written, "FILE: REASON".
    virtual QString Sync() = 0;
};

// The profile in its native Linux format, an INI file.
class CProfileStore : public IProfileStore {
public:
    // The user's profile of the program.
    CProfileStore();
    // A profile file at a path of the caller's.
    explicit CProfileStore(const QString& filePath);
    ~CProfileStore() override;

    int32_t GetProfileInt(const QString& key, int32_t fallback) const override;
    void WriteProfileInt(const QString& key, int32_t value) override;
    QString GetProfileString(const QString& group, const QString& key) const override;
    void WriteProfileString(const QString& group, const QString& key,
                            const QString& value) override;
    QString Sync() override;

    // Writes pending changes to the file; false when it could not.
    bool Flush() { return Sync().isEmpty(); }
    QString FilePath() const;

private:
    std::unique_ptr<QSettings> m_settings;
};

// The device behind "COM1" to "COM8" (comNumber 1 to 8): key "COMn" of group "Ports" when the
// user mapped it, else /dev/ttyS<n-1>.
std::string SerialDevicePath(const IProfileStore& profile, int comNumber);

// The device of "COMn" that nobody mapped: /dev/ttyS<n-1>.
std::string DefaultSerialDevicePath(int comNumber);

// Maps "COMn" to a device for the program and lumivex-cli alike; an empty path drops the mapping,
// so that the default device applies again.
void SetSerialDevicePath(IProfileStore& profile, int comNumber, const std::string& devicePath);
