#pragma once

#include <QByteArray>
#include <QString>

namespace kv {

// Where a location text leads a browser view: a folder (a drive list entry, its volume name dropped; an
// absolute path; a file: URL of a local file; the trash, "trash:/"; a folder on a server,
// "sftp://kim@host/srv") or a web address (anything else, given to
// the web engine as typed).
struct Location {
    bool folder = false;
    QByteArray path;  // folders: raw bytes
    QString address;  // web pages: what the engine is given

    // Pure: no filesystem access, so a hung mount cannot stall the caller.
    static Location classify(const QString& text);
};

}  // namespace kv
