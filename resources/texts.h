#pragma once

#include <string>

namespace kv {

// The three long texts of the information windows. Lines are separated by "\r\n"; no text ends with one.

// The end-user agreement shown in the agreement window: the product name, the title line, a notice in
// capitals and ten numbered sections.
const std::string& eulaText();

// The What's This text: what the program is for. Its first line is the centred heading.
const std::string& whatsText();

// The help text: how to use the program. It opens with a line of blanks, then the centred heading.
const std::string& helpText();

}  // namespace kv
