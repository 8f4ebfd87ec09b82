#include "platform/qt/preferences/preferences.h"

#include <QJsonObject>
#include <QStandardPaths>

#include "platform/qt/common/jsonfile.h"

namespace kv {

namespace {

// More than any preferences file holds: a bigger one is not ours.
constexpr qint64 kMaxFile = 64 * 1024;

}  // namespace

Preferences& Preferences::shared() {
    // KV_PREFERENCES names another file (the tests' own).
    const QString file = qEnvironmentVariableIsSet("KV_PREFERENCES")
                             ? qEnvironmentVariable("KV_PREFERENCES")
                             : QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                                   "/kestrovan/preferences.json";
    static Preferences* prefs = new Preferences(file);
    return *prefs;
}

Preferences::Preferences(QString path, QObject* parent) : QObject(parent), m_path(std::move(path)) {
    load();
}

void Preferences::load() {
    bool damaged = false;
    const std::optional<QJsonObject> read = jsonfile::read(m_path, kMaxFile, &damaged);
    // A damaged file is kept for whoever wants to look; the defaults hold meanwhile.
    if (damaged) jsonfile::setAside(m_path);
    if (!read) return;
    const QJsonObject& o = *read;
    m_keys = o.value("keys").toString() == "commander" ? Keys::Commander : Keys::Desktop;
    m_showHidden = o.value("showHidden").toBool(false);
    const QString mode = o.value("viewMode").toString();
    m_viewMode = mode == "icons" ? ViewMode::Icons : mode == "list" ? ViewMode::List : ViewMode::Details;
    m_singleClick = o.value("singleClick").toBool(false);
    m_relativeDates = o.value("relativeDates").toBool(false);
    m_restoreTabs = o.value("restoreTabs").toBool(false);
}

void Preferences::save() {
    QJsonObject o;
    o["keys"] = m_keys == Keys::Commander ? "commander" : "desktop";
    o["showHidden"] = m_showHidden;
    o["viewMode"] = m_viewMode == ViewMode::Icons  ? "icons"
                    : m_viewMode == ViewMode::List ? "list"
                                                   : "details";
    o["singleClick"] = m_singleClick;
    o["relativeDates"] = m_relativeDates;
    o["restoreTabs"] = m_restoreTabs;
    jsonfile::write(m_path, o);
    emit changed();
}

void Preferences::setKeys(Keys keys) {
    if (keys == m_keys) return;
    m_keys = keys;
    save();
}

void Preferences::set(bool& field, bool value) {
    if (value == field) return;
    field = value;
    save();
}

void Preferences::setShowHidden(bool show) {
    set(m_showHidden, show);
}

void Preferences::setViewMode(ViewMode mode) {
    if (mode == m_viewMode) return;
    m_viewMode = mode;
    save();
}

void Preferences::setSingleClick(bool single) {
    set(m_singleClick, single);
}

void Preferences::setRelativeDates(bool relative) {
    set(m_relativeDates, relative);
}

void Preferences::setRestoreTabs(bool restore) {
    set(m_restoreTabs, restore);
}

}  // namespace kv
