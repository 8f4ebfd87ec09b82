#include "platform/qt/clashdialog.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/qt/foldermodel.h"

namespace kv {

namespace {

QString nameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return FolderModel::displayName(slash == std::string::npos ? path : path.substr(slash + 1));
}

QString folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return FolderModel::displayName(slash == 0 ? "/"
                                               : path.substr(0, slash == std::string::npos ? 0 : slash));
}

}  // namespace

QString ClashDialog::describeItem(bool isDir, std::uint64_t size, std::int64_t mtimeNs) {
    const QString date =
        QLocale().toString(QDateTime::fromMSecsSinceEpoch(mtimeNs / 1000000), QLocale::ShortFormat);
    if (isDir) return tr("Folder, modified %1").arg(date);
    return tr("%1, modified %2")
        .arg(QLocale().formattedDataSize(static_cast<qint64>(size), 1, QLocale::DataSizeTraditionalFormat),
             date);
}

ClashDialog::ClashDialog(const ClashRequest& r, QWidget* parent) : QDialog(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(r.merge() ? tr("Folder already exists") : tr("File already exists"));
    auto* layout = new QVBoxLayout(this);

    QString headline;
    if (r.caseOnly)
        headline = tr("“%1” differs only in letter case from “%2”, which is already in “%3”.")
                       .arg(nameOf(r.source), nameOf(r.target), folderOf(r.target));
    else if (r.merge())
        headline = tr("A folder named “%1” is already in “%2”.").arg(nameOf(r.target), folderOf(r.target));
    else
        headline = tr("An item named “%1” is already in “%2”.").arg(nameOf(r.target), folderOf(r.target));
    auto* head = new QLabel(headline);
    head->setWordWrap(true);
    head->setTextFormat(Qt::PlainText);
    layout->addWidget(head);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Existing:")), 0, 0);
    auto* existing = new QLabel(describeItem(r.targetIsDir, r.targetSize, r.targetMtimeNs));
    existing->setObjectName("existing");
    grid->addWidget(existing, 0, 1);
    grid->addWidget(new QLabel(tr("New, from “%1”:").arg(folderOf(r.source))), 1, 0);
    auto* incoming = new QLabel(describeItem(r.sourceIsDir, r.sourceSize, r.sourceMtimeNs));
    incoming->setObjectName("incoming");
    grid->addWidget(incoming, 1, 1);
    layout->addLayout(grid);

    m_applyToAll = new QCheckBox(tr("Do the same for all further conflicts"));
    m_applyToAll->setObjectName("applyToAll");
    layout->addWidget(m_applyToAll);

    auto* buttons = new QDialogButtonBox;
    auto add = [&](const QString& text, const char* name, ClashChoice choice,
                   QDialogButtonBox::ButtonRole role) {
        QPushButton* b = buttons->addButton(text, role);
        b->setObjectName(name);
        connect(b, &QPushButton::clicked, this, [this, choice] { answer(choice); });
        return b;
    };
    QPushButton* replace = add(r.merge() ? tr("Merge") : tr("Replace"), "replace", ClashChoice::Replace,
                               QDialogButtonBox::AcceptRole);
    replace->setEnabled(r.canReplace);
    if (r.merge())
        replace->setToolTip(tr("Copy the contents into the existing folder; clashes inside are asked about"));
    QPushButton* keep = add(tr("Keep Both"), "keepBoth", ClashChoice::KeepBoth, QDialogButtonBox::ActionRole);
    keep->setToolTip(tr("The new one is named “%1”").arg(FolderModel::displayName(r.suggestedName)));
    add(tr("Skip"), "skip", ClashChoice::Skip, QDialogButtonBox::ActionRole)->setDefault(true);
    add(tr("Cancel"), "cancel", ClashChoice::Cancel, QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    connect(this, &QDialog::rejected, this, [this] { answer(ClashChoice::Cancel); });
}

void ClashDialog::answer(ClashChoice choice) {
    if (m_answered) return;
    m_answered = true;
    emit answered({choice, m_applyToAll->isChecked()});
    close();
}

}  // namespace kv
