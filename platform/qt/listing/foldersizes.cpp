#include "platform/qt/listing/foldersizes.h"

#include "platform/qt/common/sizetext.h"
#include "platform/qt/listing/sizecounter.h"

namespace kv {

void FolderSizes::count(const QByteArray& name, const QByteArray& path) {
    forget(name);
    auto* counter = new SizeCounter(this);
    m_sizes.insert(name, {0, counter});
    auto update = [this, name, counter](const SizeCounter::Totals& totals, bool done) {
        auto it = m_sizes.find(name);
        if (it == m_sizes.end() || it->counter != counter) return;
        it->bytes = totals.bytes;
        if (done) {
            it->counter = nullptr;
            counter->deleteLater();
        }
        emit changed(name);
    };
    connect(counter, &SizeCounter::progress, this,
            [update](const SizeCounter::Totals& t) { update(t, false); });
    connect(counter, &SizeCounter::done, this, [update](const SizeCounter::Totals& t) { update(t, true); });
    counter->start({path});
    emit changed(name);
}

void FolderSizes::forget(const QByteArray& name) {
    auto it = m_sizes.find(name);
    if (it == m_sizes.end()) return;
    if (it->counter) {
        it->counter->stop();
        it->counter->deleteLater();
    }
    m_sizes.erase(it);
    emit changed(name);
}

void FolderSizes::clear() {
    for (const QByteArray& name : m_sizes.keys()) forget(name);
}

QString FolderSizes::text(const QByteArray& name) const {
    auto it = m_sizes.constFind(name);
    if (it == m_sizes.constEnd()) return {};
    return it->counter ? tr("%1…").arg(sizeText(it->bytes)) : sizeText(it->bytes);
}

bool FolderSizes::counting() const {
    for (const Size& s : m_sizes)
        if (s.counter) return true;
    return false;
}

}  // namespace kv
