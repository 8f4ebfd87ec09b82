#include "platform/qt/search/filterbar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

#include "platform/qt/common/clearbutton.h"

namespace kv {

FilterBar::FilterBar(QWidget* parent) : QWidget(parent), m_field(new QLineEdit(this)) {
    setObjectName("filterBar");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(4);
    auto* label = new QLabel(tr("Filter:"), this);
    label->setBuddy(m_field);
    m_field->setObjectName("filterField");
    m_field->setPlaceholderText(tr("Part of a name, or a pattern such as *.txt"));
    enableClearButton(m_field);
    m_field->installEventFilter(this);
    auto* close = new QToolButton(this);
    close->setObjectName("filterClose");
    close->setAutoRaise(true);
    close->setText(QStringLiteral("✕"));
    close->setToolTip(tr("Close the filter (Esc)"));
    close->setAccessibleName(tr("Close the filter"));
    layout->addWidget(label);
    layout->addWidget(m_field, 1);
    layout->addWidget(close);
    connect(m_field, &QLineEdit::textChanged, this, &FilterBar::textChanged);
    connect(close, &QToolButton::clicked, this, [this] {
        dismiss();
        emit dismissed();
    });
    hide();
}

void FilterBar::open() {
    show();
    m_field->setFocus(Qt::ShortcutFocusReason);
    m_field->selectAll();
}

void FilterBar::dismiss() {
    m_field->clear();
    hide();
}

QString FilterBar::text() const {
    return m_field->text();
}

bool FilterBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_field ||
        (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride))
        return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Escape && key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Down)
        return false;
    // Claimed before a window shortcut takes the key.
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    if (key == Qt::Key_Escape) {
        dismiss();
        emit dismissed();
    } else {
        emit leave();
    }
    return true;
}

}  // namespace kv
