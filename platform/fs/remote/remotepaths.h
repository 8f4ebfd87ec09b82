#pragma once

#include <string>
#include <string_view>

#include "platform/fs/remote/giofiles.h"

// The paths the remote jobs take: an absolute local path or a server location's text, in raw bytes.
namespace kv::remotepaths {

bool isLocal(std::string_view path);
// The path's GFile (null for a text that is neither).
giofiles::Ref<GFile> fileAt(const std::string& path);
std::string join(const std::string& dir, std::string_view name);
// The folder holding the item; a server's root is its own.
std::string parentOf(const std::string& path);
std::string baseName(const std::string& path);
// True when both lie on the same disk or server and inner is outer or lies below it.
bool isSameOrInside(const std::string& inner, const std::string& outer);

}  // namespace kv::remotepaths
