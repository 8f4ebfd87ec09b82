// The widget factory: a window's record made into its window, and each control record into its widget.
#include "platform/qt/forms/widgetfactory.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QFontDatabase>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <algorithm>
#include <cmath>

#include "platform/forms/twips.h"
#include "platform/qt/common/clickablelabel.h"
#include "platform/qt/forms/drivelist.h"
#include "platform/qt/forms/formwindow.h"
#include "platform/qt/pane/windowpanes.h"
#include "platform/qt/tabs/browsertabs.h"
#include "platform/qt/tabs/sessionkeeper.h"

// The pictures are compiled into this static library; their registration has to be asked for.
static void registerPictures() {
    Q_INIT_RESOURCE(pictures);
}

namespace kv {

namespace {

// How far right of an option button a label may start and still be its caption, in twips.
constexpr int kCaptionGap = 600;

QColor colourOf(const Colour& c, const QPalette& palette) {
    if (c.type == Colour::Type::Rgb) return QColor(c.r, c.g, c.b);
    switch (static_cast<SysColour>(c.system)) {
        case SysColour::ScrollBar:
            return palette.color(QPalette::Button);
        case SysColour::CaptionText:
            return palette.color(QPalette::Base);
        case SysColour::Highlight:
            return palette.color(QPalette::Highlight);
        case SysColour::HighlightText:
            return palette.color(QPalette::HighlightedText);
    }
    return palette.color(QPalette::Window);
}

// "MS Sans Serif" is shown in a sans serif face of the same widths where one is installed (the captions
// were sized for them), else in the desktop's own sans serif face, at the same point size.
QFont fontOf(const FontRecord& f) {
    static const bool metricFace = QFontDatabase::hasFamily(QStringLiteral("Liberation Sans"));
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    if (f.face != "MS Sans Serif") {
        font.setFamily(QString::fromStdString(f.face));
    } else if (metricFace) {
        font.setFamily(QStringLiteral("Liberation Sans"));
    }
    font.setPointSizeF(f.points);
    font.setBold(f.bold);
    return font;
}

// The desktop's font with every property set, so that a view does not take its window's font instead.
QFont desktopFont() {
    const QFont base = QApplication::font();
    QFont f;
    f.setFamily(base.family());
    f.setPointSizeF(base.pointSizeF());
    f.setWeight(base.weight());
    f.setItalic(base.italic());
    return f;
}

void paint(QWidget* w, QPalette::ColorRole role, const Colour& c) {
    if (c.isDefault()) return;
    QPalette p = w->palette();
    p.setColor(role, colourOf(c, p));
    w->setPalette(p);
    if (role == QPalette::Window) w->setAutoFillBackground(true);
}

}  // namespace

int pixels(float twips) {
    return static_cast<int>(std::lround(static_cast<double>(twips) / kTwipsPerPixel));
}

QRect pixelRect(float left, float top, float width, float height) {
    return QRect(pixels(left), pixels(top), std::max(0, pixels(width)), std::max(0, pixels(height)));
}

QString displayText(const std::string& text) {
    QString t = QString::fromStdString(text);
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return t;
}

WidgetFactory::WidgetFactory(FormWindowHost& host, const PaneServices& services)
    : m_host(host), m_services(services) {
    registerPictures();
}

WindowShell WidgetFactory::build(const WindowRecord& r) const {
    WindowShell shell;
    auto* window = new FormWindow(m_host);
    shell.window = window;
    window->setWindowTitle(QString::fromStdString(r.caption));
    if (r.border == Border::None) window->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    if (!r.icon.empty())
        window->setWindowIcon(QIcon::fromTheme(QStringLiteral("kestrovan"),
                                               QIcon(":/pictures/" + QString::fromStdString(r.icon))));
    auto* client = new QWidget(window);
    client->setObjectName(QStringLiteral("client"));
    window->setCentralWidget(client);
    paint(client, QPalette::Window, r.back);
    client->setFont(fontOf(r.font ? *r.font : defaultFont()));

    for (const MenuRecord& m : r.menu) {
        QAction* item = window->menuBar()->addAction(QString::fromStdString(m.caption));
        item->setObjectName(QString::fromStdString(m.name));
        shell.menu.push_back(item);
    }

    std::vector<std::pair<int, QWidget*>> focusOrder;
    for (const ControlRecord& c : r.controls) {
        QWidget* w = createWidget(c, r, client);
        w->setGeometry(pixelRect(c.left, c.top, c.width, c.height));
        w->setVisible(c.visible);
        w->setEnabled(c.enabled);
        if (c.tabIndex && w->focusPolicy() != Qt::NoFocus) focusOrder.emplace_back(*c.tabIndex, w);
        shell.widgets.push_back(w);
    }
    // The option buttons of a window are one exclusive group: a chosen one is cleared only by choosing
    // another, so a lone one cannot be cleared at all. A label on the same line just right of one is
    // its caption, and a click on it chooses the button.
    QButtonGroup* options = nullptr;
    for (size_t i = 0; i < r.controls.size(); ++i) {
        const ControlRecord& option = r.controls[i];
        if (option.kind != ControlKind::OptionButton) continue;
        auto* button = static_cast<QRadioButton*>(shell.widgets[i]);
        if (!options) options = new QButtonGroup(client);
        options->addButton(button);
        for (size_t j = 0; j < r.controls.size(); ++j) {
            const ControlRecord& label = r.controls[j];
            const int gap = label.left - (option.left + option.width);
            if (label.kind != ControlKind::Label || label.top != option.top || gap < 0 || gap > kCaptionGap)
                continue;
            QObject::connect(static_cast<ClickableLabel*>(shell.widgets[j]), &ClickableLabel::clicked, button,
                             [button] {
                                 if (button->isEnabled()) button->click();
                             });
        }
    }
    // A label that other controls lie on is a background band: it goes below them, so they stay visible
    // and clickable.
    shell.bands.assign(r.controls.size(), false);
    for (size_t i = 0; i < r.controls.size(); ++i) {
        if (r.controls[i].kind != ControlKind::Label) continue;
        const QRect band = shell.widgets[i]->geometry();
        for (size_t j = 0; j < r.controls.size(); ++j)
            if (j != i && shell.widgets[j]->geometry().intersects(band)) {
                shell.widgets[i]->lower();
                shell.bands[i] = true;
                break;
            }
    }
    std::stable_sort(focusOrder.begin(), focusOrder.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 1; i < focusOrder.size(); ++i)
        QWidget::setTabOrder(focusOrder[i - 1].second, focusOrder[i].second);

    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    if (r.state == WindowState::Maximized) {
        // Also on a bare X server with no window manager, where showMaximized alone changes nothing: the
        // load step then reads the maximized width.
        window->setGeometry(avail);
    } else {
        const int menu = r.menu.empty() ? 0 : window->menuBar()->sizeHint().height();
        window->resize(pixels(static_cast<float>(r.clientWidth)),
                       pixels(static_cast<float>(r.clientHeight)) + menu);
        window->move(avail.center() - window->rect().center());
    }
    return shell;
}

QWidget* WidgetFactory::createWidget(const ControlRecord& r, const WindowRecord& wr, QWidget* client) const {
    QWidget* w = nullptr;
    switch (r.kind) {
        case ControlKind::BrowserView: {
            auto* tabs = new BrowserTabs(m_services, r.role, client);
            SessionKeeper::shared().add(*tabs);
            w = tabs;
            break;
        }
        case ControlKind::DriveList:
            w = new DriveList(client);
            break;
        case ControlKind::Label:
        case ControlKind::Image: {
            auto* label = new ClickableLabel(client);
            if (r.kind == ControlKind::Image) {
                label->setPixmap(QPixmap(":/pictures/" + QString::fromStdString(r.picture)));
                label->setCursor(Qt::PointingHandCursor);
            } else {
                label->setTextFormat(Qt::PlainText);
                label->setText(QString::fromStdString(r.caption));
                label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            }
            label->setFocusPolicy(Qt::NoFocus);
            w = label;
            break;
        }
        case ControlKind::TextBox: {
            if (r.multiLine) {
                auto* box = new QPlainTextEdit(client);
                box->setPlainText(displayText(r.caption));
                box->setReadOnly(true);
                box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
                w = box;
            } else {
                auto* box = new QLineEdit(client);
                box->setText(QString::fromStdString(r.caption));
                w = box;
            }
            break;
        }
        case ControlKind::CommandButton:
            w = new QPushButton(QString::fromStdString(r.caption), client);
            break;
        case ControlKind::OptionButton:
            w = new QRadioButton(QString::fromStdString(r.caption), client);
            break;
    }
    w->setObjectName(QString::fromStdString(r.name));
    // A browser view shows folders and pages in the desktop's own font, not the window's.
    w->setFont(r.kind == ControlKind::BrowserView ? desktopFont() : fontOf(wr.fontOf(r)));
    paint(w, QPalette::Window, r.back);
    paint(w, QPalette::WindowText, r.fore);
    if (r.toolTip) {
        w->setToolTip(QString::fromStdString(*r.toolTip));
        w->setAccessibleDescription(QString::fromStdString(*r.toolTip));
    }
    // Screen readers find labels and buttons by their captions, everything else by its name.
    const bool captioned = r.kind == ControlKind::Label || r.kind == ControlKind::CommandButton ||
                           r.kind == ControlKind::OptionButton;
    w->setAccessibleName(QString::fromStdString(captioned ? r.caption : r.name));
    return w;
}

}  // namespace kv
