#include "platform/qt/web/downloadlist.h"

#include <QCoreApplication>

#include "platform/qt/common/sizetext.h"

namespace kv {

DownloadList& DownloadList::instance() {
    // The application's child: it goes with the application, and its entries' pages before it.
    static QPointer<DownloadList> list;
    if (!list) list = new DownloadList(QCoreApplication::instance());
    return *list;
}

quint64 DownloadList::add(Entry entry) {
    entry.id = m_next++;
    m_entries.push_back(std::move(entry));
    emit added(m_entries.back().id);
    return m_entries.back().id;
}

void DownloadList::change(quint64 id, const std::function<void(Entry&)>& how) {
    for (Entry& e : m_entries)
        if (e.id == id) {
            how(e);
            emit changed(id);
            return;
        }
}

const DownloadList::Entry* DownloadList::find(quint64 id) const {
    for (const Entry& e : m_entries)
        if (e.id == id) return &e;
    return nullptr;
}

void DownloadList::clearEnded() {
    std::erase_if(m_entries, [](const Entry& e) { return e.state != State::Running; });
    emit cleared();
}

QString DownloadList::stateText(const Entry& e) {
    const auto bytes = [](qint64 n) { return sizeText(static_cast<quint64>(std::max<qint64>(0, n))); };
    switch (e.state) {
        case State::Running:
            if (e.total > 0) return tr("%1% of %2").arg(e.received * 100 / e.total).arg(bytes(e.total));
            return tr("%1 so far").arg(bytes(e.received));
        case State::Saved:
            return tr("Saved — %1").arg(bytes(e.received));
        case State::Failed:
            return e.error.isEmpty() ? tr("Failed") : tr("Failed: %1").arg(e.error);
        case State::Cancelled:
            return tr("Cancelled");
    }
    return {};
}

}  // namespace kv
