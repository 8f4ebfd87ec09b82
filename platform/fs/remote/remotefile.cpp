#include "platform/fs/remote/remotefile.h"

#include "platform/fs/remote/giofiles.h"

namespace kv::remotefile {

std::optional<Info> info(const std::string& location) {
    const giofiles::Ref<GFile> file = giofiles::fileOf(location);
    if (!file.get()) return std::nullopt;
    GError* error = nullptr;
    const auto got = giofiles::Ref<GFileInfo>::adopt(g_file_query_info(
        file.get(),
        G_FILE_ATTRIBUTE_STANDARD_TYPE "," G_FILE_ATTRIBUTE_STANDARD_SIZE "," G_FILE_ATTRIBUTE_TIME_MODIFIED,
        G_FILE_QUERY_INFO_NONE, nullptr, &error));
    if (!got.get()) {
        giofiles::take(error);
        return std::nullopt;
    }
    Info out;
    out.size = static_cast<std::uint64_t>(g_file_info_get_size(got.get()));
    out.mtime = static_cast<std::int64_t>(
        g_file_info_get_attribute_uint64(got.get(), G_FILE_ATTRIBUTE_TIME_MODIFIED));
    out.regular = g_file_info_get_file_type(got.get()) == G_FILE_TYPE_REGULAR;
    return out;
}

std::optional<std::string> read(const std::string& location, std::uint64_t limit) {
    const giofiles::Ref<GFile> file = giofiles::fileOf(location);
    if (!file.get()) return std::nullopt;
    GError* error = nullptr;
    const auto in = giofiles::Ref<GFileInputStream>::adopt(g_file_read(file.get(), nullptr, &error));
    if (!in.get()) {
        giofiles::take(error);
        return std::nullopt;
    }
    std::string data;
    char buffer[1 << 16];
    for (;;) {
        const gssize n =
            g_input_stream_read(G_INPUT_STREAM(in.get()), buffer, sizeof buffer, nullptr, &error);
        if (n < 0) {
            giofiles::take(error);
            return std::nullopt;
        }
        if (n == 0) break;
        data.append(buffer, static_cast<size_t>(n));
        if (data.size() > limit) return std::nullopt;  // larger than it said: not read on
    }
    g_input_stream_close(G_INPUT_STREAM(in.get()), nullptr, nullptr);
    return data;
}

}  // namespace kv::remotefile
