#include "platform/qt/dragdrop/dropdecision.h"

#include "platform/qt/common/pathtext.h"

#include <sys/stat.h>

namespace kv {

Qt::DropAction DropDecision::decide(bool ctrl, bool shift, bool sameFilesystem) {
    if (ctrl) return Qt::CopyAction;
    if (shift) return Qt::MoveAction;
    return sameFilesystem ? Qt::MoveAction : Qt::CopyAction;
}

QList<QByteArray> DropDecision::sourcesToTransfer(const QList<QByteArray>& sources,
                                                  const QByteArray& targetDir, bool duplicate) {
    const QByteArray target = pathtext::normalized(targetDir);
    QList<QByteArray> out;
    for (const QByteArray& s : sources) {
        const QByteArray n = pathtext::normalized(s);
        if (n.isEmpty() || n == target || (!duplicate && pathtext::parentOf(n) == target)) continue;
        out << s;
    }
    return out;
}

bool DropDecision::systemDeviceOf(const QByteArray& path, bool followLinks, dev_t& dev) {
    struct stat st {};
    const int r = followLinks ? ::stat(path.constData(), &st) : ::lstat(path.constData(), &st);
    if (r != 0) return false;
    dev = st.st_dev;
    return true;
}

DropDecision::Plan DropDecision::plan(const QList<QByteArray>& sources, const QByteArray& targetDir,
                                      Qt::KeyboardModifiers modifiers, const DeviceOf& deviceOf) {
    Plan p;
    // Ctrl forces a copy: items dropped on their own folder are copied beside themselves, as a copy
    // and paste there does.
    p.sources = sourcesToTransfer(sources, targetDir, modifiers.testFlag(Qt::ControlModifier));
    if (p.sources.isEmpty()) return p;
    bool same = false;
    dev_t target = 0;
    if (deviceOf(targetDir, true, target)) {
        same = true;
        for (const QByteArray& s : p.sources) {
            // The item itself, not what a symlink points to: the link is what moves.
            dev_t dev = 0;
            if (!deviceOf(s, false, dev) || dev != target) {
                same = false;
                break;
            }
        }
    }
    p.action = decide(modifiers.testFlag(Qt::ControlModifier), modifiers.testFlag(Qt::ShiftModifier), same);
    return p;
}

}  // namespace kv
