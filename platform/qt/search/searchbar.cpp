#include "platform/qt/search/searchbar.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

#include "platform/qt/common/clearbutton.h"
#include "platform/qt/search/searchfilters.h"

namespace kv {

SearchBar::SearchBar(QWidget* parent)
    : QWidget(parent), m_field(new QLineEdit(this)), m_contents(new QCheckBox(tr("Contents"), this)) {
    setObjectName("searchBar");
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(4, 2, 4, 2);
    rows->setSpacing(2);
    auto* layout = new QHBoxLayout;
    layout->setSpacing(4);
    rows->addLayout(layout);
    auto* label = new QLabel(tr("Find:"), this);
    label->setBuddy(m_field);
    m_field->setObjectName("searchField");
    m_field->setPlaceholderText(tr("Name (or text, with Contents) to find below this folder"));
    enableClearButton(m_field);
    m_field->installEventFilter(this);
    m_contents->setObjectName("searchContents");
    m_contents->setToolTip(tr("Look for the text inside the files instead of in their names"));

    auto* options = new QToolButton(this);
    options->setObjectName("searchOptions");
    options->setText(tr("Options"));
    options->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(options);
    m_regex = menu->addAction(tr("Regular Expression"));
    m_regex->setObjectName("searchRegex");
    m_regex->setCheckable(true);
    m_case = menu->addAction(tr("Match Case"));
    m_case->setObjectName("searchCase");
    m_case->setCheckable(true);
    options->setMenu(menu);

    m_unreadable = new QLabel(this);
    m_unreadable->setObjectName("searchUnreadable");
    m_unreadable->setTextFormat(Qt::RichText);
    m_unreadable->hide();
    connect(m_unreadable, &QLabel::linkActivated, this, &SearchBar::unreadableRequested);

    auto* close = new QToolButton(this);
    close->setObjectName("searchClose");
    close->setAutoRaise(true);
    close->setText(QStringLiteral("✕"));
    close->setToolTip(tr("Close the search and show the folder"));
    close->setAccessibleName(tr("Close the search"));
    connect(close, &QToolButton::clicked, this, &SearchBar::closeRequested);

    // The filters take a row of their own, out of sight until asked for; the button says how many
    // narrow the search while the row is closed.
    m_filtersButton = new QToolButton(this);
    m_filtersButton->setObjectName("searchFiltersButton");
    m_filtersButton->setCheckable(true);
    m_filtersButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_filtersButton->setArrowType(Qt::DownArrow);
    m_filtersButton->setToolTip(tr("Files or folders only, when modified, size"));
    m_filters = new SearchFilters(this);
    m_filters->hide();
    connect(m_filtersButton, &QToolButton::toggled, this, [this](bool open) {
        m_filters->setVisible(open);
        m_filtersButton->setArrowType(open ? Qt::UpArrow : Qt::DownArrow);
        if (open) m_filters->kindBox()->setFocus(Qt::OtherFocusReason);
    });
    connect(m_filters, &SearchFilters::changed, this, &SearchBar::updateFiltersButton);
    for (QLineEdit* field : {m_filters->minSizeField(), m_filters->maxSizeField()})
        field->installEventFilter(this);
    updateFiltersButton();

    layout->addWidget(label);
    layout->addWidget(m_field, 1);
    layout->addWidget(m_contents);
    layout->addWidget(m_filtersButton);
    layout->addWidget(options);
    layout->addWidget(m_unreadable);
    layout->addWidget(close);
    rows->addWidget(m_filters);
    hide();
}

void SearchBar::updateFiltersButton() {
    const int count = m_filters->activeCount();
    m_filtersButton->setText(count == 0 ? tr("Filters") : tr("Filters (%1)").arg(count));
}

void SearchBar::open() {
    show();
    m_field->setFocus(Qt::ShortcutFocusReason);
    m_field->selectAll();
}

SearchQuery SearchBar::query() const {
    SearchQuery q;
    makeQuery(q);
    return q;
}

bool SearchBar::makeQuery(SearchQuery& q, QString* problem) const {
    q = {};
    const std::string text = m_field->text().toStdString();
    q.caseSensitive = m_case->isChecked();
    if (m_contents->isChecked()) {
        q.content = text;
        q.contentRegex = m_regex->isChecked();
        q.kind = SearchQuery::Kind::FilesOnly;
    } else {
        q.name = text;
        if (m_regex->isChecked()) q.nameMode = SearchQuery::NameMode::Regex;
    }
    return m_filters->apply(q, problem);
}

void SearchBar::submit() {
    if (m_field->text().isEmpty() && m_filters->activeCount() == 0) return;
    SearchQuery q;
    QString problem;
    if (!makeQuery(q, &problem)) {
        QWidget* at =
            m_filters->invalidField() ? static_cast<QWidget*>(m_filters->invalidField()) : m_filters;
        if (!m_filters->isVisible()) m_filtersButton->setChecked(true);
        at->setFocus(Qt::OtherFocusReason);
        QToolTip::showText(at->mapToGlobal(QPoint(0, at->height())), problem, at, {}, 6000);
        return;
    }
    emit searchRequested(q);
}

void SearchBar::setQuery(const SearchQuery& q) {
    const bool contents = !q.content.empty();
    m_contents->setChecked(contents);
    m_field->setText(QString::fromStdString(contents ? q.content : q.name));
    m_regex->setChecked(contents ? q.contentRegex : q.nameMode == SearchQuery::NameMode::Regex);
    m_case->setChecked(q.caseSensitive);
    m_filters->set(q);
    updateFiltersButton();
}

void SearchBar::setRunning(bool running) {
    m_running = running;
}

void SearchBar::setUnreadable(quint64 count) {
    m_unreadable->setVisible(count > 0);
    if (count > 0)
        m_unreadable->setText(QStringLiteral("<a href=\"#\">%1</a>")
                                  .arg(count == 1 ? tr("1 folder could not be read")
                                                  : tr("%1 folders could not be read").arg(count)));
}

bool SearchBar::eventFilter(QObject* watched, QEvent* event) {
    const bool sizeField = watched == m_filters->minSizeField() || watched == m_filters->maxSizeField();
    if ((watched != m_field && !sizeField) ||
        (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride))
        return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Escape && key != Qt::Key_Return && key != Qt::Key_Enter) return false;
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    if (key != Qt::Key_Escape) {
        submit();
    } else if (m_running) {
        emit stopRequested();
    } else {
        emit closeRequested();
    }
    return true;
}

}  // namespace kv
