#pragma once

#include <sys/types.h>
#include <QByteArray>
#include <QList>
#include <Qt>
#include <functional>

namespace kv {

// What a drop of files onto a folder does. Kept apart from the widgets so every combination of
// modifiers and filesystems can be checked without a drag.
class DropDecision {
  public:
    // Ctrl forces a copy, Shift a move (both: a copy, which never loses anything); otherwise a drop
    // moves within one filesystem, where moving is a rename, and copies across, where a move would
    // take the files off the volume they came from.
    static Qt::DropAction decide(bool ctrl, bool shift, bool sameFilesystem);

    // The sources a drop onto targetDir would transfer: an item already in targetDir, or targetDir
    // itself, would land where it is, so it is left out; with duplicate (a forced copy), an item already
    // in targetDir stays in, to be copied beside itself. Compares normalised paths only.
    static QList<QByteArray> sourcesToTransfer(const QList<QByteArray>& sources, const QByteArray& targetDir,
                                               bool duplicate = false);

    // The filesystem an item or folder is on; false when it cannot be found out.
    using DeviceOf = std::function<bool(const QByteArray& path, bool followLinks, dev_t& dev)>;
    static bool systemDeviceOf(const QByteArray& path, bool followLinks, dev_t& dev);

    struct Plan {
        Qt::DropAction action = Qt::IgnoreAction;
        QList<QByteArray> sources;
    };
    // The whole decision for one drop. An item whose filesystem cannot be read counts as being on
    // another one, so the drop copies rather than moves.
    static Plan plan(const QList<QByteArray>& sources, const QByteArray& targetDir,
                     Qt::KeyboardModifiers modifiers, const DeviceOf& deviceOf = systemDeviceOf);
};

}  // namespace kv
