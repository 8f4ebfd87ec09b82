#pragma once

#include <QObject>
#include <QString>
#include <deque>
#include <optional>

#include "platform/fs/jobs/undoinfo.h"

namespace kv {

// What this run of the program can still undo, newest last: renames, moves, copies, new folders and
// moves to the trash, from every pane of every window alike. Deleting for good is never on it.
class UndoStack : public QObject {
    Q_OBJECT
  public:
    struct Entry {
        UndoInfo info;
        QString description;  // "Rename", "Move of 3 items"
    };

    explicit UndoStack(QObject* parent = nullptr, std::size_t limit = 100);

    // Jobs that did nothing leave nothing to undo and are not recorded.
    void push(UndoInfo info);
    std::optional<Entry> pop();
    bool canUndo() const { return !m_entries.empty(); }
    QString nextDescription() const;
    std::size_t size() const { return m_entries.size(); }

    static QString describe(const UndoInfo& info);

  signals:
    void changed();

  private:
    std::deque<Entry> m_entries;
    std::size_t m_limit;
};

}  // namespace kv
