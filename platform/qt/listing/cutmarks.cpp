#include "platform/qt/listing/cutmarks.h"

#include <QClipboard>
#include <QGuiApplication>

#include "platform/qt/common/clipboardformat.h"
#include "platform/qt/listing/foldermodel.h"

namespace kv {

CutMarks::CutMarks(FolderModel* model) : QObject(model), m_model(model) {
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &CutMarks::update);
    update();
}

void CutMarks::update() {
    // Only our own cut is read: asking another program for its clipboard is a round trip to it, on the
    // UI thread, for every pane, each time anything anywhere is copied. Platforms without a display
    // server have no other program to ask (and do not track ownership).
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QString platform = QGuiApplication::platformName();
    const bool ours = clipboard->ownsClipboard() || platform == "offscreen" || platform == "minimal";
    const ClipboardFormat::Content content =
        ours ? ClipboardFormat::fromMimeData(clipboard->mimeData()) : ClipboardFormat::Content{};
    QSet<QByteArray> cut;
    if (content.cut)
        for (const QByteArray& p : content.paths) cut.insert(p);
    m_model->setCutPaths(std::move(cut));
}

}  // namespace kv
