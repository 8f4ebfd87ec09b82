#include "platform/qt/folderview/typeahead.h"

#include <QApplication>
#include <QKeyEvent>

#include "platform/qt/listing/foldermodel.h"

namespace kv {

bool TypeAhead::isTyping(const QKeyEvent* key) {
    const Qt::KeyboardModifiers m = key->modifiers() & ~Qt::KeypadModifier;
    return (m == Qt::NoModifier || m == Qt::ShiftModifier) && !key->text().isEmpty() &&
           key->text().front().isPrint() && !key->text().front().isSpace();
}

int TypeAhead::find(const QString& text, int current, const FolderModel& model) {
    if (!m_clock.isValid() || m_clock.elapsed() > QApplication::keyboardInputInterval()) m_typed.clear();
    m_clock.restart();
    const bool repeat = m_typed.size() == 1 && text == m_typed;
    if (!repeat) m_typed += text;
    const int from = current < 0 ? 0 : (m_typed.size() == 1 ? current + 1 : current);
    return model.findPrefix(m_typed, model.rowCount() ? from % model.rowCount() : 0);
}

}  // namespace kv
