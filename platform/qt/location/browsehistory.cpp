#include "platform/qt/location/browsehistory.h"

#include <string>
#include <utility>

#include "platform/fs/archives/archivelocation.h"
#include "platform/fs/core/paths.h"
#include "platform/fs/remote/remotelocation.h"
#include "platform/qt/common/pathtext.h"

namespace kv {

std::optional<BrowseHistory::Up> BrowseHistory::up(const QByteArray& folder) {
    if (folder == "/") return std::nullopt;
    if (const std::optional<ArchiveLocation> where = ArchiveLocation::parse(folder.toStdString())) {
        if (const std::optional<ArchiveLocation> above = where->parent())
            return Up{QByteArray::fromStdString(above->text()),
                      QByteArray::fromStdString(paths::baseName(where->inner))};
        return Up{QByteArray::fromStdString(paths::parentOf(where->archive)),
                  QByteArray::fromStdString(paths::baseName(where->archive))};
    }
    if (const std::optional<RemoteLocation> where = RemoteLocation::parse(folder.toStdString())) {
        if (const std::optional<RemoteLocation> above = where->parent())
            return Up{QByteArray::fromStdString(above->text()), QByteArray::fromStdString(where->baseName())};
        return std::nullopt;  // a server's root
    }
    const QByteArray normal = pathtext::normalized(folder);
    return Up{folder.isEmpty() ? QByteArray("/") : pathtext::parentOf(folder),
              normal.mid(normal.lastIndexOf('/') + 1)};
}

void BrowseHistory::add(Step step) {
    m_steps.resize(static_cast<size_t>(m_position + 1));
    if (m_webStep > m_position) m_webStep = -1;
    m_steps.push_back(std::move(step));
    m_position = static_cast<int>(m_steps.size()) - 1;
}

void BrowseHistory::dropForward() {
    m_steps.resize(static_cast<size_t>(m_position + 1));
    if (m_webStep > m_position) m_webStep = -1;
}

void BrowseHistory::push(const Location& where) {
    add(Step{where, 0, {}});
}

void BrowseHistory::pushSearch(const QByteArray& folder, const SearchQuery& query) {
    Step results{here()->where, 0, {}, query};
    results.where.path = folder;
    add(std::move(results));
}

bool BrowseHistory::isHere(const Location& where) const {
    const Step* step = here();
    return where.folder && step && step->where.folder && step->where.path == where.path && !step->search;
}

bool BrowseHistory::back() {
    if (!canGoBack()) return false;
    --m_position;
    return true;
}

bool BrowseHistory::forward() {
    if (!canGoForward()) return false;
    ++m_position;
    return true;
}

void BrowseHistory::leave(const QByteArray& current) {
    if (!empty()) m_steps[static_cast<size_t>(m_position)].current = current;
}

bool BrowseHistory::refineSearch(const SearchQuery& query) {
    if (empty() || !here()->search) return false;
    m_steps[static_cast<size_t>(m_position)].search = query;
    return true;
}

bool BrowseHistory::searchClosesBack() const {
    if (m_position <= 0) return false;
    const Step& results = m_steps[static_cast<size_t>(m_position)];
    const Step& before = m_steps[static_cast<size_t>(m_position - 1)];
    return !before.search && before.where.folder && before.where.path == results.where.path;
}

void BrowseHistory::dropSearch() {
    if (!empty()) m_steps[static_cast<size_t>(m_position)].search.reset();
}

void BrowseHistory::pageLoaded(int floor) {
    if (empty()) return;
    m_steps[static_cast<size_t>(m_position)].webFloor = floor;
    m_webStep = m_position;
}

}  // namespace kv
