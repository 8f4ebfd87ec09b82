#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kv {

// How the items of a batch get their new names. The name mask builds the part before the extension and
// the extension mask the part after it (a folder's whole name is its name part), from these fields:
//   [N]     the old name part; [N2-5] its characters 2 to 5, [N3] the third, [N2-] from the second on
//   [E]     the old extension (without the dot)
//   [C]     a counter: counterStart, then up by counterStep in the items' order, counterDigits wide;
//           [C:3] three digits wide
//   [D] [T] the modification date and time, in dateFormat and timeFormat (strftime)
//   [P]     the name of the item's folder
// Anything else is kept as written. Find and replace then runs over the whole new name (plain or a
// regular expression whose replacement may use \1 or $1 for its groups), and the case change last.
struct RenameRules {
    enum class Case { Unchanged, Lower, Upper, Words };
    std::string nameMask = "[N]";
    std::string extensionMask = "[E]";
    std::string find;
    std::string replace;
    bool regularExpression = false;
    bool matchCase = true;
    Case caseChange = Case::Unchanged;
    long long counterStart = 1;
    long long counterStep = 1;
    int counterDigits = 1;
    std::string dateFormat = "%Y-%m-%d";
    std::string timeFormat = "%H.%M.%S";
};

struct RenameSource {
    std::string path;
    bool isDir = false;
    std::int64_t mtimeNs = 0;
};

struct RenameRow {
    // Unchanged: the new name is the old one. Ready: renamed when run. The rest are refused: the item
    // keeps its name.
    enum class Status {
        Unchanged,
        Ready,
        Empty,
        BadCharacter,
        TooLong,
        Duplicate,
        Taken,
        BadPattern,
        NotText
    };
    std::string path;
    std::string newName;
    Status status = Status::Unchanged;
    bool refused() const { return status != Status::Unchanged && status != Status::Ready; }
};

class RenamePlan {
  public:
    // Whether a name is in use in a folder (on disk, or in the listing the user sees).
    using TakenFn = std::function<bool(const std::string& dir, const std::string& name)>;

    // The new name of each item, in order, each with its status. A new name may be one another item
    // of the batch leaves (chains and swaps are fine); a name that two items would take, or that an
    // item outside the batch (or one refused) keeps, is refused for every item that would take it.
    static std::vector<RenameRow> make(const std::vector<RenameSource>& items, const RenameRules& rules,
                                       const TakenFn& taken);
    // The second half of make: refuses the Ready rows whose new names clash, as above.
    static void settle(std::vector<RenameRow>& rows, const TakenFn& taken);

    // One item's new name by the rules (index: its place in the batch, for the counter). Empty with
    // status set when the rules cannot apply (a bad regular expression, a case change or expression
    // on a name that is not UTF-8).
    static std::string newName(const RenameSource& item, size_t index, const RenameRules& rules,
                               RenameRow::Status& status);
};

}  // namespace kv
