#pragma once

#include <cstring>
#include <string>

namespace kv {

// The system's text for an errno ("No space left on device"); thread-safe, unlike strerror.
inline std::string errorText(int error) {
    const char* text = strerrordesc_np(error);
    return text ? text : "Error " + std::to_string(error);
}

}  // namespace kv
