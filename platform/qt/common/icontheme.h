#pragma once

namespace kv {

// Where the files' and the bars' icons come from. A desktop names its icon theme; without one (a bare
// window manager, a machine without a desktop) the platform offers only "hicolor", which holds no icons
// of file types, and every file would look alike. The theme the package depends on (Adwaita) is then
// where names not found are looked up, and the system's icon folders are searched even where the
// environment points elsewhere.
class IconTheme {
  public:
    static constexpr const char* kFallback = "Adwaita";
    // Once, right after the application object is made, before any icon is looked up.
    static void setUp();
};

}  // namespace kv
