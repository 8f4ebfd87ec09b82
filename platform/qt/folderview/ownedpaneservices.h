#pragma once

#include "platform/qt/archives/archivesession.h"
#include "platform/qt/jobs/fileoperations.h"
#include "platform/qt/listing/folderwatch.h"
#include "platform/qt/listing/volumespace.h"
#include "platform/qt/location/recentfolders.h"
#include "platform/qt/pane/paneservices.h"

namespace kv {

// The services the panes share, owned: the front end's one set, or a test's or a tool's of its own.
// Made before the panes it is given to and destroyed after them.
class OwnedPaneServices {
  public:
    OwnedPaneServices() = default;
    OwnedPaneServices(const OwnedPaneServices&) = delete;
    OwnedPaneServices& operator=(const OwnedPaneServices&) = delete;

    // Given where a pane takes its services: FolderView view(owned).
    operator const PaneServices&() const { return m_services; }

    // Destroyed in the reverse order: the free space (which follows the jobs) first, then the jobs,
    // then the watch, and last the archives' copies that no job uses any more.
    ArchiveSession archives;
    FolderWatch watch;
    RecentFolders recent;
    FileOperations ops;
    VolumeSpace space{ops};

  private:
    PaneServices m_services{ops, watch, archives, recent, space};
};

}  // namespace kv
