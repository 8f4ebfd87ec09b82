#include "platform/qt/pane/downloadnotice.h"

#include <QAbstractItemView>
#include <QFile>
#include <QResizeEvent>

#include "platform/fs/core/paths.h"
#include "platform/qt/listing/statusline.h"
#include "platform/qt/pane/folderpane.h"

namespace kv {

DownloadNotice::DownloadNotice(FolderPane& pane, QWidget* parent) : ClickableLabel(parent), m_pane(pane) {
    setObjectName("downloadNotice");
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    // In the line's own colour (it lies on the window's colour, where a link's blue is hard to read),
    // underlined as something to click.
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    setCursor(Qt::PointingHandCursor);
    m_expiry.setSingleShot(true);
    connect(&m_expiry, &QTimer::timeout, this, &DownloadNotice::expire);
    connect(this, &ClickableLabel::clicked, this, [this] { reveal(m_pane, m_path); });
}

DownloadNotice* DownloadNotice::show(FolderPane& pane, const QString& text, const QString& name,
                                     const QByteArray& path) {
    StatusLine* line = pane.statusLine();
    if (!line) return nullptr;
    auto* notice = line->findChild<DownloadNotice*>(QString(), Qt::FindDirectChildrenOnly);
    if (!notice) notice = new DownloadNotice(pane, line);
    notice->setNews(text, name, path);
    line->setNotice(notice);
    return notice;
}

DownloadNotice* DownloadNotice::of(const FolderPane& pane) {
    StatusLine* line = pane.statusLine();
    auto* notice = line ? line->findChild<DownloadNotice*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    return notice && line->notice() == notice ? notice : nullptr;
}

void DownloadNotice::reveal(FolderPane& pane, const QByteArray& path) {
    const QByteArray folder = QByteArray::fromStdString(paths::parentOf(path.toStdString()));
    const QByteArray name = QByteArray::fromStdString(paths::baseName(path.toStdString()));
    if (pane.folder() != folder) pane.showFolder(folder);
    // Selected now where the folder shows it already, else once it is listed; either way scrolled to.
    pane.selectWhenListed(name, false);
    pane.refresh();
    pane.focusItems();
}

void DownloadNotice::setNews(const QString& text, const QString& name, const QByteArray& path) {
    m_text = text;
    m_name = name;
    m_path = path;
    setAccessibleName(text);
    setToolTip(
        tr("%1\nin %2 — click to show it")
            .arg(text, QFile::decodeName(QByteArray::fromStdString(paths::parentOf(path.toStdString())))));
    fit();
    m_expiry.start(kShownMs);
}

void DownloadNotice::resizeEvent(QResizeEvent* event) {
    ClickableLabel::resizeEvent(event);
    fit();
}

// The name gives way first: the rest of the text (a size, a reason) stays whole.
void DownloadNotice::fit() {
    const int room = contentsRect().width();
    const QFontMetrics fm = fontMetrics();
    if (room <= 0 || fm.horizontalAdvance(m_text) <= room || m_name.isEmpty() || !m_text.contains(m_name)) {
        setText(m_text);
        return;
    }
    const int rest = fm.horizontalAdvance(QString(m_text).remove(m_name));
    setText(
        QString(m_text).replace(m_name, fm.elidedText(m_name, Qt::ElideMiddle, std::max(0, room - rest))));
}

void DownloadNotice::expire() {
    if (underMouse()) {
        m_expiry.start(kShownMs / 4);
        return;
    }
    if (auto* line = qobject_cast<StatusLine*>(parentWidget()); line && line->notice() == this)
        line->setNotice(nullptr);
}

}  // namespace kv
