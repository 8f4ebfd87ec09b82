#include "platform/qt/listing/statusline.h"

#include <QEvent>
#include <QFontDatabase>
#include <QLocale>
#include <QResizeEvent>
#include <algorithm>

#include "platform/fs/search/searchstats.h"
#include "platform/qt/common/sizetext.h"
#include "platform/qt/listing/foldermodel.h"
#include "platform/qt/listing/statuscounts.h"
#include "platform/qt/listing/statusfit.h"
#include "platform/qt/listing/volumespace.h"

namespace kv {

namespace {

QString countText(qint64 n, const QString& one, const QString& many) {
    return n == 1 ? one : many.arg(QLocale().toString(n));
}

QString number(qint64 n) {
    return QLocale().toString(n);
}

}  // namespace

StatusLine::StatusLine(FolderModel* model, QItemSelectionModel* selection, VolumeSpace& space,
                       QWidget* parent)
    : QWidget(parent), m_model(model), m_space(space), m_tally(new StatusCounts(model, selection, this)) {
    setFont(QFontDatabase::systemFont(QFontDatabase::SmallestReadableFont));
    m_counts = makeLabel("counts");
    m_selection = makeLabel("selection");
    m_free = makeLabel("free");
    m_parts = {{m_counts, CountsPriority, {}, {}},
               {m_selection, SelectionPriority, {}, {}},
               {m_free, FreeSpacePriority, {}, {}}};
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);

    connect(m_tally, &StatusCounts::changed, this, &StatusLine::updateTexts);
    connect(model, &FolderModel::listed, this, &StatusLine::updateTexts);
    connect(model, &QAbstractItemModel::modelReset, this, &StatusLine::updateTexts);
    m_searchPoll.setInterval(250);
    connect(&m_searchPoll, &QTimer::timeout, this, &StatusLine::updateTexts);
    updateTexts();
}

StatusLine::~StatusLine() {
    m_space.forget(this);
}

QLabel* StatusLine::makeLabel(const char* name) {
    auto* l = new QLabel(this);
    l->setObjectName(name);
    l->setTextFormat(Qt::PlainText);
    l->hide();
    return l;
}

void StatusLine::addPart(QLabel* label, int priority) {
    label->setParent(this);
    label->hide();
    // Before the free space, which keeps the right end.
    m_parts.insert(m_parts.end() - 1, Part{label, priority, {}, {}});
    relayout();
}

void StatusLine::setPartTexts(QLabel* label, const QStringList& forms) {
    for (Part& p : m_parts) {
        if (p.label != label || p.forms == forms) continue;
        p.forms = forms;
        measure(p);
        relayout();
    }
}

QString StatusLine::fullText(const QLabel* label) const {
    for (const Part& p : m_parts)
        if (p.label == label) return p.forms.value(0);
    return {};
}

bool StatusLine::askingFreeSpace() const {
    return m_space.asking();
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
    const qint64 shown = t.folders + t.files;
    QStringList counts;
    if (m_search) {
        const QString folders =
            countText(static_cast<qint64>(m_search->folders.load()), tr("1 folder"), tr("%1 folders"));
        const auto unreadable = static_cast<qint64>(m_search->unreadable.load());
        // Which they were, the search bar lists on request.
        const QString notReadable =
            unreadable > 0 ? tr(" (%1 not readable)").arg(number(unreadable)) : QString();
        const QString found = number(static_cast<qint64>(m_search->found.load()));
        if (m_model->isLoading()) {
            counts << tr("Searching… %1 found in %2").arg(found, folders + notReadable);
            if (unreadable > 0) counts << tr("Searching… %1 found in %2").arg(found, folders);
            counts << tr("Searching… %1 found").arg(found) << tr("%1 found").arg(found);
        } else if (filtered) {
            m_searchPoll.stop();
            const QString unfiltered = number(m_model->unfilteredCount());
            counts << tr("%1 of %2 found shown, in %3").arg(number(shown), unfiltered, folders)
                   << tr("%1 of %2 found shown").arg(number(shown), unfiltered)
                   << tr("%1 shown").arg(number(shown));
        } else {
            m_searchPoll.stop();
            counts << tr("%1 found in %2").arg(number(shown), folders + notReadable);
            if (unreadable > 0) counts << tr("%1 found in %2").arg(number(shown), folders);
            counts << tr("%1 found").arg(number(shown));
        }
    } else if (filtered) {
        counts << tr("%1 of %2 shown").arg(number(shown), number(m_model->unfilteredCount()))
               << tr("%1 shown").arg(number(shown));
    } else if (m_model->isLoading()) {
        const QString items = countText(shown, tr("1 item"), tr("%1 items"));
        counts << tr("Listing… %1").arg(items) << items;
    } else {
        counts << tr("%1, %2").arg(countText(t.folders, tr("1 folder"), tr("%1 folders")),
                                   countText(t.files, tr("1 file"), tr("%1 files")))
               << countText(shown, tr("1 item"), tr("%1 items"));
    }
    setPartTexts(m_counts, counts);

    QStringList selected;
    if (t.selected > 0 && t.selectedFiles > 0)
        selected << tr("%1 selected (%2)").arg(number(t.selected), sizeText(t.selectedBytes));
    if (t.selected > 0) selected << tr("%1 selected").arg(number(t.selected));
    setPartTexts(m_selection, selected);
}

void StatusLine::folderShown() {
    updateTexts();
    setPartTexts(m_free, {});
    // A folder on a server has no volume here to ask, and nothing tells when it changes: the place of
    // the free space says so.
    if (m_model->isRemote()) {
        m_space.forget(this);
        setPartTexts(m_free, {tr("Does not update by itself: F5 reads it again"), tr("F5 reads it again")});
        return;
    }
    m_space.follow(this, m_model->folder(), [this](qint64 bytes) { freeSpaceKnown(bytes); });
}

void StatusLine::updateFreeSpace() {
    if (m_model->isRemote()) return;
    m_space.askFor(this);
}

void StatusLine::freeSpaceKnown(qint64 bytes) {
    setPartTexts(m_free, bytes < 0 ? QStringList()
                                   : QStringList{tr("%1 free").arg(sizeText(static_cast<quint64>(bytes)))});
}

// The line places its parts itself rather than through a layout: a layout asks the whole view to lay
// itself out again whenever a text changes, which the running count of a listing does several times a
// second.
QSize StatusLine::sizeHint() const {
    return {0, fontMetrics().height() + 2 * kMarginV};
}

QSize StatusLine::minimumSizeHint() const {
    return sizeHint();
}

void StatusLine::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    relayout();
}

void StatusLine::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::FontChange && event->type() != QEvent::StyleChange) return;
    for (Part& p : m_parts) measure(p);
    relayout();
}

void StatusLine::measure(Part& part) {
    part.widths.clear();
    // A pixel more than the advance: the label must not cut the last glyph's overhang.
    for (const QString& form : part.forms)
        part.widths.push_back(part.label->fontMetrics().horizontalAdvance(form) + 1);
}

void StatusLine::relayout() {
    const int left = 4, right = 6;
    const int room = std::max(0, width() - left - right);
    std::vector<StatusFit::Part> fit;
    for (const Part& p : m_parts) {
        StatusFit::Part f{p.priority, {}};
        // A pixel more than the advance: the label must not cut the last glyph's overhang.
        for (const QString& form : p.forms)
            f.widths.push_back(p.label->fontMetrics().horizontalAdvance(form) + 1);
        fit.push_back(std::move(f));
    }
    const std::vector<int> chosen = StatusFit::choose(fit, room, kSpacing);
    bool compact = false;
    int x = left;
    const int h = height() - 2 * kMarginV;
    for (size_t i = 0; i < m_parts.size(); ++i) {
        const Part& p = m_parts[i];
        QString text;
        int w = 0;
        if (chosen[i] >= 0) {
            text = p.forms[chosen[i]];
            w = fit[i].widths[static_cast<size_t>(chosen[i])];
            if (w > room) {
                const QFontMetrics fm = p.label->fontMetrics();
                text = StatusFit::wholeWords(text, room,
                                             [&fm](const QString& s) { return fm.horizontalAdvance(s) + 1; });
                w = fm.horizontalAdvance(text) + 1;
            }
        }
        compact = compact || (!p.forms.isEmpty() && text != p.forms.front());
        if (text.isEmpty()) {
            p.label->hide();
            continue;
        }
        if (p.label->text() != text) p.label->setText(text);
        if (p.label == m_free) {
            p.label->setGeometry(width() - right - w, kMarginV, w, h);
        } else {
            p.label->setGeometry(x, kMarginV, w, h);
            x += w + kSpacing;
        }
        p.label->show();
    }
    // What a narrow line left out or shortened is there on hovering it.
    QStringList all;
    if (compact)
        for (const Part& p : m_parts)
            if (!p.forms.isEmpty()) all << p.forms.front();
    setToolTip(all.join(QLatin1Char('\n')));
    if (m_notice) {
        // The notice has the room left of the free space.
        m_counts->hide();
        m_selection->hide();
        const int end = m_free->isVisible() ? m_free->x() - kSpacing : width() - right;
        m_notice->setGeometry(left, kMarginV, std::max(0, end - left), h);
        m_notice->show();
        m_notice->raise();
    }
}

void StatusLine::setNotice(QWidget* part) {
    if (m_notice && m_notice != part) m_notice->hide();
    m_notice = part;
    relayout();
}

}  // namespace kv
