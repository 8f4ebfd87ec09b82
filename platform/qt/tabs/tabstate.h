#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <Qt>

#include "platform/qt/location/browsehistory.h"

namespace kv {

// What a tab is, apart from its widgets: its history and how its folder was shown. A tab closed keeps
// it to be reopened, a tab moved to another pane takes it along, and the session file keeps it.
struct TabState {
    BrowseHistory history;
    bool locked = false;
    // How the folder view showed its folder; -1: as a new view shows one.
    int mode = -1;
    int sortColumn = -1;
    Qt::SortOrder sortOrder = Qt::AscendingOrder;
    int scroll = 0;
    QList<QByteArray> selection;  // names in the folder
    // From an earlier run: the folder may be gone since (looked at before it is shown).
    bool fromSession = false;

    // The location the tab shows: a folder's path or a page's address; empty for a tab with no history.
    QString locationText() const;
    // What the tab is called: the folder's name or the page's address.
    QString title() const;
};

}  // namespace kv
