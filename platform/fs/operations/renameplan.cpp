#include "platform/fs/operations/renameplan.h"

#include <QtCore/QRegularExpression>
#include <QtCore/QString>
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <map>
#include <set>

#include "platform/fs/core/paths.h"

namespace kv {

namespace {

using Status = RenameRow::Status;

bool isUtf8(const std::string& s) {
    return QString::fromUtf8(s).toUtf8() == QByteArray::fromStdString(s);
}

// Characters from..to of text, 1-based and inclusive (to < 0: to the end), counted in code points
// when the text is UTF-8 and in bytes otherwise.
std::string slice(const std::string& text, long from, long to) {
    if (!isUtf8(text)) {
        const long size = static_cast<long>(text.size());
        if (to < 0 || to > size) to = size;
        return from > to ? std::string()
                         : text.substr(static_cast<size_t>(from - 1), static_cast<size_t>(to - from + 1));
    }
    const QList<uint> points = QString::fromUtf8(text).toUcs4();
    const long size = static_cast<long>(points.size());
    if (to < 0 || to > size) to = size;
    if (from > to) return {};
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(points.constData() + from - 1), to - from + 1)
        .toStdString();
}

std::string timeText(std::int64_t ns, const std::string& format) {
    const std::time_t t = static_cast<std::time_t>(ns / 1000000000);
    std::tm tm{};
    localtime_r(&t, &tm);
    char out[256];
    const size_t n = std::strftime(out, sizeof out, format.c_str(), &tm);
    return std::string(out, n);
}

// Fills the fields of one mask.
std::string applyMask(const std::string& mask, const std::string& name, const std::string& ext,
                      const RenameSource& item, size_t index, const RenameRules& rules) {
    std::string out;
    for (size_t i = 0; i < mask.size();) {
        const size_t close = mask[i] == '[' ? mask.find(']', i) : std::string::npos;
        if (close == std::string::npos) {
            out += mask[i++];
            continue;
        }
        const std::string field = mask.substr(i + 1, close - i - 1);
        std::string value;
        bool known = true;
        if (field == "N") {
            value = name;
        } else if (field == "E") {
            value = ext;
        } else if (field == "P") {
            value = paths::baseName(paths::parentOf(item.path));
        } else if (field == "D") {
            value = timeText(item.mtimeNs, rules.dateFormat);
        } else if (field == "T") {
            value = timeText(item.mtimeNs, rules.timeFormat);
        } else if (field[0] == 'C' && (field.size() == 1 || field[1] == ':')) {
            int digits = rules.counterDigits;
            if (field.size() > 2) digits = std::atoi(field.c_str() + 2);
            const long long n = rules.counterStart + static_cast<long long>(index) * rules.counterStep;
            value = std::to_string(n < 0 ? -n : n);
            if (static_cast<int>(value.size()) < digits && digits <= 20)
                value.insert(0, static_cast<size_t>(digits) - value.size(), '0');
            if (n < 0) value.insert(0, 1, '-');
        } else if (field.size() > 1 && field[0] == 'N' &&
                   std::isdigit(static_cast<unsigned char>(field[1]))) {
            char* end = nullptr;
            const long from = std::strtol(field.c_str() + 1, &end, 10);
            long to = from;
            if (*end == '-') {
                ++end;
                to = *end ? std::strtol(end, &end, 10) : -1;
            }
            known = *end == 0 && from >= 1;
            if (known) value = slice(name, from, to);
        } else {
            known = false;
        }
        if (!known) {
            out += '[';
            ++i;
            continue;
        }
        out += value;
        i = close + 1;
    }
    return out;
}

}  // namespace

std::string RenamePlan::newName(const RenameSource& item, size_t index, const RenameRules& rules,
                                Status& status) {
    const std::string old = paths::baseName(item.path);
    std::string name = old, ext;
    // A leading dot starts no extension (".bashrc"); a folder has none.
    if (const size_t dot = old.rfind('.'); !item.isDir && dot != std::string::npos && dot > 0) {
        name = old.substr(0, dot);
        ext = old.substr(dot + 1);
    }
    const std::string base = applyMask(rules.nameMask, name, ext, item, index, rules);
    const std::string extension = applyMask(rules.extensionMask, name, ext, item, index, rules);
    std::string result = extension.empty() ? base : base + "." + extension;

    const bool textWork =
        rules.regularExpression || !rules.matchCase || rules.caseChange != RenameRules::Case::Unchanged;
    if (textWork && !isUtf8(result)) {
        status = Status::NotText;
        return {};
    }
    if (!rules.find.empty()) {
        if (!textWork) {
            for (size_t at = result.find(rules.find); at != std::string::npos;
                 at = result.find(rules.find, at + rules.replace.size()))
                result.replace(at, rules.find.size(), rules.replace);
        } else {
            QString text = QString::fromStdString(result);
            const QString find = QString::fromStdString(rules.find);
            const QString replace = QString::fromStdString(rules.replace);
            if (rules.regularExpression) {
                QRegularExpression re(find, rules.matchCase ? QRegularExpression::NoPatternOption
                                                            : QRegularExpression::CaseInsensitiveOption);
                if (!re.isValid()) {
                    status = Status::BadPattern;
                    return {};
                }
                // $1 as well as \1 names a group.
                QString qtReplace = replace;
                qtReplace.replace(QRegularExpression(R"(\$(\d))"), R"(\\1)");
                text.replace(re, qtReplace);
            } else {
                text.replace(find, replace, rules.matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive);
            }
            result = text.toStdString();
        }
    }
    switch (rules.caseChange) {
        case RenameRules::Case::Unchanged:
            break;
        case RenameRules::Case::Lower:
            result = QString::fromStdString(result).toLower().toStdString();
            break;
        case RenameRules::Case::Upper:
            result = QString::fromStdString(result).toUpper().toStdString();
            break;
        case RenameRules::Case::Words: {
            QString text = QString::fromStdString(result).toLower();
            bool start = true;
            for (QChar& c : text) {
                if (start && c.isLetter()) c = c.toUpper();
                start = !c.isLetterOrNumber() && c != '\'';
            }
            result = text.toStdString();
            break;
        }
    }
    if (result.empty())
        status = Status::Empty;
    else if (result.find('/') != std::string::npos || result.find('\0') != std::string::npos ||
             result == "." || result == "..")
        status = Status::BadCharacter;
    else if (!paths::isValidName(result))
        status = Status::TooLong;
    else
        status = result == old ? Status::Unchanged : Status::Ready;
    return result;
}

std::vector<RenameRow> RenamePlan::make(const std::vector<RenameSource>& items, const RenameRules& rules,
                                        const TakenFn& taken) {
    std::vector<RenameRow> rows(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        rows[i].path = items[i].path;
        rows[i].newName = newName(items[i], i, rules, rows[i].status);
    }
    settle(rows, taken);
    return rows;
}

void RenamePlan::settle(std::vector<RenameRow>& rows, const TakenFn& taken) {
    // A refused item keeps its name, which may refuse another: settle until nothing changes.
    for (bool changed = true; changed;) {
        changed = false;
        std::map<std::string, int> wanted;  // full new path: how many rows want it
        std::set<std::string> leaving;      // old paths that are left
        for (const RenameRow& r : rows) {
            if (r.status != Status::Ready) continue;
            ++wanted[paths::join(paths::parentOf(r.path), r.newName)];
            leaving.insert(r.path);
        }
        std::set<std::string> kept;  // paths items of the batch keep
        for (const RenameRow& r : rows)
            if (r.status != Status::Ready) kept.insert(r.path);
        for (RenameRow& r : rows) {
            if (r.status != Status::Ready) continue;
            const std::string dir = paths::parentOf(r.path);
            const std::string target = paths::join(dir, r.newName);
            Status next = Status::Ready;
            if (wanted[target] > 1)
                next = Status::Duplicate;
            else if (kept.count(target) || (!leaving.count(target) && taken(dir, r.newName)))
                next = Status::Taken;
            if (next != Status::Ready) {
                r.status = next;
                changed = true;
            }
        }
    }
}

}  // namespace kv
