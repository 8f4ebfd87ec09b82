#include "platform/qt/folderview/widestname.h"

#include <QFontMetrics>
#include <QHash>
#include <algorithm>
#include <utility>
#include <vector>

#include "platform/qt/listing/foldermodel.h"

namespace kv {

namespace {

// Enough to meet the widest of the longest names in any folder; a folder of a hundred thousand names
// is not measured whole.
constexpr size_t kMaxMeasured = 2000;
// The names of the widest sums of advances that are measured whole.
constexpr size_t kMeasuredWhole = 64;
// The names whose widths are remembered, at most.
constexpr qsizetype kMaxRemembered = 20000;

// At least the characters the name shows: a control byte shows as up to four ("\x1b"), any other
// byte as at most one.
int shownLengthBound(const std::string& raw) {
    int bound = 0;
    for (const char c : raw) bound += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? 4 : 1;
    return bound;
}

}  // namespace

WidestName::WidestName(const FolderModel* model, QObject* parent) : QObject(parent), m_model(model) {
    const auto stale = [this] { m_stale = true; };
    connect(model, &QAbstractItemModel::rowsInserted, this, stale);
    connect(model, &QAbstractItemModel::rowsRemoved, this, stale);
    connect(model, &QAbstractItemModel::dataChanged, this, stale);
    connect(model, &QAbstractItemModel::modelReset, this, stale);
    connect(model, &QAbstractItemModel::layoutAboutToBeChanged, this,
            [this] { m_rowsBefore = m_model->rowCount(); });
    connect(model, &QAbstractItemModel::layoutChanged, this, [this] {
        if (m_model->rowCount() != m_rowsBefore) m_stale = true;
    });
}

QString WidestName::text(const QFont& font) {
    find(font);
    return m_text;
}

int WidestName::width(const QFont& font) {
    find(font);
    return m_width;
}

void WidestName::find(const QFont& font) {
    if (!m_stale && font == m_font) return;
    m_stale = false;
    m_font = font;
    m_text.clear();
    m_width = 0;
    const int rows = m_model->rowCount();
    const bool trash = m_model->isTrash();      // its rows show the names the items had
    std::vector<std::pair<int, int>> byLength;  // (bound of the shown length, row)
    byLength.reserve(static_cast<size_t>(rows));
    for (int row = 0; row < rows; ++row)
        byLength.emplace_back(trash ? static_cast<int>(m_model->nameAt(row).size())
                                    : shownLengthBound(m_model->entryAt(row).name),
                              row);
    const size_t measured = std::min(byLength.size(), kMaxMeasured);
    std::partial_sort(byLength.begin(), byLength.begin() + static_cast<std::ptrdiff_t>(measured),
                      byLength.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    // Of the longest names, a sum of their characters' advances (each character measured once) says
    // which are the widest; the few widest by it are measured whole, shaping and kerning included. The
    // width is the larger of that and the widest sum, so a name the sums put a pixel too low still
    // shows whole.
    const QFontMetrics metrics(font);
    const int widestChar = std::max(1, metrics.maxWidth());
    QHash<char16_t, int> advances;
    std::vector<std::pair<int, int>> sums;  // (sum of advances, row)
    sums.reserve(measured);
    int most = 0;
    for (size_t k = 0; k < measured; ++k) {
        const auto [bound, row] = byLength[k];
        if (bound * widestChar <= most) break;
        int sum = 0;
        for (const QChar c : m_model->nameAt(row)) {
            auto it = advances.find(c.unicode());
            if (it == advances.end()) it = advances.insert(c.unicode(), metrics.horizontalAdvance(c));
            sum += *it;
        }
        most = std::max(most, sum);
        sums.emplace_back(sum, row);
    }
    const size_t whole = std::min(sums.size(), kMeasuredWhole);
    std::partial_sort(sums.begin(), sums.begin() + static_cast<std::ptrdiff_t>(whole), sums.end(),
                      [](const auto& a, const auto& b) { return a.first > b.first; });
    // Names measured whole are remembered (another view of the folder, or its next listing, asks
    // again for the same ones), for one font at a time.
    static QString cachedFont;
    static QHash<QString, int> measuredWidths;
    if (cachedFont != font.key() || measuredWidths.size() > kMaxRemembered) {
        cachedFont = font.key();
        measuredWidths.clear();
    }
    for (size_t k = 0; k < whole; ++k) {
        const QString name = m_model->nameAt(sums[k].second);
        auto known = measuredWidths.find(name);
        if (known == measuredWidths.end())
            known = measuredWidths.insert(name, metrics.horizontalAdvance(name));
        if (*known > m_width || m_text.isEmpty()) {
            m_width = *known;
            m_text = name;
        }
    }
    m_width = std::max(m_width, most);
}

}  // namespace kv
