#include "platform/qt/searchbar.h"

#include <QAction>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>

namespace kv {

SearchBar::SearchBar(QWidget* parent)
    : QWidget(parent), m_field(new QLineEdit(this)), m_contents(new QCheckBox(tr("Contents"), this)) {
    setObjectName("searchBar");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(4);
    auto* label = new QLabel(tr("Find:"), this);
    label->setBuddy(m_field);
    m_field->setObjectName("searchField");
    m_field->setPlaceholderText(tr("Name (or text, with Contents) to find below this folder"));
    m_field->setClearButtonEnabled(true);
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
    connect(close, &QToolButton::clicked, this, &SearchBar::closeRequested);

    layout->addWidget(label);
    layout->addWidget(m_field, 1);
    layout->addWidget(m_contents);
    layout->addWidget(options);
    layout->addWidget(m_unreadable);
    layout->addWidget(close);
    hide();
}

void SearchBar::open() {
    show();
    m_field->setFocus(Qt::ShortcutFocusReason);
    m_field->selectAll();
}

SearchQuery SearchBar::query() const {
    SearchQuery q;
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
    return q;
}

void SearchBar::setQuery(const SearchQuery& q) {
    const bool contents = !q.content.empty();
    m_contents->setChecked(contents);
    m_field->setText(QString::fromStdString(contents ? q.content : q.name));
    m_regex->setChecked(contents ? q.contentRegex : q.nameMode == SearchQuery::NameMode::Regex);
    m_case->setChecked(q.caseSensitive);
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
    if (watched != m_field ||
        (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride))
        return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Escape && key != Qt::Key_Return && key != Qt::Key_Enter) return false;
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    if (key != Qt::Key_Escape) {
        if (!m_field->text().isEmpty()) emit searchRequested(query());
    } else if (m_running) {
        emit stopRequested();
    } else {
        emit closeRequested();
    }
    return true;
}

}  // namespace kv
