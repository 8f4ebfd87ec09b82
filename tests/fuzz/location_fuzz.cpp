// A location text comes from anything the user types or pastes, and from drive list entries. Whatever
// it is, it names either a folder (with a path) or a web address (the text itself), never both.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/fs/places/location.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const kv::Location where = kv::Location::classify(text);
    const bool sound = where.folder ? !where.path.isEmpty() && where.address.isEmpty()
                                    : where.path.isEmpty() && where.address == text;
    if (!sound) std::abort();
    return 0;
}
