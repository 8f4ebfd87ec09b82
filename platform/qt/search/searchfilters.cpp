#include "platform/qt/search/searchfilters.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <cmath>

#include "platform/qt/common/clearbutton.h"
#include "platform/qt/common/sizetext.h"

namespace kv {

namespace {

// The modified box's choices, in its order: how far back from now (0: since midnight).
enum ModifiedChoice { AnyTime, Today, Week, Month, Year };
constexpr int kDaysBack[] = {0, 0, 7, 30, 365};

std::int64_t nanoseconds(const QDateTime& t) {
    return t.toMSecsSinceEpoch() * 1'000'000;
}

// As the program writes sizes when that reads back as the same size, else in bytes.
QString sizeField(quint64 bytes) {
    const QString text = sizeText(bytes);
    return SearchFilters::sizeFromText(text) == bytes ? text : QString::number(bytes);
}

}  // namespace

SearchFilters::SearchFilters(QWidget* parent)
    : QWidget(parent),
      m_kind(new QComboBox(this)),
      m_modified(new QComboBox(this)),
      m_minSize(new QLineEdit(this)),
      m_maxSize(new QLineEdit(this)) {
    setObjectName("searchFilters");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    auto label = [this, layout](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setBuddy(buddy);
        layout->addWidget(l);
        layout->addWidget(buddy);
    };
    m_kind->setObjectName("searchKind");
    m_kind->addItems({tr("Files and folders"), tr("Files only"), tr("Folders only")});
    m_modified->setObjectName("searchModified");
    m_modified->addItems({tr("Any time"), tr("Today"), tr("In the last 7 days"), tr("In the last 30 days"),
                          tr("In the last year")});
    for (QLineEdit* field : {m_minSize, m_maxSize}) {
        enableClearButton(field);
        field->setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000.0 MiB")) + 40);
        field->setToolTip(tr("A size such as 500 KiB, 2.5 MB or 1G (units of 1024); empty for none"));
        connect(field, &QLineEdit::textChanged, this, &SearchFilters::changed);
    }
    m_minSize->setObjectName("searchMinSize");
    m_minSize->setPlaceholderText(tr("any"));
    m_maxSize->setObjectName("searchMaxSize");
    m_maxSize->setPlaceholderText(tr("any"));
    label(tr("&Kind:"), m_kind);
    label(tr("&Modified:"), m_modified);
    label(tr("Si&ze from:"), m_minSize);
    label(tr("to:"), m_maxSize);
    layout->addStretch(1);
    connect(m_kind, &QComboBox::currentIndexChanged, this, &SearchFilters::changed);
    connect(m_modified, &QComboBox::currentIndexChanged, this, &SearchFilters::changed);
}

std::optional<quint64> SearchFilters::sizeFromText(const QString& text) {
    static const QRegularExpression form(
        QStringLiteral("^\\s*(\\d+(?:[.,]\\d*)?)\\s*(?:([kmgtpe])(?:i?b)?|b)?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch()) return std::nullopt;
    QString number = m.captured(1);
    number.replace(',', '.');
    bool ok = false;
    double value = number.toDouble(&ok);
    if (!ok) return std::nullopt;
    const QString unit = m.captured(2).toLower();
    if (!unit.isEmpty()) value *= std::pow(1024.0, QStringLiteral("kmgtpe").indexOf(unit) + 1);
    // 2^64 and above cannot be held, nor is there such a file.
    if (value >= 18446744073709551615.0) return std::nullopt;
    return static_cast<quint64>(std::floor(value));
}

QLineEdit* SearchFilters::invalidField() const {
    for (QLineEdit* field : {m_minSize, m_maxSize})
        if (!field->text().trimmed().isEmpty() && !sizeFromText(field->text())) return field;
    return nullptr;
}

bool SearchFilters::apply(SearchQuery& query, QString* problem, const QDateTime& now) const {
    if (QLineEdit* bad = invalidField()) {
        if (problem)
            *problem =
                tr("“%1” is not a size. Type one such as 500 KiB, 2.5 MB or 1G.").arg(bad->text().trimmed());
        return false;
    }
    const auto min = sizeFromText(m_minSize->text());
    const auto max = sizeFromText(m_maxSize->text());
    if (min && max && *min > *max) {
        if (problem) *problem = tr("The smallest size is larger than the largest.");
        return false;
    }
    query.minSize = min.value_or(0);
    query.maxSize = max.value_or(UINT64_MAX);
    switch (m_kind->currentIndex()) {
        case 1:
            query.kind = SearchQuery::Kind::FilesOnly;
            break;
        case 2:
            query.kind = SearchQuery::Kind::FoldersOnly;
            break;
        default:
            break;  // what the text asks (a content search finds files)
    }
    const int choice = m_modified->currentIndex();
    if (choice == Today)
        query.modifiedSinceNs = nanoseconds(now.date().startOfDay());
    else if (choice > Today)
        query.modifiedSinceNs = nanoseconds(now.addDays(-kDaysBack[choice]));
    else
        query.modifiedSinceNs = 0;
    return true;
}

void SearchFilters::set(const SearchQuery& query) {
    m_kind->setCurrentIndex(query.kind == SearchQuery::Kind::FilesOnly && query.content.empty() ? 1
                            : query.kind == SearchQuery::Kind::FoldersOnly                      ? 2
                                                                                                : 0);
    // A size typed as "1 MiB" stays as typed; a query from elsewhere (the history) is written out.
    const auto show = [](QLineEdit* field, std::optional<quint64> size) {
        const auto typed = sizeFromText(field->text());
        const bool unreadable = !typed && !field->text().trimmed().isEmpty();
        if (unreadable || typed != size) field->setText(size ? sizeField(*size) : QString());
    };
    show(m_minSize, query.minSize > 0 ? std::optional<quint64>(query.minSize) : std::nullopt);
    show(m_maxSize, query.maxSize < UINT64_MAX ? std::optional<quint64>(query.maxSize) : std::nullopt);
    // A moment back from now: the nearest span that holds it (a search run again a day later).
    int choice = AnyTime;
    if (query.modifiedSinceNs > 0) {
        const QDateTime since = QDateTime::fromMSecsSinceEpoch(query.modifiedSinceNs / 1'000'000);
        const qint64 days = since.daysTo(QDateTime::currentDateTime());
        choice = since.date() == QDate::currentDate() && since.time() == QTime(0, 0) ? Today
                 : days <= 7                                                         ? Week
                 : days <= 30                                                        ? Month
                                                                                     : Year;
    }
    m_modified->setCurrentIndex(choice);
}

void SearchFilters::clear() {
    m_kind->setCurrentIndex(0);
    m_modified->setCurrentIndex(AnyTime);
    m_minSize->clear();
    m_maxSize->clear();
}

int SearchFilters::activeCount() const {
    return (m_kind->currentIndex() != 0) + (m_modified->currentIndex() != AnyTime) +
           (!m_minSize->text().trimmed().isEmpty() || !m_maxSize->text().trimmed().isEmpty());
}

}  // namespace kv
