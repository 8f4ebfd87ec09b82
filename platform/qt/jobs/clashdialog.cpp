#include "platform/qt/jobs/clashdialog.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/qt/common/nametext.h"
#include "platform/qt/common/sizetext.h"
#include "platform/qt/jobs/jobtexts.h"

namespace kv {

QString ClashDialog::describeItem(bool isDir, std::uint64_t size, std::int64_t mtimeNs) {
    const QString date =
        QLocale().toString(QDateTime::fromMSecsSinceEpoch(mtimeNs / 1000000), QLocale::ShortFormat);
    if (isDir) return tr("Folder, modified %1").arg(date);
    return tr("%1, modified %2").arg(sizeText(size), date);
}

ClashDialog::ClashDialog(const ClashRequest& r, QWidget* parent) : QDialog(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(JobTexts::clashTitle(r));
    auto* layout = new QVBoxLayout(this);

    auto* head = new QLabel(JobTexts::clashHeadline(r));
    head->setWordWrap(true);
    head->setTextFormat(Qt::PlainText);
    layout->addWidget(head);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Existing:")), 0, 0);
    auto* existing = new QLabel(describeItem(r.targetIsDir, r.targetSize, r.targetMtimeNs));
    existing->setObjectName("existing");
    grid->addWidget(existing, 0, 1);
    grid->addWidget(
        new QLabel(r.sourceIsNewArchive ? tr("New:")
                                        : tr("New, from “%1”:").arg(JobTexts::folderName(r.source))),
        1, 0);
    auto* incoming =
        new QLabel(r.sourceIsNewArchive ? tr("the archive about to be made")
                                        : describeItem(r.sourceIsDir, r.sourceSize, r.sourceMtimeNs));
    incoming->setObjectName("incoming");
    grid->addWidget(incoming, 1, 1);
    layout->addLayout(grid);

    m_applyToAll = new QCheckBox(tr("Do the same for all further conflicts"));
    m_applyToAll->setObjectName("applyToAll");
    layout->addWidget(m_applyToAll);
    m_applyToAll->setVisible(!r.sourceIsNewArchive);  // there are no further conflicts to answer

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
    keep->setToolTip(tr("The new one is named “%1”").arg(NameText::shown(r.suggestedName)));
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
