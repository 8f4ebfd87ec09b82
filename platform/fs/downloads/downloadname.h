#pragma once

#include <string>
#include <string_view>

namespace kv {

// The names and small files that things saved from the web get. A server or a page chooses what they
// offer, so what they offer is made safe here before it names anything on disk.
class DownloadName {
  public:
    // An offered name made into one plain name for a folder: no '/' or NUL, no control characters,
    // not "." or "..", not hidden (leading dots become '_'), spaces around it trimmed, within the
    // 255-byte limit by shortening the stem (never inside a UTF-8 sequence); fallback when nothing is
    // left.
    static std::string safe(std::string_view offered, std::string_view fallback = "download");
    // A text file for a dropped text, named after its first words.
    static std::string forText(std::string_view text);
    // A desktop entry of type Link that opens url, and its file name, both after the title (the
    // link's text or the page's title; the address when it has none).
    static std::string linkFile(std::string_view title, std::string_view url);
    static std::string linkFileName(std::string_view title, std::string_view url);
};

}  // namespace kv
