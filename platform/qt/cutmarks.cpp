#include "platform/qt/cutmarks.h"

#include <QClipboard>
#include <QGuiApplication>

#include "platform/qt/clipboardformat.h"
#include "platform/qt/foldermodel.h"

namespace kv {

CutMarks::CutMarks(FolderModel* model) : QObject(model), m_model(model) {
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &CutMarks::update);
    update();
}

void CutMarks::update() {
    const ClipboardFormat::Content content =
        ClipboardFormat::fromMimeData(QGuiApplication::clipboard()->mimeData());
    QSet<QByteArray> cut;
    if (content.cut)
        for (const QByteArray& p : content.paths) cut.insert(p);
    m_model->setCutPaths(std::move(cut));
}

}  // namespace kv
