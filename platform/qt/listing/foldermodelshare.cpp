// FolderModel's listing of a folder: read from the disk, or taken from another model that shows the
// folder (a second tab, the other pane) rather than read again.
#include <algorithm>

#include "platform/qt/listing/foldermodel.h"
#include "platform/qt/listing/folderwatch.h"

namespace kv {

std::vector<FolderModel*>& FolderModel::live() {
    // A handful of models at a time (a few per window): a list is all the look-up needs.
    static std::vector<FolderModel*> models;
    return models;
}

FolderModel* FolderModel::giverFor(const QByteArray& path) const {
    // Rows that a watch keeps current: a folder on disk, followed by this model's watch, whose watch is
    // in place. The rows then hold every change the watch reported before this model followed the
    // folder too (or the giver still has those to look at, and hands them over); every later one
    // reaches both.
    if (!m_watch || m_search || isTrash() || isArchive() || !m_watch->isWatching(path)) return nullptr;
    const auto& models = live();
    const auto it = std::find_if(models.begin(), models.end(), [&](const FolderModel* m) {
        return m != this && m->m_watch == m_watch && m->m_path == path && !m->m_search &&
               m->m_listing.whole();
    });
    return it == models.end() ? nullptr : *it;
}

void FolderModel::list(const QByteArray& path) {
    if (FolderModel* giver = giverFor(path)) {
        m_listing.shareFrom(path.toStdString(), giver->m_listing);
        return;
    }
    m_listing.setFolder(path.toStdString());
}

}  // namespace kv
