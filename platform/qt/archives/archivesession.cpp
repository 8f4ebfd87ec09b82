#include "platform/qt/archives/archivesession.h"

namespace kv {

ArchiveSession::~ArchiveSession() {
    // Only copies this run made and gave nobody else (see TempCopies); on a temporary folder, a moment.
    m_tempCopies->removeThisRun();
}

}  // namespace kv
