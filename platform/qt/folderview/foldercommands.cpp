#include "platform/qt/folderview/foldercommands.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QProcess>
#include <QProcessEnvironment>

#include "platform/fs/core/paths.h"
#include "platform/fs/operations/duplicatejob.h"
#include "platform/fs/operations/linkjob.h"
#include "platform/fs/operations/newitemjob.h"
#include "platform/qt/common/pathtext.h"
#include "platform/qt/desktop/fileopener.h"
#include "platform/qt/folderview/folderview.h"
#include "platform/qt/listing/foldermodel.h"

namespace kv {

namespace {

using pathtext::countText;
using pathtext::nameOf;
using pathtext::toStd;

// The new items' names, selected once the folder lists them: the first one current.
FileOperations::Done selectCreated(FolderView& view, bool edit) {
    return view.whenDone([&view, edit](const JobResult& r) {
        if (!r.undo.created.empty())
            view.selectWhenListed(QByteArray::fromStdString(paths::baseName(r.undo.created.front())), edit);
    });
}

QString lastPattern = QStringLiteral("*.*");  // the UI thread's: the dialog offers what was used last

}  // namespace

void FolderCommands::openWith(FolderView& view) {
    QList<QByteArray> files;
    const QList<int> rows = view.selectedRows();
    for (const int row : rows)
        if (!view.model()->entryAt(row).isDir) files << view.model()->pathAt(row);
    if (files.isEmpty()) files = view.selectedPaths();
    FileOpener::openWith(files, &view);
}

void FolderCommands::openTerminal(FolderView& view) {
    const QString dir = QFile::decodeName(view.folder());
    QString program = QStringLiteral("x-terminal-emulator");
    QStringList args;
    const QString chosen =
        QProcessEnvironment::systemEnvironment().value(QStringLiteral("TERMINAL")).trimmed();
    if (!chosen.isEmpty()) {
        args = QProcess::splitCommand(chosen);
        program = args.isEmpty() ? program : args.takeFirst();
    }
    if (QProcess::startDetached(program, args, dir)) return;
    auto* box = new QMessageBox(
        QMessageBox::Warning, FolderView::tr("Open Terminal"),
        FolderView::tr("No terminal could be started (“%1”). Install a terminal that provides "
                       "x-terminal-emulator, or name yours in the TERMINAL environment variable.")
            .arg(program),
        QMessageBox::Close, view.window());
    box->setObjectName("noTerminal");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

QString FolderCommands::pathsText(const QList<QByteArray>& paths) {
    QStringList lines;
    for (const QByteArray& p : paths) lines << QFile::decodeName(p);
    return lines.join('\n');
}

void FolderCommands::copyPaths(FolderView& view) {
    QList<QByteArray> paths = view.selectedPaths();
    if (paths.isEmpty()) paths << view.folder();
    QGuiApplication::clipboard()->setText(pathsText(paths));
}

void FolderCommands::createLinks(FolderView& view) {
    const QList<QByteArray> paths = view.selectedPaths();
    if (paths.isEmpty()) return;
    view.fileOperations().run(std::make_unique<LinkJob>(toStd(paths)),
                              FolderView::tr("Making links to %1").arg(countText(paths)), &view, true,
                              selectCreated(view, false), paths.size() < 20);
}

void FolderCommands::duplicate(FolderView& view) {
    const QList<QByteArray> paths = view.selectedPaths();
    if (paths.isEmpty()) return;
    view.fileOperations().run(std::make_unique<DuplicateJob>(toStd(paths)),
                              FolderView::tr("Duplicating %1").arg(countText(paths)), &view, true,
                              selectCreated(view, false));
}

void FolderCommands::newFile(FolderView& view) {
    view.fileOperations().run(
        std::make_unique<NewFileJob>(view.folder().toStdString(), FolderView::tr("New File").toStdString()),
        FolderView::tr("Creating a file in “%1”").arg(nameOf(view.folder())), &view, true,
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
        const QString name = FolderModel::displayName(model.entryAt(row).name);
        bool hit = false;
        for (const QRegularExpression& re : patterns)
            if ((hit = re.match(name).hasMatch())) break;
        if (hit && start < 0) start = row;
        if (!hit) close(row - 1);
    }
    close(rows - 1);
    return selection;
}

void FolderCommands::selectByPattern(FolderView& view) {
    auto* ask = new QInputDialog(view.window());
    ask->setObjectName("selectByPattern");
    ask->setAttribute(Qt::WA_DeleteOnClose);
    ask->setWindowTitle(FolderView::tr("Select by Pattern"));
    ask->setLabelText(
        FolderView::tr("Select the items whose names match (wildcards * and ?, several "
                       "separated by “;”):"));
    ask->setTextValue(lastPattern);
    QObject::connect(ask, &QInputDialog::textValueSelected, &view, [&view](const QString& text) {
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

void FolderCommands::invertSelection(FolderView& view) {
    const FolderModel& model = *view.model();
    if (model.rowCount() == 0) return;
    QItemSelectionModel* sel = view.currentView()->selectionModel();
    const QItemSelection all(model.index(0, 0), model.index(model.rowCount() - 1, model.columnCount() - 1));
    sel->select(all, QItemSelectionModel::Toggle | QItemSelectionModel::Rows);
}

}  // namespace kv
