#include "platform/qt/listing/statusline.h"

#include <sys/statvfs.h>
#include <QFontDatabase>
#include <QLocale>
#include <QResizeEvent>
#include <algorithm>

#include "platform/fs/core/background.h"
#include "platform/fs/search/searchstats.h"
#include "platform/qt/common/sizetext.h"
#include "platform/qt/jobs/fileoperations.h"
#include "platform/qt/listing/foldermodel.h"
#include "platform/qt/listing/statuscounts.h"

namespace kv {

namespace {

QString countText(qint64 n, const QString& one, const QString& many) {
    return n == 1 ? one : many.arg(QLocale().toString(n));
}

}  // namespace

StatusLine::StatusLine(FolderModel* model, QItemSelectionModel* selection, FileOperations& ops,
                       QWidget* parent)
    : QWidget(parent), m_model(model), m_tally(new StatusCounts(model, selection, this)) {
    setFont(QFontDatabase::systemFont(QFontDatabase::SmallestReadableFont));
    auto label = [this](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(name);
        l->setTextFormat(Qt::PlainText);
        // A narrow pane cuts the text rather than growing: the panes' sizes are the window's.
        l->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        return l;
    };
    m_counts = label("counts");
    m_selection = label("selection");
    m_free = label("free");
    m_free->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);

    connect(m_tally, &StatusCounts::changed, this, &StatusLine::updateTexts);
    connect(model, &FolderModel::listed, this, &StatusLine::updateTexts);
    connect(model, &QAbstractItemModel::modelReset, this, &StatusLine::updateTexts);
    connect(&ops, &FileOperations::jobFinished, this, &StatusLine::updateFreeSpace);
    m_searchPoll.setInterval(250);
    connect(&m_searchPoll, &QTimer::timeout, this, &StatusLine::updateTexts);
    updateTexts();
}

void StatusLine::setSearch(std::shared_ptr<const SearchStats> stats) {
    m_search = std::move(stats);
    if (m_search)
        m_searchPoll.start();
    else
        m_searchPoll.stop();
    updateTexts();
}

void StatusLine::updateTexts() {
    const StatusCounts::Totals& t = m_tally->totals();
    const bool filtered = !m_model->nameFilter().isEmpty();
    if (m_search) {
        QString folders =
            countText(static_cast<qint64>(m_search->folders.load()), tr("1 folder"), tr("%1 folders"));
        // Which they were, the search bar lists on request.
        if (const auto unreadable = static_cast<qint64>(m_search->unreadable.load()); unreadable > 0)
            folders += tr(" (%1 not readable)").arg(QLocale().toString(unreadable));
        if (m_model->isLoading()) {
            m_counts->setText(
                tr("Searching… %1 found in %2")
                    .arg(QLocale().toString(static_cast<qint64>(m_search->found.load())), folders));
        } else {
            m_searchPoll.stop();
            const qint64 shown = t.folders + t.files;
            m_counts->setText(filtered ? tr("%1 of %2 found shown, in %3")
                                             .arg(QLocale().toString(shown),
                                                  QLocale().toString(m_model->unfilteredCount()), folders)
                                       : tr("%1 found in %2").arg(QLocale().toString(shown), folders));
        }
    } else if (filtered) {
        m_counts->setText(tr("%1 of %2 shown")
                              .arg(QLocale().toString(t.folders + t.files),
                                   QLocale().toString(m_model->unfilteredCount())));
    } else if (m_model->isLoading()) {
        m_counts->setText(
            tr("Listing… %1").arg(countText(t.folders + t.files, tr("1 item"), tr("%1 items"))));
    } else {
        m_counts->setText(tr("%1, %2").arg(countText(t.folders, tr("1 folder"), tr("%1 folders")),
                                           countText(t.files, tr("1 file"), tr("%1 files"))));
    }
    if (t.selected == 0) {
        m_selection->clear();
    } else if (t.selectedFiles == 0) {
        m_selection->setText(tr("%1 selected").arg(QLocale().toString(t.selected)));
    } else {
        m_selection->setText(
            tr("%1 selected (%2)").arg(QLocale().toString(t.selected), sizeText(t.selectedBytes)));
    }
}

void StatusLine::folderShown() {
    updateTexts();
    updateFreeSpace();
}

void StatusLine::updateFreeSpace() {
    const QByteArray path = m_model->folder();
    if (path != m_freeOf) {
        m_free->clear();
        m_freeOf.clear();
    }
    // Only folders on disk have a volume (not a listing such as the trash's).
    if (!path.startsWith('/')) return;
    if (path == m_asking) {
        m_askAgain = true;
        return;
    }
    m_asking = path;
    m_askAgain = false;
    runInBackground(
        this,
        [path]() -> qint64 {
            struct statvfs st {};
            if (::statvfs(path.constData(), &st) != 0) return -1;
            return static_cast<qint64>(st.f_bavail * st.f_frsize);
        },
        [this, path](qint64 bytes) { freeSpaceKnown(path, bytes); });
}

void StatusLine::freeSpaceKnown(const QByteArray& path, qint64 bytes) {
    // A question about a folder shown before is answered late (its mount stalled): not this folder's.
    if (path != m_asking) return;
    m_asking.clear();
    if (path != m_model->folder()) return;
    m_freeOf = path;
    if (bytes < 0)
        m_free->clear();
    else
        m_free->setText(tr("%1 free").arg(sizeText(static_cast<quint64>(bytes))));
    if (m_askAgain) {
        m_askAgain = false;
        updateFreeSpace();
    }
}

void StatusLine::setNotice(QWidget* part) {
    if (m_notice && m_notice != part) m_notice->hide();
    m_notice = part;
    m_counts->setVisible(!part);
    if (part) part->show();
    resizeEvent(nullptr);
}

// The line places its three texts itself (two fifths, two fifths, one fifth) rather than through a
// layout: a layout asks the whole view to lay itself out again whenever a text changes, which the
// running count of a listing does several times a second.
QSize StatusLine::sizeHint() const {
    return {0, fontMetrics().height() + 2 * kMarginV};
}

QSize StatusLine::minimumSizeHint() const {
    return sizeHint();
}

void StatusLine::resizeEvent(QResizeEvent* event) {
    if (event) QWidget::resizeEvent(event);
    const int left = 4, right = 8;
    const int usable = std::max(0, width() - left - right - 2 * kSpacing);
    const int fifth = usable / 5;
    int x = left;
    const int h = height() - 2 * kMarginV;
    for (const auto& [label, share] :
         {std::pair{m_counts, 2}, std::pair{m_selection, 2}, std::pair{m_free, 1}}) {
        const int w = label == m_free ? usable - 4 * fifth : share * fifth;
        QWidget* part = label == m_counts && m_notice ? m_notice.data() : label;
        part->setGeometry(x, kMarginV, w, h);
        x += w + kSpacing;
    }
}

}  // namespace kv
