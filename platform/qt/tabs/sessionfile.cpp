#include "platform/qt/tabs/sessionfile.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

#include "platform/qt/common/jsonfile.h"
#include "platform/qt/preferences/preferences.h"

namespace kv {

namespace {

// More than any session holds (a thousand tabs with long histories); a bigger file is not ours.
constexpr qint64 kMaxFile = 8 * 1024 * 1024;
// The steps of a tab's history the file keeps, the latest ones.
constexpr int kMaxSteps = 50;

// Paths are bytes: a name that is not UTF-8 is kept as base64 under a key of its own.
void putBytes(QJsonObject& o, const char* key, const QByteArray& bytes) {
    const QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() == bytes)
        o[QLatin1String(key)] = text;
    else
        o[QLatin1String(key) + QLatin1String("Bytes")] = QString::fromLatin1(bytes.toBase64());
}

QByteArray getBytes(const QJsonObject& o, const char* key) {
    const QJsonValue raw = o.value(QLatin1String(key) + QLatin1String("Bytes"));
    if (raw.isString()) return QByteArray::fromBase64(raw.toString().toLatin1());
    return o.value(QLatin1String(key)).toString().toUtf8();
}

QJsonValue bytesValue(const QByteArray& bytes) {
    QJsonObject o;
    putBytes(o, "name", bytes);
    return o;
}

}  // namespace

QString SessionFile::defaultPath() {
    return QFileInfo(Preferences::shared().path()).dir().filePath(QStringLiteral("session.json"));
}

QJsonObject SessionFile::toJson(const TabState& tab) {
    QJsonArray steps;
    const auto& all = tab.history.steps();
    const int first = std::max(0, tab.history.position() - kMaxSteps + 1);
    const int last = std::min(static_cast<int>(all.size()), first + kMaxSteps);
    for (int i = first; i < last; ++i) {
        const BrowseHistory::Step& step = all[static_cast<size_t>(i)];
        QJsonObject s;
        if (step.where.folder) {
            putBytes(s, "folder", step.where.path);
            if (!step.current.isEmpty()) putBytes(s, "current", step.current);
        } else {
            s["address"] = step.where.address;
        }
        steps.append(s);
    }
    QJsonObject o;
    o["steps"] = steps;
    o["position"] = tab.history.position() - first;
    if (tab.locked) o["locked"] = true;
    if (tab.mode >= 0) o["mode"] = tab.mode;
    if (tab.sortColumn >= 0) {
        o["sortColumn"] = tab.sortColumn;
        o["descending"] = tab.sortOrder == Qt::DescendingOrder;
    }
    if (tab.scroll > 0) o["scroll"] = tab.scroll;
    QJsonArray selection;
    for (const QByteArray& name : tab.selection) selection.append(bytesValue(name));
    if (!selection.isEmpty()) o["selection"] = selection;
    return o;
}

TabState SessionFile::fromJson(const QJsonObject& o) {
    TabState tab;
    const QJsonArray steps = o.value("steps").toArray();
    const int position = o.value("position").toInt(static_cast<int>(steps.size()) - 1);
    for (const QJsonValue& v : steps) {
        const QJsonObject s = v.toObject();
        Location where;
        if (s.contains("folder") || s.contains("folderBytes")) {
            where.folder = true;
            where.path = getBytes(s, "folder");
            if (where.path.isEmpty()) continue;
        } else {
            where.address = s.value("address").toString();
            if (where.address.isEmpty()) continue;
        }
        tab.history.push(where);
        const QByteArray current = getBytes(s, "current");
        if (!current.isEmpty()) tab.history.leave(current);
    }
    // push() leaves the history at its last step: step back to the one the tab showed.
    for (int i = static_cast<int>(tab.history.steps().size()) - 1; i > position && tab.history.back(); --i) {
    }
    tab.locked = o.value("locked").toBool(false);
    tab.mode = std::clamp(o.value("mode").toInt(-1), -1, 2);
    tab.sortColumn = std::clamp(o.value("sortColumn").toInt(-1), -1, 5);
    tab.sortOrder = o.value("descending").toBool(false) ? Qt::DescendingOrder : Qt::AscendingOrder;
    tab.scroll = std::max(0, o.value("scroll").toInt(0));
    for (const QJsonValue& v : o.value("selection").toArray()) {
        const QByteArray name = getBytes(v.toObject(), "name");
        if (!name.isEmpty() && !name.contains('/')) tab.selection << name;
    }
    return tab;
}

SessionFile::Panes SessionFile::read(const QString& path) {
    Panes panes;
    bool damaged = false;
    const std::optional<QJsonObject> doc = jsonfile::read(path, kMaxFile, &damaged);
    if (damaged || (doc && !doc->value("panes").isObject())) {
        // Kept for whoever wants to look; the panes start as the windows put them.
        jsonfile::setAside(path);
        return panes;
    }
    if (!doc) return panes;
    const QJsonObject all = doc->value("panes").toObject();
    for (auto it = all.begin(); it != all.end(); ++it) {
        const QJsonObject p = it.value().toObject();
        Pane pane;
        for (const QJsonValue& t : p.value("tabs").toArray()) {
            TabState tab = fromJson(t.toObject());
            if (!tab.history.empty()) pane.tabs << std::move(tab);
        }
        if (pane.tabs.isEmpty()) continue;
        pane.current = std::clamp(p.value("current").toInt(0), 0, static_cast<int>(pane.tabs.size()) - 1);
        panes[it.key()] = std::move(pane);
    }
    return panes;
}

bool SessionFile::write(const QString& path, const Panes& panes) {
    QJsonObject all;
    for (const auto& [key, pane] : panes) {
        QJsonArray tabs;
        for (const TabState& tab : pane.tabs) tabs.append(toJson(tab));
        QJsonObject p;
        p["tabs"] = tabs;
        p["current"] = pane.current;
        all[key] = p;
    }
    QJsonObject doc;
    doc["version"] = 1;
    doc["panes"] = all;
    return jsonfile::write(path, doc, true);
}

}  // namespace kv
