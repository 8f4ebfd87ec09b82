#include "platform/qt/jobs/undostack.h"

namespace kv {

UndoStack::UndoStack(QObject* parent, std::size_t limit) : QObject(parent), m_limit(limit) {}

QString UndoStack::describe(const UndoInfo& info) {
    const std::size_t n = info.moved.size() + info.created.size() + info.trashed.size();
    const QString what = n == 1 ? tr("1 item") : tr("%1 items").arg(n);
    switch (info.kind) {
        case UndoInfo::Kind::Rename:
            return tr("Rename");
        case UndoInfo::Kind::RenameMany:
            return tr("Rename of %1").arg(what);
        case UndoInfo::Kind::Move:
            return tr("Move of %1").arg(what);
        case UndoInfo::Kind::Copy:
            return tr("Copy of %1").arg(what);
        case UndoInfo::Kind::NewFolder:
            return tr("New Folder");
        case UndoInfo::Kind::NewFile:
            return tr("New File");
        case UndoInfo::Kind::Download:
            return tr("Download of %1").arg(what);
        case UndoInfo::Kind::Extract:
            return tr("Extraction of %1").arg(what);
        case UndoInfo::Kind::Compress:
            return tr("New Archive");
        case UndoInfo::Kind::Link:
            return n == 1 ? tr("Link") : tr("%1 Links").arg(n);
        case UndoInfo::Kind::Trash:
            return tr("Move of %1 to the Trash").arg(what);
        case UndoInfo::Kind::None:
            break;
    }
    return {};
}

void UndoStack::push(UndoInfo info) {
    if (info.kind == UndoInfo::Kind::None || info.empty()) return;
    QString description = describe(info);
    m_entries.push_back({std::move(info), std::move(description)});
    while (m_entries.size() > m_limit) m_entries.pop_front();
    emit changed();
}

std::optional<UndoStack::Entry> UndoStack::pop() {
    if (m_entries.empty()) return std::nullopt;
    Entry e = std::move(m_entries.back());
    m_entries.pop_back();
    emit changed();
    return e;
}

QString UndoStack::nextDescription() const {
    return m_entries.empty() ? QString() : m_entries.back().description;
}

}  // namespace kv
