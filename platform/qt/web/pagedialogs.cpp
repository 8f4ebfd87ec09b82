#include "platform/qt/web/pagedialogs.h"

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QEventLoop>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace kv {

namespace {

// What a page may put in a dialog; the rest is cut (a page can send megabytes).
constexpr int kMessageChars = 2000;
constexpr int kPromptChars = 10000;

// The panel: over the top of the page, as wide as a dialog, following the view's size. Escape
// cancels, Enter answers.
class Panel : public QFrame {
  public:
    explicit Panel(QWidget* view) : QFrame(view) {
        setObjectName("pageDialog");
        setFrameShape(QFrame::StyledPanel);
        setAutoFillBackground(true);
        view->installEventFilter(this);
    }
    void place() {
        QWidget* view = parentWidget();
        const int width = std::min(view->width() - 16, std::max(420, view->width() / 2));
        resize(width, heightForWidth(width) > 0 ? heightForWidth(width) : sizeHint().height());
        move((view->width() - this->width()) / 2, 8);
        raise();
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == parentWidget() && event->type() == QEvent::Resize) place();
        return false;
    }
};

}  // namespace

PageDialogs::PageDialogs(QWebEnginePage* page) : QObject(page), m_page(page) {
    connect(page, &QWebEnginePage::loadStarted, this, [this] {
        m_shown = 0;
        m_stopped = false;
    });
}

PageDialogs::Answer PageDialogs::ask(Kind kind, const QString& site, const QString& message,
                                     const QString& text) {
    QPointer<QWebEngineView> view = QWebEngineView::forPage(m_page);
    if (m_stopped || !view) return {kind == Kind::Alert, {}};
    ++m_shown;
    QPointer<PageDialogs> self = this;

    auto* panel = new Panel(view);
    auto* layout = new QVBoxLayout(panel);
    auto* title = new QLabel(tr("The page at %1 says:").arg(site.left(200)));
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    title->setWordWrap(true);
    layout->addWidget(title);
    auto* said = new QLabel(message.left(kMessageChars));
    said->setTextFormat(Qt::PlainText);
    said->setWordWrap(true);
    said->setTextInteractionFlags(Qt::TextSelectableByMouse);
    said->setObjectName("pageDialogMessage");
    layout->addWidget(said);
    QLineEdit* input = nullptr;
    if (kind == Kind::Prompt) {
        input = new QLineEdit(text.left(kPromptChars));
        input->setObjectName("pageDialogInput");
        layout->addWidget(input);
    }
    QCheckBox* stop = nullptr;
    if (m_shown > 1) {
        stop = new QCheckBox(tr("Don't let this page show more dialogs"));
        stop->setObjectName("pageDialogStop");
        layout->addWidget(stop);
    }
    auto* buttons = new QDialogButtonBox(
        kind == Kind::Alert ? QDialogButtonBox::Ok : QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addWidget(buttons);

    QEventLoop loop;
    bool accepted = false;
    connect(buttons, &QDialogButtonBox::accepted, &loop, [&] {
        accepted = true;
        loop.quit();
    });
    connect(buttons, &QDialogButtonBox::rejected, &loop, &QEventLoop::quit);
    for (QAbstractButton* b : buttons->buttons())
        if (auto* push = qobject_cast<QPushButton*>(b)) push->setAutoDefault(true);
    auto* escape = new QAction(panel);
    escape->setShortcut(Qt::Key_Escape);
    escape->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    panel->addAction(escape);
    connect(escape, &QAction::triggered, &loop, &QEventLoop::quit);
    if (input) connect(input, &QLineEdit::returnPressed, buttons, &QDialogButtonBox::accepted);
    // The page gone or loading another document: its dialog is gone with it.
    connect(m_page, &QObject::destroyed, &loop, &QEventLoop::quit);
    connect(view, &QObject::destroyed, &loop, &QEventLoop::quit);
    connect(m_page, &QWebEnginePage::loadStarted, &loop, &QEventLoop::quit);

    panel->place();
    panel->show();
    if (input) {
        input->selectAll();
        input->setFocus();
    } else {
        buttons->button(QDialogButtonBox::Ok)->setFocus();
    }
    // Runs the events of the whole program meanwhile; only this page waits.
    loop.exec();

    Answer answer;
    answer.accepted = accepted;
    if (view) {  // the panel went with its view otherwise
        if (input && accepted) answer.text = input->text();
        if (self && stop && stop->isChecked()) m_stopped = true;
        delete panel;
    }
    return answer;
}

}  // namespace kv
