#include "platform/qt/folderview/foldercommands.h"

#include <sys/stat.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>

#include "platform/fs/core/background.h"
#include "platform/fs/core/paths.h"
#include "platform/fs/operations/batchrenamejob.h"
#include "platform/fs/operations/duplicatejob.h"
#include "platform/fs/operations/linkjob.h"
#include "platform/fs/operations/newitemjob.h"
#include "platform/qt/archives/archiveplace.h"
#include "platform/qt/common/clipboardformat.h"
#include "platform/qt/common/nametext.h"
#include "platform/qt/common/pathtext.h"
#include "platform/qt/compare/comparewindow.h"
#include "platform/qt/desktop/applications.h"
#include "platform/qt/desktop/fileopener.h"
#include "platform/qt/desktop/terminal.h"
#include "platform/qt/listing/foldermodel.h"
#include "platform/qt/location/targetdialog.h"
#include "platform/qt/pane/folderpane.h"
#include "platform/qt/pane/panemenu.h"
#include "platform/qt/pane/windowpanes.h"
#include "platform/qt/properties/propertiesdialog.h"
#include "platform/qt/rename/renamedialog.h"

namespace kv {

namespace {

// The commands speak as the folder view they act in.
QString tr(const char* text) {
    return QCoreApplication::translate("kv::FolderView", text);
}

}  // namespace

namespace {

using pathtext::countText;
using pathtext::nameOf;
using pathtext::toStd;

// The new items' names, selected once the folder lists them: the first one current.
FileOperations::Done selectCreated(FolderPane& view, bool edit) {
    return view.whenDone([&view, edit](const JobResult& r) {
        if (!r.undo.created.empty())
            view.selectWhenListed(QByteArray::fromStdString(paths::baseName(r.undo.created.front())), edit);
    });
}

QString lastPattern = QStringLiteral("*.*");  // the UI thread's: the dialog offers what was used last

}  // namespace

void FolderCommands::openWith(FolderPane& view) {
    QList<QByteArray> files;
    const QList<int> rows = view.selectedRows();
    for (const int row : rows)
        if (!view.model()->entryAt(row).isDir) files << view.model()->pathAt(row);
    if (files.isEmpty()) files = view.selectedPaths();
    FileOpener::openWith(files, view.paneWidget());
}

void FolderCommands::openTerminal(FolderPane& view) {
    Terminal::open(QFile::decodeName(view.folder()), view.paneWidget());
}

QString FolderCommands::pathsText(const QList<QByteArray>& paths) {
    QStringList lines;
    for (const QByteArray& p : paths) lines << QFile::decodeName(p);
    return lines.join('\n');
}

void FolderCommands::copyPaths(FolderPane& view) {
    QList<QByteArray> paths = view.selectedPaths();
    if (paths.isEmpty()) paths << view.folder();
    QGuiApplication::clipboard()->setText(pathsText(paths));
}

void FolderCommands::createLinks(FolderPane& view) {
    const QList<QByteArray> paths = view.selectedPaths();
    if (paths.isEmpty()) return;
    view.fileOperations().run(std::make_unique<LinkJob>(toStd(paths)),
                              tr("Making links to %1").arg(countText(paths)), view.paneWidget(), true,
                              selectCreated(view, false), paths.size() < 20);
}

void FolderCommands::duplicate(FolderPane& view) {
    const QList<QByteArray> paths = view.selectedPaths();
    if (paths.isEmpty()) return;
    view.fileOperations().run(std::make_unique<DuplicateJob>(toStd(paths)),
                              tr("Duplicating %1").arg(countText(paths)), view.paneWidget(), true,
                              selectCreated(view, false));
}

void FolderCommands::newFile(FolderPane& view) {
    view.fileOperations().run(
        std::make_unique<NewFileJob>(view.folder().toStdString(), tr("New File").toStdString()),
        tr("Creating a file in “%1”").arg(nameOf(view.folder())), view.paneWidget(), true,
        selectCreated(view, true), true);
}

QList<QRegularExpression> FolderCommands::patterns(const QString& text) {
    QList<QRegularExpression> out;
    for (const QString& part : text.split(QRegularExpression(QStringLiteral("[;,]")), Qt::SkipEmptyParts)) {
        const QString p = part.trimmed();
        if (p.isEmpty()) continue;
        // A name holds no '/': the path rules of the conversion never apply.
        out << QRegularExpression(QRegularExpression::wildcardToRegularExpression(p),
                                  QRegularExpression::CaseInsensitiveOption);
    }
    return out;
}

QItemSelection FolderCommands::rowsMatching(const FolderModel& model,
                                            const QList<QRegularExpression>& patterns) {
    QItemSelection selection;
    const int rows = model.rowCount();
    const int lastColumn = model.columnCount() - 1;
    int start = -1;
    auto close = [&](int end) {
        if (start >= 0) selection.select(model.index(start, 0), model.index(end, lastColumn));
        start = -1;
    };
    for (int row = 0; row < rows; ++row) {
        const QString name = NameText::shown(model.entryAt(row).name);
        bool hit = false;
        for (const QRegularExpression& re : patterns)
            if ((hit = re.match(name).hasMatch())) break;
        if (hit && start < 0) start = row;
        if (!hit) close(row - 1);
    }
    close(rows - 1);
    return selection;
}

void FolderCommands::selectByPattern(FolderPane& view) {
    auto* ask = new QInputDialog(view.paneWidget()->window());
    ask->setObjectName("selectByPattern");
    ask->setAttribute(Qt::WA_DeleteOnClose);
    ask->setWindowTitle(tr("Select by Pattern"));
    ask->setLabelText(
        tr("Select the items whose names match (wildcards * and ?, several "
           "separated by “;”):"));
    ask->setTextValue(lastPattern);
    QObject::connect(ask, &QInputDialog::textValueSelected, view.paneWidget(), [&view](const QString& text) {
        lastPattern = text;
        const QItemSelection rows = rowsMatching(*view.model(), patterns(text));
        QItemSelectionModel* sel = view.currentView()->selectionModel();
        sel->select(rows, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        if (!rows.isEmpty()) {
            sel->setCurrentIndex(rows.front().topLeft(), QItemSelectionModel::NoUpdate);
            view.currentView()->scrollTo(rows.front().topLeft());
        } else {
            QApplication::beep();
        }
    });
    ask->open();
}

void FolderCommands::invertSelection(FolderPane& view) {
    const FolderModel& model = *view.model();
    if (model.rowCount() == 0) return;
    QItemSelectionModel* sel = view.currentView()->selectionModel();
    const QItemSelection all(model.index(0, 0), model.index(model.rowCount() - 1, model.columnCount() - 1));
    sel->select(all, QItemSelectionModel::Toggle | QItemSelectionModel::Rows);
}

void FolderCommands::openExternally(FolderPane& view) {
    FileOpener::open(view.selectedPaths(), view.paneWidget());
}

void FolderCommands::focusPane(FolderPane& view, bool forward) {
    if (FolderPane* pane = WindowPanes::next(view, forward)) pane->focusItems();
}

namespace {

void transferTo(FolderPane& view, const QList<QByteArray>& sources, FolderPane& pane, bool move) {
    // The other pane's watcher would tell it too, a moment later.
    view.transfer(sources, pane.folder(), move,
                  [&pane, guard = Receiver(pane.paneWidget())](const JobResult&) {
                      if (guard.alive()) pane.refresh();
                  });
}

}  // namespace

void FolderCommands::transferToPane(FolderPane& view, bool move) {
    const QList<QByteArray> sources = view.selectedPaths();
    const QList<FolderPane*> panes = WindowPanes::others(view);
    if (sources.isEmpty() || panes.isEmpty()) {
        QApplication::beep();
        return;
    }
    if (panes.size() == 1) {
        transferTo(view, sources, *panes.front(), move);
        return;
    }
    // Which one: the user picks from a menu of their folders.
    auto* menu = new PaneMenu(move ? tr("Move to") : tr("Copy to"), panes, view.paneWidget());
    QObject::connect(menu, &PaneMenu::chosen, view.paneWidget(),
                     [&view, sources, move](FolderPane* pane) { transferTo(view, sources, *pane, move); });
    menu->popupOver(view.currentView());
}

QMimeData* FolderCommands::mimeDataOf(FolderPane& view, const QList<QByteArray>& paths, bool cut) {
    if (!paths.isEmpty() && ArchivePlace::isArchive(paths.front()))
        return view.archivePlace()->mimeData(paths);
    return ClipboardFormat::toMimeData(paths, cut);
}

void FolderCommands::copySelection(FolderPane& view, bool cut) {
    const QList<QByteArray> paths = view.selectedPaths();
    if (paths.isEmpty()) return;
    QGuiApplication::clipboard()->setMimeData(mimeDataOf(view, paths, cut));
}

void FolderCommands::paste(FolderPane& view) {
    pasteInto(view, view.folder());
}

void FolderCommands::pasteInto(FolderPane& view, const QByteArray& dir) {
    const ClipboardFormat::Content content =
        ClipboardFormat::fromMimeData(QGuiApplication::clipboard()->mimeData());
    if (content.paths.isEmpty() || dir.isEmpty()) return;
    if (!content.cut) {
        view.transfer(content.paths, dir, false);
        return;
    }
    view.transfer(content.paths, dir, true, [](const JobResult& r) {
        // Cut items are pasted once: the clipboard would otherwise name files that moved away.
        QClipboard* c = QGuiApplication::clipboard();
        if (r.ok() && c->mimeData() && ClipboardFormat::fromMimeData(c->mimeData()).cut) c->clear();
    });
}

void FolderCommands::trashSelection(FolderPane& view) {
    const QList<QByteArray> paths = view.selectedPaths();
    if (paths.isEmpty()) return;
    view.fileOperations().trash(paths, view.paneWidget(), view.whenDone());
}

void FolderCommands::deleteSelection(FolderPane& view, bool confirm) {
    const QList<QByteArray> paths = view.selectedPaths();
    if (paths.isEmpty()) return;
    auto run = [&view, paths] {
        view.fileOperations().deletePermanently(paths, view.paneWidget(), view.whenDone());
    };
    if (!confirm) {
        run();
        return;
    }
    const QString what =
        paths.size() == 1 ? tr("“%1”").arg(nameOf(paths.front())) : tr("these %1 items").arg(paths.size());
    auto* box = new QMessageBox(QMessageBox::Warning, tr("Delete permanently"),
                                tr("Delete %1 permanently? This cannot be undone.").arg(what),
                                QMessageBox::Yes | QMessageBox::Cancel, view.paneWidget()->window());
    box->setObjectName("confirmDelete");
    box->setDefaultButton(QMessageBox::Cancel);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, view.paneWidget(), [box, run](int) {
        if (box->clickedButton() == box->button(QMessageBox::Yes)) run();
    });
    box->open();
}

void FolderCommands::newFolder(FolderPane& view) {
    view.fileOperations().newFolder(
        view.folder(), tr("New Folder").toUtf8(), view.paneWidget(),
        view.whenDone([&view](const JobResult& r) {
            if (r.undo.created.empty()) return;
            // The new folder is selected with its name open for editing, the usual next step.
            view.selectWhenListed(pathtext::baseName(QByteArray::fromStdString(r.undo.created.front())),
                                  true);
        }));
}

void FolderCommands::showProperties(FolderPane& view) {
    QList<QByteArray> paths = view.selectedPaths();
    if (paths.isEmpty() && view.model()->isTrash()) return;
    if (paths.isEmpty()) paths << view.folder();
    PropertiesDialog::showFor(paths, view.paneWidget()->window());
}

void FolderCommands::undo(FolderPane& view) {
    view.fileOperations().undo(view.paneWidget(), view.whenDone());
}

void FolderCommands::renameSelection(FolderPane& view) {
    FolderModel* model = view.model();
    std::vector<RenameSource> items;
    for (int row : view.selectedRows()) {
        const DirEntry& e = model->entryAt(row);
        items.push_back({model->pathAt(row).toStdString(), e.isDir && !e.isSymlink, e.mtimeNs});
    }
    if (items.empty()) return;
    // A name in the folder shown is looked up in its listing; a search's hits lie in other folders.
    const std::string shown = view.folder().toStdString();
    auto taken = [model = QPointer<FolderModel>(model), shown](const std::string& dir,
                                                               const std::string& name) {
        if (model && !model->isSearch() && dir == shown)
            return model->rowOfName(QByteArray::fromStdString(name)) >= 0;
        struct stat st {};
        return ::lstat(paths::join(dir, name).c_str(), &st) == 0;
    };
    auto* dialog = new RenameDialog(std::move(items), taken, view.paneWidget()->window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QDialog::accepted, view.paneWidget(), [&view, dialog] {
        auto renames = dialog->renames();
        if (renames.empty()) return;
        const int n = static_cast<int>(renames.size());
        view.fileOperations().run(
            std::make_unique<BatchRenameJob>(std::move(renames)),
            QCoreApplication::translate("kv::FolderView", "Renaming %n items", nullptr, n), view.paneWidget(),
            true, view.whenDone(), n < 200);
    });
    dialog->open();
}

void FolderCommands::transferAsking(FolderPane& view, bool move) {
    const QList<QByteArray> sources = view.selectedPaths();
    if (sources.isEmpty()) {
        QApplication::beep();
        return;
    }
    FolderPane* next = WindowPanes::next(view, true);
    const QByteArray target = next && next != &view ? next->folder() : view.folder();
    const int n = static_cast<int>(sources.size());
    const QString what = n == 1
                             ? tr("“%1”").arg(NameText::shown(paths::baseName(sources.front().toStdString())))
                             : QCoreApplication::translate("kv::FolderView", "%n items", nullptr, n);
    auto* dialog = new TargetDialog(
        move ? tr("Move %1 to the folder:").arg(what) : tr("Copy %1 to the folder:").arg(what),
        move ? tr("Move") : tr("Copy"), target, view.paneWidget()->window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QDialog::accepted, view.paneWidget(),
                     [&view, dialog, sources, move] { view.transfer(sources, dialog->target(), move); });
    dialog->open();
}

void FolderCommands::openInEditor(FolderPane& view) {
    QList<QByteArray> files;
    for (const QByteArray& p : view.selectedPaths()) {
        const int row = view.model()->rowOfName(QByteArray::fromStdString(paths::baseName(p.toStdString())));
        if (row < 0 || !view.model()->entryAt(row).isDir) files << p;
    }
    if (files.isEmpty()) {
        QApplication::beep();
        return;
    }
    const std::optional<Applications::App> editor = Applications::defaultFor("text/plain");
    const QString problem =
        editor ? Applications::launch(editor->id, files)
               : FileOpener::noApplicationText(NameText::shown(paths::baseName(files.front().toStdString())),
                                               "text/plain");
    if (!problem.isEmpty())
        QMessageBox::warning(view.paneWidget()->window(), tr("Open in Text Editor"), problem);
}

void FolderCommands::compareFolders(FolderPane& view) {
    const FolderPane* other = WindowPanes::next(view, true);
    const QByteArray right = other ? other->folder() : view.folder();
    auto* window = new CompareWindow(view.fileOperations(), QFile::decodeName(view.folder()),
                                     QFile::decodeName(right), view.paneWidget()->window());
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    window->compare();
}

}  // namespace kv
