#include "platform/qt/web/webfindbar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <QWebEngineFindTextResult>
#include <QWebEngineView>

#include "platform/qt/common/clearbutton.h"

namespace kv {

namespace {
constexpr int kTypingPause = 250;  // ms
// The engine (Qt 6.4) goes on answering a new search for a while after its first answer (it counts
// the matches), and a next search started meanwhile gets those late answers (none found, or the
// match before): going to the next match waits that long after a new search.
constexpr int kSettle = 1000;  // ms
// On a busy machine the engine counts for longer than that: a step to the next match answered with
// none found, or with the match it was on, did nothing, and is asked again this much later, for as
// long as the new search is this recent.
constexpr int kRetry = 250;          // ms
constexpr int kRetryWithin = 15000;  // ms
}  // namespace

WebFindBar::WebFindBar(QWebEngineView* view)
    : QWidget(view),
      m_view(view),
      m_field(new QLineEdit(this)),
      m_result(new QLabel(this)),
      m_typing(new QTimer(this)),
      m_later(new QTimer(this)) {
    setObjectName("webFindBar");
    setAutoFillBackground(true);
    m_field->setObjectName("findField");
    m_field->setPlaceholderText(tr("Find in page"));
    enableClearButton(m_field);
    m_field->installEventFilter(this);
    m_result->setObjectName("findResult");
    auto* previous = new QToolButton(this);
    previous->setArrowType(Qt::UpArrow);
    previous->setToolTip(tr("Previous match (Shift+F3)"));
    previous->setAccessibleName(tr("Previous match"));
    auto* next = new QToolButton(this);
    next->setArrowType(Qt::DownArrow);
    next->setToolTip(tr("Next match (F3)"));
    next->setAccessibleName(tr("Next match"));
    auto* done = new QToolButton(this);
    done->setText(QStringLiteral("✕"));
    done->setToolTip(tr("Close (Escape)"));
    done->setAccessibleName(tr("Close"));
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
    // Find as you type, once the typing pauses.
    m_typing->setSingleShot(true);
    m_typing->setInterval(kTypingPause);
    connect(m_typing, &QTimer::timeout, this, [this] { find(false); });
    m_later->setSingleShot(true);
    connect(m_later, &QTimer::timeout, this, [this] { find(m_laterBackward); });
    connect(m_field, &QLineEdit::textEdited, m_typing, qOverload<>(&QTimer::start));
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
    m_searched.clear();
    m_matches = 0;
    m_active = 0;
    m_view->page()->findText(QString());  // no more highlights
    m_view->setFocus(Qt::OtherFocusReason);
}

void WebFindBar::find(bool backward) {
    m_typing->stop();
    m_later->stop();
    if (m_answered.isValid() && m_answered.elapsed() < kSettle) {
        m_laterBackward = backward;
        m_later->start(static_cast<int>(kSettle - m_answered.elapsed()));
        return;
    }
    const QString text = m_field->text();
    const int request = ++m_request;
    if (text.isEmpty()) {
        m_result->clear();
        m_view->page()->findText(QString());
        return;
    }
    const bool fresh = text != m_searched;
    m_searched = text;
    QPointer<WebFindBar> self(this);
    m_view->page()->findText(text, backward ? QWebEnginePage::FindBackward : QWebEnginePage::FindFlags(),
                             [self, request, fresh, backward](const QWebEngineFindTextResult& result) {
                                 // Answers to searches that a later one replaced are left out.
                                 if (!self || request != self->m_request) return;
                                 if (fresh) self->m_answered.start();
                                 self->found(result, fresh, backward);
                             });
}

void WebFindBar::found(const QWebEngineFindTextResult& result, bool fresh, bool backward) {
    if (m_field->text().isEmpty()) return;
    const bool stale =
        result.numberOfMatches() == 0 || (result.numberOfMatches() > 1 && result.activeMatch() == m_active);
    if (!fresh && m_matches > 0 && stale && m_answered.isValid() && m_answered.elapsed() < kRetryWithin) {
        m_laterBackward = backward;
        m_later->start(kRetry);
        return;
    }
    m_matches = result.numberOfMatches();
    m_active = result.activeMatch();
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
