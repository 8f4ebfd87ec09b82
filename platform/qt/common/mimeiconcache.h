#pragma once

#include <QHash>
#include <QIcon>
#include <QMimeDatabase>
#include <QString>
#include <memory>

#include "platform/fs/listing/direntry.h"

namespace kv {

// What the painted rows need of the MIME database: a type's name, its icon and its description, looked
// up by file name for the rows being painted only. One cache serves every folder model on the UI thread,
// so a new pane paints its first rows from what the others already looked up.
class MimeIconCache {
  public:
    QString mimeNameFor(const DirEntry& e);
    QIcon iconFor(const DirEntry& e);
    // The Type column's text.
    QString typeFor(const DirEntry& e);
    void clear();

    // The cache models share when they are given none. Its icons go with the application, not after it.
    static std::shared_ptr<MimeIconCache> shared();

  private:
    QMimeDatabase m_db;
    // MIME type name by file name, for the rows painted lately: matching a name against the MIME globs
    // is costly (some globs are regular expressions), and a view paints its rows many times.
    QHash<QString, QString> m_mimeByName;
    QHash<QString, QIcon> m_icons;    // by MIME type name
    QHash<QString, QString> m_types;  // by MIME type name
};

}  // namespace kv
