#include "platform/qt/foldernote.h"

#include <QEvent>

namespace kv {

FolderNote::FolderNote(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
    setWordWrap(true);
    setAutoFillBackground(true);
    hide();
    parent->installEventFilter(this);
}

void FolderNote::showRows(int rows, bool hiddenShown) {
    if (rows > 0) {
        if (testAttribute(Qt::WA_TransparentForMouseEvents)) hide();
        return;
    }
    cover(hiddenShown ? tr("This folder is empty.") : tr("No items to show (hidden items are not shown)."),
          false);
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
