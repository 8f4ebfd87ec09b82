#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/fs/jobs/filejob.h"

namespace kv {

enum class ArchiveFormat { Zip, TarGz, TarXz, TarZst };

// Makes an archive of items (each under its own name at the archive's top, folders with everything
// in them, links as links, modes and times kept). The archive is written under a temporary name and
// given its own once complete, so a cancel or a failure leaves nothing under it; a name that is
// taken by then is put to the clash question. Undo information: Copy, the archive made.
class CompressJob : public FileJob {
  public:
    CompressJob(std::vector<std::string> sources, std::string target, ArchiveFormat format);

    static std::string_view extensionOf(ArchiveFormat format);
};

}  // namespace kv
