#pragma once

#include <QElapsedTimer>
#include <QString>

class QKeyEvent;

namespace kv {

class FolderModel;

// Typing in a folder view jumps to a name. Keys typed within the keyboard interval add up to one
// search ("rep" finds "report.txt"); a single key typed again moves on to the next name with that
// letter.
class TypeAhead {
  public:
    // Whether a key is typing: a printable character, with Shift at most.
    static bool isTyping(const QKeyEvent* key);

    // The row to make current after text was typed, with current the current row (-1: none); -1
    // when no name starts with what was typed.
    int find(const QString& text, int current, const FolderModel& model);

  private:
    QString m_typed;
    QElapsedTimer m_clock;
};

}  // namespace kv
