#include "platform/fs/core/partialfile.h"

#include <utility>

namespace kv {

void PartialFile::setTemporaryName(std::string path) {
    m_path = std::move(path);
    m_ownName = false;
}

void PartialFile::setOwnName(std::string path) {
    m_path = std::move(path);
    m_ownName = true;
}

void PartialFile::setIdentity(const struct stat& st) {
    m_identityKnown = true;
    m_dev = st.st_dev;
    m_ino = st.st_ino;
}

void PartialFile::discard() {
    if (m_path.empty()) {
        closeFds();
        return;
    }
    if (m_ownName && !m_identityKnown) {
        // Asked only now: a file that is placed (the usual end) never pays for it.
        struct stat mine {};
        if (out >= 0 && m_ops.fstat(out, mine) == 0) {
            setIdentity(mine);
        }
    }
    closeFds();
    struct stat there {};
    if (!m_ownName || (m_identityKnown && m_ops.lstat(m_path, there) == 0 && there.st_dev == m_dev &&
                       there.st_ino == m_ino)) {
        m_ops.unlink(m_path);
    }
    m_path.clear();
}

void PartialFile::closeFds() {
    if (in >= 0) {
        m_ops.close(in);
    }
    if (out >= 0) {
        m_ops.close(out);
    }
    in = out = -1;
}

}  // namespace kv
