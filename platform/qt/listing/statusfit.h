#pragma once

#include <QString>
#include <functional>
#include <vector>

namespace kv {

// How a line of parts fits a width: what the status line shows in a narrow pane. Each part offers its
// texts from the fullest to the shortest, all saying the same; a part that is not shown offers none.
// While the line is too wide, the part of the lowest priority that can be shortened takes its next
// form; when none can, the part of the lowest priority is dropped. The last part left is cut by whole
// words (a number is never cut) rather than dropped while a word of it fits.
struct StatusFit {
    struct Part {
        int priority = 0;
        std::vector<int> widths;  // of the forms, fullest first
    };
    // The form each part shows, -1 for a part dropped (or offering no text).
    static std::vector<int> choose(const std::vector<Part>& parts, int room, int spacing);

    // As many whole words of text as fit into room, with "…" after them when some were left out;
    // empty when not even the first word fits. width measures a text.
    static QString wholeWords(const QString& text, int room, const std::function<int(const QString&)>& width);
};

}  // namespace kv
