#include "platform/qt/rename/renamedialog.h"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPalette>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include "platform/fs/core/paths.h"
#include "platform/qt/common/nametext.h"

namespace kv {

namespace {

using Status = RenameRow::Status;

QString statusText(Status s) {
    switch (s) {
        case Status::Unchanged:
            return QObject::tr("Unchanged");
        case Status::Ready:
            return {};
        case Status::Empty:
            return QObject::tr("Empty name");
        case Status::BadCharacter:
            return QObject::tr("A name cannot hold “/”");
        case Status::TooLong:
            return QObject::tr("Name too long");
        case Status::Duplicate:
            return QObject::tr("Two items would get this name");
        case Status::Taken:
            return QObject::tr("The name is taken");
        case Status::BadPattern:
            return QObject::tr("The expression is not valid");
        case Status::NotText:
            return QObject::tr("The old name is not text");
    }
    return {};
}

// The masks of this run, most recent first.
struct Recent {
    QStringList nameMasks{"[N]"};
    QStringList extensionMasks{"[E]"};
};
Recent& recent() {
    static Recent r;
    return r;
}
void remember(QStringList& list, const QString& mask) {
    list.removeAll(mask);
    list.prepend(mask);
    while (list.size() > 10) list.removeLast();
}

}  // namespace

class RenameRowsModel : public QAbstractTableModel {
  public:
    std::vector<RenameRow> rows;

    void set(std::vector<RenameRow> next) {
        const bool sameCount = next.size() == rows.size();
        if (!sameCount) beginResetModel();
        rows = std::move(next);
        if (!sameCount)
            endResetModel();
        else if (!rows.empty())
            emit dataChanged(index(0, 0), index(rowCount() - 1, 2));
    }
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 3; }
    QVariant data(const QModelIndex& index, const int role) const override {
        const RenameRow& r = rows[static_cast<size_t>(index.row())];
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
            switch (index.column()) {
                case 0:
                    return NameText::shown(paths::baseName(r.path));
                case 1:
                    return NameText::shown(r.newName);
                case 2:
                    return statusText(r.status);
            }
        }
        if (role == Qt::ForegroundRole && r.refused())
            return index.column() == 2 ? QColor(Qt::red)
                                       : QPalette().color(QPalette::Disabled, QPalette::Text);
        return {};
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
        return section == 0 ? tr("Old name") : section == 1 ? tr("New name") : tr("Note");
    }
};

RenameDialog::RenameDialog(std::vector<RenameSource> items, RenamePlan::TakenFn taken, QWidget* parent)
    : QDialog(parent), m_items(std::move(items)), m_taken(std::move(taken)), m_model(new RenameRowsModel) {
    setObjectName("renameDialog");
    setWindowTitle(tr("Rename %n Items", nullptr, static_cast<int>(m_items.size())));
    m_model->setParent(this);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);

    auto maskRow = [&](QLineEdit*& edit, const QStringList& offered, const QString& name) {
        edit = new QLineEdit(offered.value(0));
        edit->setObjectName(name);
        auto* row = new QHBoxLayout;
        row->addWidget(edit, 1);
        auto* again = new QComboBox;
        again->addItems(offered);
        again->setToolTip(tr("Masks used before"));
        connect(again, &QComboBox::activated, edit,
                [edit, again](int i) { edit->setText(again->itemText(i)); });
        row->addWidget(again);
        row->addWidget(fieldsButton(edit));
        return row;
    };
    // A label of a row whose field is a layout names its line with a buddy, or its & shows as written.
    auto label = [](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text);
        l->setBuddy(buddy);
        return l;
    };
    QLayout* nameRow = maskRow(m_nameMask, recent().nameMasks, "nameMask");
    form->addRow(label(tr("&Name:"), m_nameMask), nameRow);
    QLayout* extensionRow = maskRow(m_extensionMask, recent().extensionMasks, "extensionMask");
    form->addRow(label(tr("E&xtension:"), m_extensionMask), extensionRow);

    m_find = new QLineEdit;
    m_find->setObjectName("find");
    m_replace = new QLineEdit;
    m_replace->setObjectName("replace");
    m_regex = new QCheckBox(tr("Re&gular expression (groups: $1)"));
    m_matchCase = new QCheckBox(tr("&Match case"));
    m_matchCase->setChecked(true);
    auto* findRow = new QHBoxLayout;
    findRow->addWidget(m_find, 1);
    findRow->addWidget(new QLabel(tr("with")));
    findRow->addWidget(m_replace, 1);
    form->addRow(label(tr("&Replace:"), m_find), findRow);
    auto* findOptions = new QHBoxLayout;
    findOptions->addWidget(m_regex);
    findOptions->addWidget(m_matchCase);
    findOptions->addStretch();
    form->addRow(QString(), findOptions);

    m_case = new QComboBox;
    m_case->addItems({tr("Unchanged"), tr("lower case"), tr("UPPER CASE"), tr("First Letter Of Each Word")});
    form->addRow(tr("&Case:"), m_case);

    m_start = new QSpinBox;
    m_start->setRange(-1000000, 1000000000);
    m_start->setValue(1);
    m_step = new QSpinBox;
    m_step->setRange(-1000000, 1000000);
    m_step->setValue(1);
    m_digits = new QSpinBox;
    m_digits->setRange(1, 12);
    auto* counterRow = new QHBoxLayout;
    for (auto [label, box] :
         {std::pair{tr("start"), m_start}, {tr("step"), m_step}, {tr("digits"), m_digits}}) {
        counterRow->addWidget(new QLabel(label));
        counterRow->addWidget(box);
    }
    counterRow->addStretch();
    form->addRow(label(tr("C&ounter [C]:"), m_start), counterRow);

    m_dateFormat = new QComboBox;
    m_dateFormat->setEditable(true);
    m_dateFormat->addItems({"%Y-%m-%d", "%Y%m%d", "%d.%m.%Y", "%Y-%m"});
    m_timeFormat = new QComboBox;
    m_timeFormat->setEditable(true);
    m_timeFormat->addItems({"%H.%M.%S", "%H%M%S", "%H-%M"});
    auto* timeRow = new QHBoxLayout;
    timeRow->addWidget(m_dateFormat);
    timeRow->addWidget(new QLabel(tr("time [T]")));
    timeRow->addWidget(m_timeFormat);
    timeRow->addStretch();
    m_dateFormat->setMinimumContentsLength(10);
    m_timeFormat->setMinimumContentsLength(10);
    form->addRow(label(tr("&Date [D]:"), m_dateFormat), timeRow);

    m_table = new QTableView;
    m_table->setObjectName("renameTable");
    m_table->setModel(m_model);
    m_table->verticalHeader()->hide();
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    layout->addWidget(m_table, 1);
    m_summary = new QLabel;
    m_summary->setObjectName("renameSummary");
    layout->addWidget(m_summary);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    m_run = buttons->addButton(tr("Rename"), QDialogButtonBox::AcceptRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    m_run->setDefault(true);  // once in the dialog: a default set before would not hold

    for (QLineEdit* e : {m_nameMask, m_extensionMask, m_find, m_replace})
        connect(e, &QLineEdit::textChanged, this, &RenameDialog::update);
    for (QCheckBox* c : {m_regex, m_matchCase}) connect(c, &QCheckBox::toggled, this, &RenameDialog::update);
    for (QComboBox* c : {m_case, m_dateFormat, m_timeFormat})
        connect(c, &QComboBox::currentTextChanged, this, &RenameDialog::update);
    for (QSpinBox* s : {m_start, m_step, m_digits})
        connect(s, &QSpinBox::valueChanged, this, &RenameDialog::update);
    resize(720, 560);
    update();
    m_nameMask->selectAll();
    m_nameMask->setFocus();
}

RenameDialog::~RenameDialog() = default;

QWidget* RenameDialog::fieldsButton(QLineEdit* into) {
    auto* button = new QToolButton;
    button->setText(tr("Field"));
    button->setToolTip(tr("Insert a field at the cursor"));
    button->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(button);
    const std::pair<QString, QString> fields[] = {
        {tr("Name [N]"), "[N]"},
        {tr("Characters 1 to 3 of the name [N1-3]"), "[N1-3]"},
        {tr("Extension [E]"), "[E]"},
        {tr("Counter [C]"), "[C]"},
        {tr("Counter, 3 digits [C:3]"), "[C:3]"},
        {tr("Date modified [D]"), "[D]"},
        {tr("Time modified [T]"), "[T]"},
        {tr("Folder name [P]"), "[P]"},
    };
    for (const auto& [label, field] : fields)
        menu->addAction(label, into, [into, field] {
            into->insert(field);
            into->setFocus();
        });
    button->setMenu(menu);
    return button;
}

RenameRules RenameDialog::rules() const {
    RenameRules r;
    r.nameMask = m_nameMask->text().toStdString();
    r.extensionMask = m_extensionMask->text().toStdString();
    r.find = m_find->text().toStdString();
    r.replace = m_replace->text().toStdString();
    r.regularExpression = m_regex->isChecked();
    r.matchCase = m_matchCase->isChecked();
    r.caseChange = static_cast<RenameRules::Case>(m_case->currentIndex());
    r.counterStart = m_start->value();
    r.counterStep = m_step->value();
    r.counterDigits = m_digits->value();
    r.dateFormat = m_dateFormat->currentText().toStdString();
    r.timeFormat = m_timeFormat->currentText().toStdString();
    return r;
}

const std::vector<RenameRow>& RenameDialog::rows() const {
    return m_model->rows;
}

std::vector<std::pair<std::string, std::string>> RenameDialog::renames() const {
    std::vector<std::pair<std::string, std::string>> out;
    for (const RenameRow& r : m_model->rows)
        if (r.status == Status::Ready) out.emplace_back(r.path, r.newName);
    return out;
}

void RenameDialog::update() {
    m_model->set(RenamePlan::make(m_items, rules(), m_taken));
    int ready = 0, refused = 0;
    for (const RenameRow& r : m_model->rows) {
        if (r.status == Status::Ready) ++ready;
        if (r.refused()) ++refused;
    }
    QString text = tr("%n to rename", nullptr, ready);
    if (refused) text += tr("; %n keep their names (see the notes)", nullptr, refused);
    m_summary->setText(text);
    m_run->setEnabled(ready > 0);
}

void RenameDialog::accept() {
    remember(recent().nameMasks, m_nameMask->text());
    remember(recent().extensionMasks, m_extensionMask->text());
    QDialog::accept();
}

}  // namespace kv
