#include "platform/qt/location/breadcrumbbar.h"

#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QStyle>
#include <QToolButton>
#include <cstring>
#include <optional>

#include "platform/fs/archives/archivelocation.h"
#include "platform/fs/core/background.h"
#include "platform/fs/listing/subfolders.h"
#include "platform/qt/common/nametext.h"
#include "platform/qt/common/standardicons.h"

namespace kv {

namespace {

// A menu of ten thousand folders helps nobody and takes long to build.
constexpr int kMenuLimit = 500;

QByteArray joined(const QByteArray& folder, const QByteArray& name) {
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

QString titleOf(const QByteArray& folder) {
    if (folder == "/") return QStringLiteral("/");
    return NameText::shown(folder.mid(folder.lastIndexOf('/') + 1).toStdString());
}

// A place that is not a path (the trash) keeps the slash after its scheme: "trash:/".
QByteArray trimmed(QByteArray path) {
    while (path.size() > 1 && path.endsWith('/') && (path.startsWith('/') || !path.endsWith(":/")))
        path.chop(1);
    return path;
}

QToolButton* makeButton(QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return b;
}

}  // namespace

BreadcrumbBar::BreadcrumbBar(QWidget* parent) : QWidget(parent), m_more(makeButton(this)) {
    m_more->setObjectName("hiddenCrumbs");
    m_more->setText(QStringLiteral("…"));
    m_more->setToolTip(tr("Folders in between"));
    m_more->setAccessibleName(tr("Folders in between"));
    m_more->hide();
    connect(m_more, &QToolButton::clicked, this, &BreadcrumbBar::showHidden);
    setCursor(Qt::IBeamCursor);  // the empty part turns into a text field
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void BreadcrumbBar::clear() {
    // Later: the click on a crumb that opens its folder is still being handled by that crumb.
    for (Crumb& c : m_crumbs) {
        c.button->hide();
        c.button->deleteLater();
        c.arrow->hide();
        c.arrow->deleteLater();
    }
    m_crumbs.clear();
}

void BreadcrumbBar::setPath(const QByteArray& root, const QString& rootTitle, const QByteArray& path) {
    QByteArray p = trimmed(path);
    // Inside an archive: the folders down to the archive file, whose crumb is the archive's top, then
    // the folders inside it.
    const std::optional<ArchiveLocation> inArchive =
        ArchiveLocation::parse(std::string_view(p.constData(), static_cast<size_t>(p.size())));
    if (inArchive) p = QByteArray::fromStdString(inArchive->archive);
    QByteArray r = trimmed(root);
    const bool under = r.endsWith('/') ? p.startsWith(r) : (p == r || p.startsWith(r + '/'));
    if (!under) r = p.startsWith('/') ? QByteArray("/") : p;
    const QByteArray shown = inArchive ? trimmed(path) : p;
    if (shown == m_path && !m_crumbs.empty() && m_crumbs.front().folder == r &&
        m_crumbs.front().title == (rootTitle.isEmpty() ? titleOf(r) : rootTitle))
        return;
    clear();
    m_path = shown;
    std::vector<QByteArray> folders{r};
    std::vector<QString> titles;
    // at: the slash before the next name.
    qsizetype at = r.endsWith('/') ? r.size() - 1 : r.size();
    while (at < p.size()) {
        qsizetype next = p.indexOf('/', at + 1);
        if (next < 0) next = p.size();
        if (next > at + 1) folders.push_back(p.left(next));
        at = next;
    }
    for (const QByteArray& f : folders) titles.push_back(titleOf(f));
    size_t firstInArchive = folders.size();
    if (inArchive) {
        folders.back() = QByteArray::fromStdString(ArchiveLocation::make(inArchive->archive));
        firstInArchive = folders.size() - 1;
        std::vector<ArchiveLocation> inner;
        for (std::optional<ArchiveLocation> at = inArchive; at && !at->inner.empty(); at = at->parent())
            inner.push_back(*at);
        for (auto it = inner.rbegin(); it != inner.rend(); ++it) {
            folders.push_back(QByteArray::fromStdString(it->text()));
            const size_t slash = it->inner.rfind('/');
            titles.push_back(
                NameText::shown(slash == std::string::npos ? it->inner : it->inner.substr(slash + 1)));
        }
    }
    if (!rootTitle.isEmpty()) titles.front() = rootTitle;
    for (size_t i = 0; i < folders.size(); ++i) {
        Crumb c;
        c.folder = folders[i];
        c.title = titles[i];
        c.button = makeButton(this);
        c.button->setObjectName("crumb");
        c.button->setText(c.title);
        c.button->setToolTip(NameText::shown(i >= firstInArchive
                                                 ? ArchiveLocation::parse(c.folder.toStdString())->shown()
                                                 : c.folder.toStdString()));
        c.button->setCursor(Qt::ArrowCursor);
        c.arrow = makeButton(this);
        c.arrow->setObjectName("crumbArrow");
        c.arrow->setToolButtonStyle(Qt::ToolButtonIconOnly);  // the arrow is drawn as its icon
        c.arrow->setArrowType(Qt::RightArrow);
        c.arrow->setToolTip(tr("Folders in %1").arg(c.title));
        c.arrow->setAccessibleName(c.arrow->toolTip());
        c.arrow->setCursor(Qt::ArrowCursor);
        // An archive's folders and the trash are not on disk to be read: their arrows only separate.
        c.arrow->setEnabled(i < firstInArchive && c.folder.startsWith('/'));
        const QByteArray folder = c.folder;
        const QByteArray next = i + 1 < folders.size() ? folders[i + 1] : QByteArray();
        connect(c.button, &QToolButton::clicked, this, [this, folder] { emit folderClicked(folder); });
        connect(c.arrow, &QToolButton::clicked, this, [this, i, next] {
            if (i < m_crumbs.size()) showSubfolders(m_crumbs[i], next);
        });
        m_crumbs.push_back(c);
    }
    relayout();
    updateGeometry();
}

int BreadcrumbBar::arrowWidth() const {
    return fontMetrics().height() * 3 / 4 + 2;
}

void BreadcrumbBar::relayout() {
    const int h = height();
    const int aw = arrowWidth();
    const int n = static_cast<int>(m_crumbs.size());
    std::vector<int> widths;
    int total = 0;
    for (Crumb& c : m_crumbs) {
        c.button->setText(c.title);
        c.hidden = false;
        widths.push_back(c.button->sizeHint().width());
        total += widths.back() + aw;
    }
    // What gives way, until the folder shown fits whole: the middle folders, nearest the root first,
    // so the folders next to the one shown stay longest; then the root; then the arrow after the
    // folder shown. The "…" button offers the folders hidden.
    const int moreWidth = m_more->sizeHint().width();
    bool eliding = false;
    auto hide = [&](int i) {
        if (!eliding) total += moreWidth;
        eliding = true;
        m_crumbs[static_cast<size_t>(i)].hidden = true;
        total -= widths[static_cast<size_t>(i)] + aw;
    };
    for (int i = 1; i < n - 1 && total > width(); ++i) hide(i);
    if (n > 1 && total > width()) hide(0);
    const bool lastArrow = total <= width();
    if (!lastArrow) total -= aw;
    int x = 0;
    auto placeMore = [&] {
        m_more->setGeometry(x, 0, moreWidth, h);
        x += moreWidth;
    };
    if (eliding && m_crumbs.front().hidden) placeMore();
    for (int i = 0; i < n; ++i) {
        Crumb& c = m_crumbs[static_cast<size_t>(i)];
        const bool arrow = !c.hidden && (i < n - 1 || lastArrow);
        c.button->setVisible(!c.hidden);
        c.arrow->setVisible(arrow);
        if (c.hidden) continue;
        int w = widths[static_cast<size_t>(i)];
        if (i == n - 1 && total > width()) {
            // Even alone the folder shown is too wide: its name is shortened.
            const int room = std::max(aw * 2, w - (total - width()));
            const int text = c.button->fontMetrics().horizontalAdvance(c.title);
            c.button->setText(
                c.button->fontMetrics().elidedText(c.title, Qt::ElideMiddle, text - (w - room)));
            w = room;
        }
        c.button->setGeometry(x, 0, w, h);
        x += w;
        if (arrow) {
            c.arrow->setGeometry(x, 0, aw, h);
            x += aw;
        }
        if (i == 0 && eliding) placeMore();
    }
    m_more->setVisible(eliding);
}

QList<QByteArray> BreadcrumbBar::shownFolders() const {
    QList<QByteArray> out;
    for (const Crumb& c : m_crumbs)
        if (!c.hidden) out << c.folder;
    return out;
}

QList<QByteArray> BreadcrumbBar::hiddenFolders() const {
    QList<QByteArray> out;
    for (const Crumb& c : m_crumbs)
        if (c.hidden) out << c.folder;
    return out;
}

QToolButton* BreadcrumbBar::buttonOf(const QByteArray& folder, bool arrow) const {
    for (const Crumb& c : m_crumbs)
        if (c.folder == folder) return arrow ? c.arrow : c.button;
    return nullptr;
}

QSize BreadcrumbBar::sizeHint() const {
    int w = 0;
    for (const Crumb& c : m_crumbs) w += c.button->sizeHint().width() + arrowWidth();
    return {w, m_more->sizeHint().height()};
}

QSize BreadcrumbBar::minimumSizeHint() const {
    return {arrowWidth() * 4, m_more->sizeHint().height()};
}

void BreadcrumbBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    relayout();
}

void BreadcrumbBar::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        relayout();
        updateGeometry();
    }
}

void BreadcrumbBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit editRequested();
        return;
    }
    QWidget::mousePressEvent(event);
}

void BreadcrumbBar::showSubfolders(const Crumb& crumb, const QByteArray& next) {
    auto* menu = new QMenu(this);
    menu->setObjectName("subfolderMenu");
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* waiting = menu->addAction(tr("Reading…"));
    waiting->setEnabled(false);
    const QByteArray folder = crumb.folder;
    // Reading a folder may block on a slow or dead mount; the menu is there at once and fills in.
    runInBackground(
        menu, [folder] { return SubFolders::list(folder); },
        [this, menu, waiting, folder, next](const SubFolders::Result& r) {
            const QIcon icon = StandardIcons::standard(QStyle::SP_DirIcon);
            menu->removeAction(waiting);
            delete waiting;
            if (r.error != 0) {
                menu->addAction(tr("Cannot be read: %1").arg(QString::fromLocal8Bit(std::strerror(r.error))))
                    ->setEnabled(false);
            } else if (r.names.empty()) {
                menu->addAction(tr("No folders"))->setEnabled(false);
            }
            int count = 0;
            for (const QByteArray& name : r.names) {
                if (++count > kMenuLimit) {
                    menu->addAction(tr("%n more", nullptr, static_cast<int>(r.names.size()) - kMenuLimit))
                        ->setEnabled(false);
                    break;
                }
                const QByteArray path = joined(folder, name);
                QAction* a = menu->addAction(icon, NameText::shown(name.toStdString()));
                a->setData(path);
                if (path == next) {
                    QFont bold = a->font();
                    bold.setBold(true);
                    a->setFont(bold);
                }
                connect(a, &QAction::triggered, this, [this, path] { emit folderClicked(path); });
            }
        });
    QToolButton* under = crumb.arrow;
    menu->popup(under->mapToGlobal(QPoint(0, under->height())));
}

void BreadcrumbBar::showHidden() {
    auto* menu = new QMenu(this);
    menu->setObjectName("hiddenCrumbMenu");
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const Crumb& c : m_crumbs) {
        if (!c.hidden) continue;
        const QByteArray folder = c.folder;
        QAction* a = menu->addAction(StandardIcons::standard(QStyle::SP_DirIcon), c.title);
        a->setData(folder);
        connect(a, &QAction::triggered, this, [this, folder] { emit folderClicked(folder); });
    }
    menu->popup(m_more->mapToGlobal(QPoint(0, m_more->height())));
}

}  // namespace kv
