#pragma once
// What the program remembers between runs: the window's place and size,
// the last folder of the file dialogs, the last chosen semantic and the
// maps opened last.  Kept in an INI file; without a file nothing is kept
// (tests and benchmarks).

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <memory>
#include <optional>

class QSettings;

namespace dm {

class AppSettings {
public:
    explicit AppSettings(const std::filesystem::path& file);
    ~AppSettings();
    // Where the program keeps its settings for this user.
    static std::filesystem::path defaultFile();

    bool enabled() const { return s_ != nullptr; }
    QByteArray geometry() const;
    void setGeometry(const QByteArray& g);
    // The place and size of a tool window, by its object name.
    QByteArray toolGeometry(const QString& window) const;
    void setToolGeometry(const QString& window, const QByteArray& g);
    // The connection to the shared database, without its password.
    QString databaseUrl() const;
    void setDatabaseUrl(const QString& url);
    QString lastFolder() const;
    void setLastFolder(const QString& folder);
    std::optional<int> semanticCode() const;
    void setSemanticCode(std::optional<int> code);
    // Newest first, at most kRecentMaps.
    QStringList recentMaps() const;
    void addRecentMap(const QString& path);
    void removeRecentMap(const QString& path);
    static constexpr int kRecentMaps = 8;

private:
    std::unique_ptr<QSettings> s_;
};

}  // namespace dm
