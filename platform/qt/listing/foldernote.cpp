#include "platform/qt/listing/foldernote.h"

#include <QEvent>

namespace kv {

FolderNote::FolderNote(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
    setWordWrap(true);
    setAutoFillBackground(true);
    hide();
    parent->installEventFilter(this);
}

void FolderNote::showRows(int rows, int hiddenRows, bool trash) {
    if (rows > 0) {
        if (testAttribute(Qt::WA_TransparentForMouseEvents)) hide();
        return;
    }
    cover(emptyText(hiddenRows, trash), false);
}

QString FolderNote::emptyText(int hiddenRows, bool trash) {
    if (trash) return tr("The Trash is empty.");
    // Saying that hidden items exist only when they do: an empty folder is just empty.
    if (hiddenRows == 1)
        return tr("Nothing to show: 1 hidden item is not shown.\nCtrl+H shows hidden files.");
    if (hiddenRows > 1)
        return tr("Nothing to show: %1 hidden items are not shown.\nCtrl+H shows hidden files.")
            .arg(hiddenRows);
    return tr("This folder is empty.");
}

void FolderNote::showText(const QString& text) {
    cover(text, false);
}

void FolderNote::showError(const QString& text) {
    cover(text, true);
}

void FolderNote::cover(const QString& text, bool error) {
    setText(text);
    setAutoFillBackground(error);
    setAttribute(Qt::WA_TransparentForMouseEvents, !error);
    setGeometry(parentWidget()->rect());
    show();
}

bool FolderNote::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize) setGeometry(parentWidget()->rect());
    return false;
}

}  // namespace kv
