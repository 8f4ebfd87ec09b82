#pragma once

#include <string>

namespace kv {

// Where the program keeps its two settings under the current user's root.
inline const std::string kSettingsKey = "Software\\Kestrovan1.1";
inline const std::string kEulaKey = "Software\\Kestrovan1.1\\Eula";
// The start page is read as "StartPage" and written as "Startpage": value names compare without regard
// to case, so both reach one value, shown with the case that created it.
inline const std::string kStartPageRead = "StartPage";
inline const std::string kStartPageWrite = "Startpage";
inline const std::string kEulaValue = "Eula";

// The home page of a web search engine, stored when no start page is.
inline const std::string kDefaultStartPage = "https://duckduckgo.com/";

}  // namespace kv
