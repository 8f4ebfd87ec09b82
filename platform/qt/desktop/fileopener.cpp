#include "platform/qt/desktop/fileopener.h"

#include <QMessageBox>
#include <QMimeDatabase>
#include <QPushButton>
#include <map>

#include "platform/fs/core/background.h"
#include "platform/fs/core/paths.h"
#include "platform/qt/common/pathtext.h"
#include "platform/qt/desktop/applications.h"
#include "platform/qt/desktop/openwithdialog.h"
#include "platform/qt/listing/foldermodel.h"

namespace kv {

namespace {

struct Outcome {
    // The files of each type that no application takes, by MIME type.
    std::map<QString, QList<QByteArray>> unopened;
    QStringList failures;  // "“name”: why"
};

using pathtext::nameOf;

QString typeText(const QString& mimeType) {
    const QMimeType t = QMimeDatabase().mimeTypeForName(mimeType);
    return t.isValid() && !t.comment().isEmpty() ? t.comment() : mimeType;
}

}  // namespace

QString FileOpener::noApplicationText(const QString& name, const QString& type, int more) {
    if (more <= 0) return QObject::tr("No application is set to open “%1” (%2).").arg(name, type);
    return QObject::tr("No application is set to open “%1” and %n more file(s) of its type (%2).", nullptr,
                       more)
        .arg(name, type);
}

void FileOpener::open(const QList<QByteArray>& paths, QWidget* origin) {
    if (paths.isEmpty() || !origin) return;
    runInBackground(
        origin,
        [paths] {
            Outcome out;
            std::map<QString, std::pair<QString, QList<QByteArray>>> byApp;  // app id -> (type, files)
            for (const QByteArray& p : paths) {
                const QString type = Applications::mimeTypeOf(p);
                const std::optional<Applications::App> app = Applications::defaultFor(type);
                if (!app) {
                    out.unopened[type] << p;
                    continue;
                }
                // Each application once, with all its files, as a file manager hands over a selection.
                auto& entry = byApp[app->id];
                entry.first = type;
                entry.second << p;
            }
            for (const auto& [id, files] : byApp) {
                const QString why = Applications::launch(id, files.second);
                if (!why.isEmpty())
                    out.failures << QObject::tr("“%1”: %2").arg(nameOf(files.second.front()), why);
            }
            return out;
        },
        [origin](const Outcome& out) {
            for (const auto& [type, files] : out.unopened) {
                auto* box = new QMessageBox(QMessageBox::Information, QObject::tr("Open"),
                                            noApplicationText(nameOf(files.front()), typeText(type),
                                                              static_cast<int>(files.size()) - 1),
                                            QMessageBox::Close, origin->window());
                box->setObjectName("noApplication");
                QPushButton* with = box->addButton(QObject::tr("Open With…"), QMessageBox::AcceptRole);
                with->setObjectName("openWith");
                box->setDefaultButton(with);
                box->setAttribute(Qt::WA_DeleteOnClose);
                QObject::connect(with, &QPushButton::clicked, origin,
                                 [files, origin] { openWith(files, origin); });
                box->open();
            }
            if (!out.failures.isEmpty()) {
                auto* box = new QMessageBox(
                    QMessageBox::Warning, QObject::tr("Open"),
                    QObject::tr("The application could not be started:\n%1").arg(out.failures.join('\n')),
                    QMessageBox::Close, origin->window());
                box->setObjectName("openFailed");
                box->setAttribute(Qt::WA_DeleteOnClose);
                box->open();
            }
        });
}

void FileOpener::openWith(const QList<QByteArray>& paths, QWidget* origin) {
    if (paths.isEmpty()) return;
    auto* dialog = new OpenWithDialog(paths, origin ? origin->window() : nullptr);
    dialog->show();
}

}  // namespace kv
