// GLib's headers use `signals` as a name, which Qt defines as a keyword (the precompiled Qt headers
// and the other sources of a unity batch come before this file).
#pragma push_macro("signals")
#undef signals
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#pragma pop_macro("signals")

#include "platform/qt/desktop/applications.h"

#include <QFile>
#include <QMimeDatabase>
#include <QSet>
#include <algorithm>

#include "platform/fs/archives/tempcopies.h"
#include "platform/fs/core/paths.h"
#include "platform/fs/remote/remotelocation.h"
#include "platform/qt/common/clipboardformat.h"

namespace kv {

namespace {

QString fromUtf8(const char* s) {
    return s ? QString::fromUtf8(s) : QString();
}

QString takeError(GError* error) {
    const QString text = error ? fromUtf8(error->message) : QObject::tr("unknown error");
    if (error) g_error_free(error);
    return text;
}

Applications::App toApp(GAppInfo* info) {
    Applications::App app;
    app.id = fromUtf8(g_app_info_get_id(info));
    app.name = fromUtf8(g_app_info_get_display_name(info));
    if (GIcon* icon = g_app_info_get_icon(info)) {
        if (G_IS_THEMED_ICON(icon)) {
            const gchar* const* names = g_themed_icon_get_names(G_THEMED_ICON(icon));
            if (names && names[0]) app.iconName = fromUtf8(names[0]);
        } else if (G_IS_FILE_ICON(icon)) {
            if (char* path = g_file_get_path(g_file_icon_get_file(G_FILE_ICON(icon)))) {
                app.iconName = QFile::decodeName(path);
                g_free(path);
            }
        }
    }
    return app;
}

// Appends the list's applications not yet seen, and frees the list.
void appendNew(GList* list, QList<Applications::App>& out, QSet<QString>& seen) {
    for (GList* l = list; l; l = l->next) {
        auto* info = static_cast<GAppInfo*>(l->data);
        Applications::App app = toApp(info);
        if (!app.id.isEmpty() && !seen.contains(app.id)) {
            seen.insert(app.id);
            out << app;
        }
    }
    g_list_free_full(list, g_object_unref);
}

// A file on a server for an application that reads only local files: GVfs's FUSE path where it gives
// one, else a copy of it in a temporary folder of its own, kept for the application after this run
// (TempCopies). Empty, with why, when it could not be made.
std::string localCopyOf(const RemoteLocation& remote, QString& why) {
    static TempCopies copies;
    GFile* source = g_file_new_for_uri(remote.uri().c_str());
    if (char* local = g_file_get_path(source)) {
        std::string path(local);
        g_free(local);
        g_object_unref(source);
        return path;
    }
    const std::string dir = copies.make(true);
    if (dir.empty()) {
        g_object_unref(source);
        why = QObject::tr("no temporary folder for a copy of “%1”")
                  .arg(QString::fromStdString(remote.baseName()));
        return {};
    }
    const std::string target = paths::join(dir, remote.baseName());
    GFile* copy = g_file_new_for_path(target.c_str());
    GError* error = nullptr;
    const gboolean ok = g_file_copy(source, copy, G_FILE_COPY_NONE, nullptr, nullptr, nullptr, &error);
    g_object_unref(copy);
    g_object_unref(source);
    if (ok) return target;
    why = takeError(error);
    copies.remove(dir);
    return {};
}

}  // namespace

QIcon Applications::App::icon() const {
    if (iconName.isEmpty()) return QIcon::fromTheme(QStringLiteral("application-x-executable"));
    if (iconName.startsWith('/')) return QIcon(iconName);
    return QIcon::fromTheme(iconName, QIcon::fromTheme(QStringLiteral("application-x-executable")));
}

std::optional<Applications::App> Applications::defaultFor(const QString& mimeType) {
    const QByteArray type = mimeType.toUtf8();
    GAppInfo* info = g_app_info_get_default_for_type(type.constData(), FALSE);
    if (!info) return std::nullopt;
    App app = toApp(info);
    app.isDefault = true;
    g_object_unref(info);
    return app;
}

QList<Applications::App> Applications::allFor(const QString& mimeType) {
    const QByteArray type = mimeType.toUtf8();
    QList<App> out;
    QSet<QString> seen;
    if (std::optional<App> d = defaultFor(mimeType)) {
        seen.insert(d->id);
        out << *d;
    }
    appendNew(g_app_info_get_recommended_for_type(type.constData()), out, seen);
    appendNew(g_app_info_get_fallback_for_type(type.constData()), out, seen);
    return out;
}

QList<Applications::App> Applications::allForEach(const QStringList& mimeTypes) {
    if (mimeTypes.isEmpty()) return {};
    QList<App> out = allFor(mimeTypes.front());
    for (qsizetype k = 1; k < mimeTypes.size(); ++k) {
        QSet<QString> ids;
        for (const App& a : allFor(mimeTypes[k])) ids.insert(a.id);
        out.removeIf([&](const App& a) { return !ids.contains(a.id); });
    }
    return out;
}

QList<Applications::App> Applications::all() {
    QList<App> out;
    GList* list = g_app_info_get_all();
    for (GList* l = list; l; l = l->next) {
        auto* info = static_cast<GAppInfo*>(l->data);
        if (g_app_info_should_show(info)) out << toApp(info);
    }
    g_list_free_full(list, g_object_unref);
    std::sort(out.begin(), out.end(),
              [](const App& a, const App& b) { return a.name.localeAwareCompare(b.name) < 0; });
    return out;
}

QString Applications::launch(const QString& appId, const QList<QByteArray>& paths) {
    const QByteArray id = appId.toUtf8();
    GDesktopAppInfo* info = g_desktop_app_info_new(id.constData());
    if (!info) return QObject::tr("the application “%1” is no longer installed").arg(appId);
    // URIs keep the names' bytes (percent-encoded), whatever their encoding.
    std::vector<QByteArray> uris;
    // A file on a server goes as its address to an application that reads addresses; one that reads
    // only local files gets GVfs's FUSE path, else a temporary copy.
    const bool readsAddresses = g_app_info_supports_uris(G_APP_INFO(info));
    for (const QByteArray& p : paths) {
        const std::optional<RemoteLocation> remote = RemoteLocation::parse(p.toStdString());
        if (!remote) {
            uris.push_back(ClipboardFormat::uriOf(p));
        } else if (readsAddresses) {
            uris.push_back(QByteArray::fromStdString(remote->uri()));
        } else {
            QString why;
            const std::string local = localCopyOf(*remote, why);
            if (local.empty()) {
                g_object_unref(info);
                return why;
            }
            uris.push_back(ClipboardFormat::uriOf(QByteArray::fromStdString(local)));
        }
    }
    GList* list = nullptr;
    for (auto it = uris.rbegin(); it != uris.rend(); ++it) list = g_list_prepend(list, it->data());
    GError* error = nullptr;
    const gboolean ok = g_app_info_launch_uris(G_APP_INFO(info), list, nullptr, &error);
    g_list_free(list);
    g_object_unref(info);
    return ok ? QString() : takeError(error);
}

QString Applications::setDefault(const QString& appId, const QString& mimeType) {
    const QByteArray id = appId.toUtf8();
    GDesktopAppInfo* info = g_desktop_app_info_new(id.constData());
    if (!info) return QObject::tr("the application “%1” is no longer installed").arg(appId);
    const QByteArray type = mimeType.toUtf8();
    GError* error = nullptr;
    const gboolean ok = g_app_info_set_as_default_for_type(G_APP_INFO(info), type.constData(), &error);
    g_object_unref(info);
    return ok ? QString() : takeError(error);
}

QString Applications::mimeTypeOf(const QByteArray& path) {
    // A file on a server is known by its name: reading it would wait for the network.
    const QMimeDatabase::MatchMode mode =
        RemoteLocation::is(path.toStdString()) ? QMimeDatabase::MatchExtension : QMimeDatabase::MatchDefault;
    return QMimeDatabase().mimeTypeForFile(QFile::decodeName(path), mode).name();
}

}  // namespace kv
