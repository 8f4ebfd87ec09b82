#pragma once

#include <gio/gio.h>

#include <string>
#include <utility>

#include "platform/fs/listing/direntry.h"

namespace kv::giofiles {

// One reference to a GObject, given back when this goes.
template <typename T>
class Ref {
  public:
    Ref() = default;
    // Takes over a reference the caller owns.
    static Ref adopt(T* object) {
        Ref r;
        r.m_object = object;
        return r;
    }
    static Ref share(T* object) { return adopt(object ? static_cast<T*>(g_object_ref(object)) : nullptr); }
    Ref(const Ref& other)
        : m_object(other.m_object ? static_cast<T*>(g_object_ref(other.m_object)) : nullptr) {}
    Ref(Ref&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    Ref& operator=(Ref other) noexcept {
        std::swap(m_object, other.m_object);
        return *this;
    }
    ~Ref() {
        if (m_object) g_object_unref(m_object);
    }
    T* get() const { return m_object; }

  private:
    T* m_object = nullptr;
};

// A failure of a GIO call as the listings report one: an errno (ECANCELED when the call was cancelled
// or the person cancelled the question it asked) and the back end's text. Frees the error.
struct Failure {
    int error = 0;
    std::string message;
    bool notMounted = false;
};
Failure take(GError* error);

// The file of a remote location's text (RemoteLocation), or null when the text names no server.
Ref<GFile> fileOf(const std::string& location);

// The attributes a row needs, each cheap to read from a listing.
extern const char* const kEntryAttributes;
DirEntry entryOf(GFileInfo* info);

}  // namespace kv::giofiles
