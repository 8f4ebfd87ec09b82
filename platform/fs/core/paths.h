#pragma once

#include <functional>
#include <string>
#include <string_view>

// Path helpers on raw byte strings. No function here touches the filesystem except through the
// predicate it is given.
namespace kv::paths {

std::string join(std::string_view dir, std::string_view name);
std::string parentOf(std::string_view path);  // "/a/b" -> "/a", "/a" -> "/", "b" -> "."
std::string baseName(std::string_view path);  // "/a/b/" -> "b"
// True when inner is outer or lies below it; both must be resolved (realpath) paths.
bool isSameOrInside(std::string_view inner, std::string_view outer);
// The first of "name (2).ext", "name (3).ext", ... (folders: no extension split) that taken() rejects;
// stays within the 255-byte limit of a name by shortening the stem.
std::string freeName(std::string_view name, bool isDir, const std::function<bool(const std::string&)>& taken);
// A name a folder can hold: non-empty, no '/', not "." or "..", at most 255 bytes.
bool isValidName(std::string_view name);

}  // namespace kv::paths
