#include "platform/qt/webfindbar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QToolButton>
#include <QWebEngineFindTextResult>
#include <QWebEngineView>

namespace kv {

WebFindBar::WebFindBar(QWebEngineView* view)
    : QWidget(view), m_view(view), m_field(new QLineEdit(this)), m_result(new QLabel(this)) {
    setObjectName("webFindBar");
    setAutoFillBackground(true);
    m_field->setObjectName("findField");
    m_field->setPlaceholderText(tr("Find in page"));
    m_field->setClearButtonEnabled(true);
    m_field->installEventFilter(this);
    m_result->setObjectName("findResult");
    auto* previous = new QToolButton(this);
    previous->setArrowType(Qt::UpArrow);
    previous->setToolTip(tr("Previous match (Shift+F3)"));
    auto* next = new QToolButton(this);
    next->setArrowType(Qt::DownArrow);
    next->setToolTip(tr("Next match (F3)"));
    auto* done = new QToolButton(this);
    done->setText(QStringLiteral("✕"));
    done->setToolTip(tr("Close (Escape)"));
    done->setAutoRaise(true);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 4, 4, 4);
    row->setSpacing(4);
    row->addWidget(m_field);
    row->addWidget(m_result);
    row->addWidget(previous);
    row->addWidget(next);
    row->addWidget(done);
    connect(previous, &QToolButton::clicked, this, [this] { find(true); });
    connect(next, &QToolButton::clicked, this, [this] { find(false); });
    connect(done, &QToolButton::clicked, this, &WebFindBar::close);
    connect(m_field, &QLineEdit::textEdited, this, [this] { find(false); });
    connect(m_view->page(), &QWebEnginePage::findTextFinished, this, &WebFindBar::found);
    hide();
}

void WebFindBar::place() {
    const QSize size = sizeHint().expandedTo(QSize(320, 0));
    const QRect area = m_view->rect();
    setGeometry(QRect(QPoint(area.right() - size.width() - 12, area.bottom() - size.height() - 12), size));
}

void WebFindBar::open() {
    place();
    show();
    raise();
    m_field->setFocus(Qt::ShortcutFocusReason);
    m_field->selectAll();
    if (!m_field->text().isEmpty()) find(false);
}

void WebFindBar::close() {
    hide();
    m_result->clear();
    m_view->page()->findText(QString());  // no more highlights
    m_view->setFocus(Qt::OtherFocusReason);
}

void WebFindBar::find(bool backward) {
    const QString text = m_field->text();
    if (text.isEmpty()) {
        m_result->clear();
        m_view->page()->findText(QString());
        return;
    }
    m_view->page()->findText(text, backward ? QWebEnginePage::FindBackward : QWebEnginePage::FindFlags());
}

void WebFindBar::found(const QWebEngineFindTextResult& result) {
    if (m_field->text().isEmpty()) return;
    if (result.numberOfMatches() == 0)
        m_result->setText(tr("No matches"));
    else
        m_result->setText(tr("%1 of %2").arg(result.activeMatch()).arg(result.numberOfMatches()));
    place();
}

QString WebFindBar::resultText() const {
    return m_result->text();
}

bool WebFindBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_field) return false;
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool shift = key->modifiers() & Qt::ShiftModifier;
    if (event->type() == QEvent::ShortcutOverride) {
        // The bar's keys before any of the window's shortcuts.
        const int k = key->key();
        if (k != Qt::Key_Escape && k != Qt::Key_Return && k != Qt::Key_Enter && k != Qt::Key_F3) return false;
        event->accept();
        return true;
    }
    switch (key->key()) {
        case Qt::Key_Escape:
            close();
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_F3:
            find(shift);
            return true;
        default:
            return false;
    }
}

}  // namespace kv
