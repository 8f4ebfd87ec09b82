// The hive parser takes any text a settings file may hold. Whatever it accepts, it writes back as text
// that reads as the same hive: formatting what was parsed from a formatted hive changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/registry/hive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto hive = kv::Hive::parse(text);
    if (!hive) return 0;
    const std::string once = hive->format();
    const auto again = kv::Hive::parse(once);
    if (!again || again->format() != once) std::abort();
    return 0;
}
