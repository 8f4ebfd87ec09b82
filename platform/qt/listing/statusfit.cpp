#include "platform/qt/listing/statusfit.h"

#include <QStringList>

namespace kv {

std::vector<int> StatusFit::choose(const std::vector<Part>& parts, int room, int spacing) {
    std::vector<int> form(parts.size(), -1);
    for (size_t i = 0; i < parts.size(); ++i)
        if (!parts[i].widths.empty()) form[i] = 0;
    auto total = [&] {
        int sum = 0, shown = 0;
        for (size_t i = 0; i < parts.size(); ++i) {
            if (form[i] < 0) continue;
            sum += parts[i].widths[static_cast<size_t>(form[i])];
            ++shown;
        }
        return sum + spacing * std::max(0, shown - 1);
    };
    // The lowest priority among the parts for which can(i) holds; the leftmost of equals.
    auto lowest = [&](auto can) {
        int best = -1;
        for (size_t i = 0; i < parts.size(); ++i)
            if (can(i) && (best < 0 || parts[i].priority < parts[static_cast<size_t>(best)].priority))
                best = static_cast<int>(i);
        return best;
    };
    while (total() > room) {
        const int shorter = lowest([&](size_t i) {
            return form[i] >= 0 && static_cast<size_t>(form[i]) + 1 < parts[i].widths.size();
        });
        if (shorter >= 0) {
            ++form[static_cast<size_t>(shorter)];
            continue;
        }
        int shown = 0;
        for (const int f : form) shown += f >= 0;
        if (shown <= 1) break;  // the last part is cut by words, not dropped
        form[static_cast<size_t>(lowest([&](size_t i) { return form[i] >= 0; }))] = -1;
    }
    return form;
}

QString StatusFit::wholeWords(const QString& text, int room,
                              const std::function<int(const QString&)>& width) {
    if (width(text) <= room) return text;
    const QString ellipsis = QStringLiteral("…");
    auto isNumber = [](const QString& word) {
        const QString bare = word.startsWith(QLatin1Char('(')) ? word.mid(1) : word;
        return !bare.isEmpty() && bare.front().isDigit();
    };
    QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    while (!words.isEmpty()) {
        words.removeLast();
        // A number is not left without what it counts ("9 folders, 0" says nothing of the files), nor
        // a bracket left open.
        while (!words.isEmpty() && isNumber(words.back())) words.removeLast();
        QString cut = words.join(QLatin1Char(' '));
        if (const qsizetype open = cut.lastIndexOf(QLatin1Char('('));
            open > cut.lastIndexOf(QLatin1Char(')')))
            cut = cut.left(open).trimmed();
        while (cut.endsWith(QLatin1Char(','))) cut.chop(1);
        if (cut.isEmpty()) continue;
        if (!cut.endsWith(ellipsis)) cut += ellipsis;
        if (width(cut) <= room) return cut;
    }
    return {};
}

}  // namespace kv
