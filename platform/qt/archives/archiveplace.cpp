#include "platform/qt/archives/archiveplace.h"

#include <sys/stat.h>

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QPointer>
#include <map>

#include "platform/fs/archives/archiveindexcache.h"
#include "platform/fs/archives/archivelocation.h"
#include "platform/fs/archives/compressjob.h"
#include "platform/fs/archives/extractjob.h"
#include "platform/fs/archives/tempcopies.h"
#include "platform/fs/core/background.h"
#include "platform/fs/core/paths.h"
#include "platform/qt/archives/archivemimedata.h"
#include "platform/qt/archives/archivesession.h"
#include "platform/qt/archives/compressdialog.h"
#include "platform/qt/common/nametext.h"
#include "platform/qt/desktop/fileopener.h"
#include "platform/qt/listing/foldermodel.h"
#include "platform/qt/pane/folderpane.h"
#include "platform/qt/pane/panemenu.h"
#include "platform/qt/pane/windowpanes.h"

namespace kv {

namespace {

std::string bytes(const QByteArray& b) {
    return b.toStdString();
}

QString shown(const std::string& path) {
    return NameText::shown(paths::baseName(path));
}

}  // namespace

ArchivePlace::ArchivePlace(FolderPane& view) : QObject(view.paneWidget()), m_view(view) {}

bool ArchivePlace::isArchive(const QByteArray& location) {
    return ArchiveLocation::is(std::string_view(location.constData(), static_cast<size_t>(location.size())));
}

bool ArchivePlace::opensAsFolder(const QByteArray& path, bool isDir) {
    return !isDir && !isArchive(path) && path.startsWith('/') &&
           ArchiveLocation::isArchiveName(paths::baseName(bytes(path)));
}

QByteArray ArchivePlace::locationOf(const QByteArray& archivePath) {
    return QByteArray::fromStdString(ArchiveLocation::make(bytes(archivePath)));
}

std::map<std::string, std::string>& ArchivePlace::passwords() {
    // Shared by every pane: the one that extracts is not always the one the items are dragged from.
    return m_view.services().archives.passwords();
}

void ArchivePlace::withPassword(const QByteArray& archive, Go go) {
    runInBackground(
        this,
        [cache = m_view.model()->archiveIndexes(), archive = bytes(archive)] {
            return cache->get(archive)->encrypted();
        },
        [this, archive, go = std::move(go)](bool encrypted) {
            if (!encrypted) {
                go({});
                return;
            }
            if (const auto known = passwords().find(bytes(archive)); known != passwords().end()) {
                go(known->second);
                return;
            }
            auto* ask = new QInputDialog(m_view.paneWidget()->window());
            ask->setObjectName("archivePassword");
            ask->setAttribute(Qt::WA_DeleteOnClose);
            ask->setWindowTitle(tr("Password"));
            ask->setLabelText(tr("“%1” is encrypted. Its password:").arg(shown(bytes(archive))));
            ask->setTextEchoMode(QLineEdit::Password);
            connect(ask, &QInputDialog::textValueSelected, this, [this, archive, go](const QString& text) {
                const std::string passphrase = text.toUtf8().toStdString();
                passwords()[bytes(archive)] = passphrase;
                go(passphrase);
            });
            ask->open();
        });
}

void ArchivePlace::runExtract(const std::string& archive, const std::string& folder,
                              std::vector<std::string> names, const QByteArray& targetDir, bool ownFolder,
                              bool undoable, FileOperations::Done done) {
    const QString what = names.size() == 1 ? tr("“%1”").arg(NameText::shown(names.front()))
                         : names.empty()   ? tr("“%1”").arg(shown(archive))
                                           : tr("%n items", nullptr, static_cast<int>(names.size()));
    const QString title = tr("Extracting %1 to “%2”").arg(what, shown(bytes(targetDir)));
    withPassword(QByteArray::fromStdString(archive), [=, this](const std::string& passphrase) {
        ExtractRequest r{archive, folder, names, bytes(targetDir), passphrase, ownFolder};
        m_view.fileOperations().run(
            std::make_unique<ExtractJob>(std::move(r)), title, m_view.paneWidget(), undoable,
            [this, guard = Receiver(this), archive, passphrase, done](const JobResult& result) {
                // A wrong password is asked for again next time.
                if (guard.alive() && !result.ok() && !result.cancelled && !passphrase.empty())
                    passwords().erase(archive);
                if (done) done(result);
            });
    });
}

void ArchivePlace::extract(const QList<QByteArray>& items, const QByteArray& targetDir,
                           FileOperations::Done done) {
    // Items of one folder of one archive go in one job (a view's selection is always such).
    std::map<std::pair<std::string, std::string>, std::vector<std::string>> groups;
    for (const QByteArray& item : items) {
        const std::optional<ArchiveLocation> where = ArchiveLocation::parse(bytes(item));
        if (!where) continue;
        const std::optional<ArchiveLocation> folder = where->parent();
        if (!folder) {
            groups[{where->archive, ""}];  // the whole archive
            continue;
        }
        groups[{where->archive, folder->inner}].push_back(paths::baseName(where->inner));
    }
    for (auto& [key, names] : groups)
        runExtract(key.first, key.second, std::move(names), targetDir, false, true, done);
}

void ArchivePlace::extractArchives(const QList<QByteArray>& archives, const QByteArray& targetDir,
                                   bool ownFolder, FileOperations::Done done) {
    for (const QByteArray& a : archives) runExtract(bytes(a), {}, {}, targetDir, ownFolder, true, done);
}

bool ArchivePlace::selectionIsArchives() const {
    if (m_view.model()->isArchive() || m_view.model()->isTrash()) return false;
    const QList<int> rows = m_view.selectedRows();
    if (rows.isEmpty()) return false;
    for (const int row : rows)
        if (!opensAsFolder(m_view.model()->pathAt(row), m_view.model()->entryAt(row).isDir)) return false;
    return true;
}

void ArchivePlace::extractHere() {
    if (!selectionIsArchives()) {
        QApplication::beep();
        return;
    }
    extractArchives(m_view.selectedPaths(), m_view.folder(), true, m_view.whenDone());
}

void ArchivePlace::extractToPane() {
    const QList<FolderPane*> panes = WindowPanes::others(m_view);
    if (!selectionIsArchives() || panes.isEmpty()) {
        QApplication::beep();
        return;
    }
    const QList<QByteArray> archives = m_view.selectedPaths();
    auto into = [this, archives](FolderPane* pane) {
        extractArchives(archives, pane->folder(), true,
                        [pane, guard = Receiver(pane->paneWidget())](const JobResult&) {
                            if (guard.alive()) pane->refresh();
                        });
    };
    if (panes.size() == 1) {
        into(panes.front());
        return;
    }
    auto* menu = new PaneMenu(tr("Extract to"), panes, m_view.paneWidget());
    connect(menu, &PaneMenu::chosen, this, into);
    menu->popupOver(m_view.currentView());
}

void ArchivePlace::compress() {
    const QList<QByteArray> sources = m_view.selectedPaths();
    if (sources.isEmpty() || m_view.model()->isArchive() || m_view.model()->isTrash()) {
        QApplication::beep();
        return;
    }
    const QString suggested = sources.size() == 1 ? NameText::shown(paths::baseName(bytes(sources.front())))
                                                  : NameText::shown(paths::baseName(bytes(m_view.folder())));
    auto* dialog =
        new CompressDialog(suggested.isEmpty() ? tr("Archive") : suggested, m_view.paneWidget()->window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    const QByteArray folder = m_view.folder();
    connect(dialog, &QDialog::accepted, this, [this, dialog, sources, folder] {
        const QByteArray name = dialog->fileName().toUtf8();
        std::vector<std::string> items;
        for (const QByteArray& s : sources) items.push_back(bytes(s));
        const std::string target = paths::join(bytes(folder), bytes(name));
        m_view.fileOperations().run(
            std::make_unique<CompressJob>(std::move(items), target, dialog->format()),
            tr("Compressing into “%1”").arg(NameText::shown(bytes(name))), m_view.paneWidget(), true,
            m_view.whenDone([this, name](const JobResult& r) {
                if (!r.undo.created.empty())
                    m_view.selectWhenListed(
                        QByteArray::fromStdString(paths::baseName(r.undo.created.front())), false);
            }));
    });
    dialog->open();
}

void ArchivePlace::openItem(const QByteArray& location) {
    copyOut(
        location, false, m_view.paneWidget(),
        [this](const QByteArray& copy) {
            if (!copy.isEmpty()) FileOpener::open({copy}, m_view.paneWidget());
        },
        true);
}

QMimeData* ArchivePlace::mimeData(const QList<QByteArray>& items) {
    return new ArchiveMimeData(items, m_view.model()->archiveIndexes(), passwords(),
                               m_view.services().archives.tempCopies(), {});
}

void ArchivePlace::dropCopy(const QByteArray& copy) {
    if (copy.isEmpty()) return;
    background::runDetached([copies = m_view.services().archives.tempCopies(),
                             dir = paths::parentOf(bytes(copy))] { copies->remove(dir); });
}

void ArchivePlace::copyOut(const QByteArray& location, bool isDir, QObject* context,
                           std::function<void(const QByteArray&)> done, bool givenAway) {
    const std::optional<ArchiveLocation> where = ArchiveLocation::parse(bytes(location));
    if (!where || !where->parent()) return;
    const std::string name = paths::baseName(where->inner);
    // A folder of its own for each copy: two files of one name never meet, and the application
    // opened keeps its file however long it likes. A folder is made empty: its contents stay in the
    // archive, however much they are.
    runInBackground(
        this,
        [isDir, name, givenAway, copies = m_view.services().archives.tempCopies()] {
            std::string dir = copies->make(givenAway);
            if (dir.empty()) return dir;
            if (isDir && ::mkdir(paths::join(dir, name).c_str(), 0700) != 0) {
                copies->remove(dir);
                return std::string();
            }
            return dir;
        },
        [this, where = *where, name, isDir, guard = QPointer<QObject>(context),
         done = std::move(done)](const std::string& dir) {
            if (dir.empty()) {
                QApplication::beep();
                return;
            }
            const QByteArray copy = QByteArray::fromStdString(paths::join(dir, name));
            if (isDir) {
                if (guard) done(copy);
                return;
            }
            runExtract(where.archive, where.parent()->inner, {name}, QByteArray::fromStdString(dir), false,
                       false, [guard, done, copy](const JobResult& r) {
                           if (guard) done(r.ok() ? copy : QByteArray());
                       });
        });
}

}  // namespace kv
