#include "AppSettings.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace dm {

AppSettings::AppSettings(const std::filesystem::path& file) {
    if (!file.empty())
        s_ = std::make_unique<QSettings>(QString::fromStdString(file.string()), QSettings::IniFormat);
}

AppSettings::~AppSettings() = default;

std::filesystem::path AppSettings::defaultFile() {
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (dir.isEmpty()) return {};
    return std::filesystem::path((dir + QStringLiteral("/darvent-map/darvent-map.ini")).toStdString());
}

QByteArray AppSettings::geometry() const { return s_ ? s_->value("window/geometry").toByteArray() : QByteArray(); }

void AppSettings::setGeometry(const QByteArray& g) {
    if (!s_) return;
    s_->setValue("window/geometry", g);
    s_->sync();
}

QByteArray AppSettings::toolGeometry(const QString& window) const {
    return s_ ? s_->value(QStringLiteral("tools/") + window).toByteArray() : QByteArray();
}

void AppSettings::setToolGeometry(const QString& window, const QByteArray& g) {
    if (!s_) return;
    s_->setValue(QStringLiteral("tools/") + window, g);
    s_->sync();
}

QString AppSettings::databaseUrl() const { return s_ ? s_->value("database/url").toString() : QString(); }

void AppSettings::setDatabaseUrl(const QString& url) {
    if (!s_) return;
    s_->setValue("database/url", url);
    s_->sync();
}

QString AppSettings::lastFolder() const { return s_ ? s_->value("dialogs/lastFolder").toString() : QString(); }

void AppSettings::setLastFolder(const QString& folder) {
    if (!s_ || folder.isEmpty()) return;
    s_->setValue("dialogs/lastFolder", folder);
    s_->sync();
}

std::optional<int> AppSettings::semanticCode() const {
    if (!s_ || !s_->contains("classifier/semanticCode")) return std::nullopt;
    bool ok = false;
    const int code = s_->value("classifier/semanticCode").toInt(&ok);
    return ok ? std::optional<int>(code) : std::nullopt;
}

void AppSettings::setSemanticCode(std::optional<int> code) {
    if (!s_) return;
    if (code)
        s_->setValue("classifier/semanticCode", *code);
    else
        s_->remove("classifier/semanticCode");
    s_->sync();
}

QStringList AppSettings::recentMaps() const {
    if (!s_) return {};
    QStringList l = s_->value("maps/recent").toStringList();
    l.removeAll(QString());
    while (l.size() > kRecentMaps) l.removeLast();
    return l;
}

void AppSettings::addRecentMap(const QString& path) {
    if (!s_ || path.isEmpty()) return;
    QStringList l = recentMaps();
    const QString clean = QDir::cleanPath(path);
    l.removeAll(clean);
    l.prepend(clean);
    while (l.size() > kRecentMaps) l.removeLast();
    s_->setValue("maps/recent", l);
    s_->sync();
}

void AppSettings::removeRecentMap(const QString& path) {
    if (!s_) return;
    QStringList l = recentMaps();
    l.removeAll(QDir::cleanPath(path));
    s_->setValue("maps/recent", l);
    s_->sync();
}

}  // namespace dm
