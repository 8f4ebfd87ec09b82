#include "platform/qt/compare/comparewindow.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <cstring>
#include <vector>

#include "platform/fs/compare/syncjob.h"
#include "platform/fs/core/background.h"
#include "platform/qt/common/sizetext.h"
#include "platform/qt/compare/comparemodel.h"
#include "platform/qt/jobs/fileoperations.h"

namespace kv {

namespace {

constexpr CompareKind kFilterOrder[] = {CompareKind::OnlyLeft,   CompareKind::NewerLeft, CompareKind::Differs,
                                        CompareKind::NewerRight, CompareKind::OnlyRight, CompareKind::Same};

struct RowKey {
    SyncAction action;
    QKeyCombination key;
};

const std::vector<RowKey>& rowKeys() {
    static const std::vector<RowKey> keys = {{SyncAction::CopyRight, Qt::CTRL | Qt::Key_Right},
                                             {SyncAction::CopyLeft, Qt::CTRL | Qt::Key_Left},
                                             {SyncAction::DeleteLeft, Qt::ALT | Qt::Key_Left},
                                             {SyncAction::DeleteRight, Qt::ALT | Qt::Key_Right},
                                             {SyncAction::Nothing, Qt::CTRL | Qt::Key_Space}};
    return keys;
}

std::string pathOf(const QLineEdit* edit) {
    QString text = edit->text().trimmed();
    while (text.size() > 1 && text.endsWith('/')) text.chop(1);
    return QFile::encodeName(text).toStdString();
}

}  // namespace

CompareWindow::CompareWindow(FileOperations& ops, const QString& left, const QString& right, QWidget* parent)
    : QWidget(parent, Qt::Window), m_ops(ops), m_model(new CompareModel(this)) {
    setWindowTitle(tr("Compare Folders"));
    setObjectName(QStringLiteral("compareWindow"));
    build();
    m_left->setText(left);
    m_right->setText(right);
    resize(1100, 640);
}

CompareWindow::~CompareWindow() {
    cancelCompare();
}

void CompareWindow::build() {
    m_left = new QLineEdit(this);
    m_left->setObjectName(QStringLiteral("leftFolder"));
    m_right = new QLineEdit(this);
    m_right->setObjectName(QStringLiteral("rightFolder"));
    auto* swap = new QToolButton(this);
    swap->setText(QStringLiteral("⇄"));
    swap->setToolTip(tr("Swap the two folders"));
    connect(swap, &QToolButton::clicked, this, [this] {
        const QString l = m_left->text();
        m_left->setText(m_right->text());
        m_right->setText(l);
    });
    auto* folders = new QHBoxLayout;
    folders->addWidget(new QLabel(tr("Left:"), this));
    folders->addWidget(m_left, 1);
    folders->addWidget(swap);
    folders->addWidget(new QLabel(tr("Right:"), this));
    folders->addWidget(m_right, 1);

    m_by = new QComboBox(this);
    m_by->addItem(tr("Name, size and time"));
    m_by->addItem(tr("Content"));
    m_by->setToolTip(
        tr("By content, files of equal size are read and compared byte by byte; times within "
           "2 seconds count as equal (FAT keeps them so)"));
    m_recursive = new QCheckBox(tr("Subfolders"), this);
    m_recursive->setChecked(true);
    m_ignoreCase = new QCheckBox(tr("Ignore case of names"), this);
    m_mirror = new QCheckBox(tr("Mirror left to right"), this);
    m_mirror->setToolTip(tr("One way: make the right like the left, deleting what only the right has"));
    m_include = new QLineEdit(this);
    m_include->setPlaceholderText(QStringLiteral("*"));
    m_include->setToolTip(tr("Files to compare, such as *.jpg;*.png (empty: all)"));
    m_exclude = new QLineEdit(this);
    m_exclude->setToolTip(tr("Files and folders to leave out, such as *.tmp;.git"));
    m_compare = new QPushButton(tr("Compare"), this);
    m_compare->setDefault(true);
    m_stop = new QPushButton(tr("Stop"), this);
    m_stop->setEnabled(false);
    auto* how = new QHBoxLayout;
    how->addWidget(new QLabel(tr("Compare by:"), this));
    how->addWidget(m_by);
    how->addWidget(m_recursive);
    how->addWidget(m_ignoreCase);
    how->addWidget(m_mirror);
    how->addWidget(new QLabel(tr("Include:"), this));
    how->addWidget(m_include, 1);
    how->addWidget(new QLabel(tr("Exclude:"), this));
    how->addWidget(m_exclude, 1);
    how->addWidget(m_compare);
    how->addWidget(m_stop);

    auto* filters = new QHBoxLayout;
    filters->addWidget(new QLabel(tr("Show:"), this));
    for (size_t i = 0; i < m_filters.size(); ++i) {
        const CompareKind kind = kFilterOrder[i];
        auto* b = new QCheckBox(this);
        b->setChecked(m_model->isShown(kind));
        connect(b, &QCheckBox::toggled, this, [this, kind](bool on) {
            m_model->setShown(kind, on);
            updateCounts();
        });
        m_filters[i] = b;
        filters->addWidget(b);
    }
    filters->addStretch(1);

    m_table = new QTableView(this);
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setShowGrid(false);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    QHeaderView* header = m_table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionResizeMode(CompareModel::LeftName, QHeaderView::Stretch);
    header->setSectionResizeMode(CompareModel::RightName, QHeaderView::Stretch);
    for (int c : {CompareModel::LeftSize, CompareModel::RightSize}) header->resizeSection(c, 80);
    for (int c : {CompareModel::LeftTime, CompareModel::RightTime}) header->resizeSection(c, 160);
    header->resizeSection(CompareModel::Action, 100);
    m_table->setContextMenuPolicy(Qt::ActionsContextMenu);

    // The row actions: the table's menu, and their keys while the table has the focus (eventFilter).
    for (const RowKey& k : rowKeys()) {
        auto* act = new QAction(CompareModel::actionText(k.action) + '\t' +
                                    QKeySequence(k.key).toString(QKeySequence::NativeText),
                                m_table);
        const SyncAction action = k.action;
        connect(act, &QAction::triggered, this, [this, action] { setRowAction(action); });
        m_table->addAction(act);
    }
    m_table->installEventFilter(this);

    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("summary"));
    m_status = new QLabel(this);
    m_run = new QPushButton(tr("Run"), this);
    m_run->setToolTip(tr("Do the actions of the rows shown"));
    m_run->setEnabled(false);
    auto* close = new QPushButton(tr("Close"), this);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_summary, 1);
    bottom->addWidget(m_status);
    bottom->addWidget(m_run);
    bottom->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(folders);
    layout->addLayout(how);
    layout->addLayout(filters);
    layout->addWidget(m_table, 1);
    layout->addLayout(bottom);

    connect(m_compare, &QPushButton::clicked, this, &CompareWindow::compare);
    connect(m_left, &QLineEdit::returnPressed, this, &CompareWindow::compare);
    connect(m_right, &QLineEdit::returnPressed, this, &CompareWindow::compare);
    connect(m_stop, &QPushButton::clicked, this, &CompareWindow::cancelCompare);
    connect(m_run, &QPushButton::clicked, this, &CompareWindow::run);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    // A changed option asks for a new comparison before Run.
    for (QCheckBox* box : {m_recursive, m_ignoreCase, m_mirror})
        connect(box, &QCheckBox::toggled, this, [this] { m_run->setEnabled(false); });
    connect(m_by, &QComboBox::currentIndexChanged, this, [this] { m_run->setEnabled(false); });
    updateCounts();
}

CompareOptions CompareWindow::options() const {
    CompareOptions o;
    o.left = pathOf(m_left);
    o.right = pathOf(m_right);
    o.byContent = m_by->currentIndex() == 1;
    o.recursive = m_recursive->isChecked();
    o.ignoreCase = m_ignoreCase->isChecked();
    o.mirror = m_mirror->isChecked();
    o.include = m_include->text().toStdString();
    o.exclude = m_exclude->text().toStdString();
    return o;
}

void CompareWindow::compare() {
    cancelCompare();
    const CompareOptions o = options();
    if (o.left.empty() || o.right.empty()) return;
    const quint64 generation = ++m_generation;
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    setBusy(true);
    m_status->setText(tr("Comparing…"));
    // What is posted runs only while this window exists.
    const Receiver receiver(this);
    background::runDetached([this, receiver, o, cancel = m_cancel, generation] {
        CompareResult result = FolderCompare::run(o, cancel.get(), [&](const CompareProgress& p) {
            const int items = static_cast<int>(p.items);
            const quint64 bytes = p.bytesCompared;
            receiver.post([this, items, bytes, generation] {
                if (generation != m_generation) return;
                m_status->setText(bytes ? tr("%n rows, %1 read…", nullptr, items).arg(sizeText(bytes))
                                        : tr("%n rows…", nullptr, items));
            });
        });
        auto shared = std::make_shared<CompareResult>(std::move(result));
        receiver.post([this, shared, o, generation] { finished(generation, std::move(*shared), o); });
    });
}

void CompareWindow::cancelCompare() {
    if (!m_cancel) return;
    m_cancel->store(true);
    m_cancel.reset();
    ++m_generation;
    setBusy(false);
    m_status->setText(tr("Stopped"));
}

void CompareWindow::finished(quint64 generation, CompareResult result, CompareOptions options) {
    if (generation != m_generation) return;
    m_cancel.reset();
    setBusy(false);
    QString status;
    if (!result.errors.empty()) {
        const auto& [path, error] = result.errors.front();
        status = tr("Could not read “%1”: %2")
                     .arg(QFile::decodeName(QByteArray::fromStdString(path)),
                          QString::fromLocal8Bit(strerror(error)));
    }
    m_status->setText(status);
    m_model->setResult(std::move(result), std::move(options));
    m_table->resizeColumnToContents(CompareModel::Action);
    m_run->setEnabled(true);
    updateCounts();
    emit compared();
}

void CompareWindow::setBusy(bool busy) {
    m_compare->setEnabled(!busy);
    m_stop->setEnabled(busy);
    if (busy) m_run->setEnabled(false);
}

void CompareWindow::updateCounts() {
    for (size_t i = 0; i < m_filters.size(); ++i) {
        const CompareKind kind = kFilterOrder[i];
        m_filters[i]->setText(
            QStringLiteral("%1 (%2)").arg(CompareModel::kindText(kind)).arg(m_model->count(kind)));
    }
    m_summary->setText(m_model->summary());
}

bool CompareWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_table && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QKeyCombination pressed(key->modifiers() & ~Qt::KeypadModifier, Qt::Key(key->key()));
        for (const RowKey& k : rowKeys()) {
            if (k.key == pressed) {
                setRowAction(k.action);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CompareWindow::setRowAction(SyncAction action) {
    m_model->setAction(m_table->selectionModel()->selectedRows(), action);
    updateCounts();
}

void CompareWindow::run() {
    const CompareOptions o = m_model->options();
    SyncJob::Plan plan = SyncJob::planOf(m_model->shownRows(), o);
    if (plan.empty()) return;
    if (!plan.deletes.empty()) {
        const QString what =
            plan.deletes.size() == 1
                ? tr("Move “%1” to the trash?")
                      .arg(QFile::decodeName(QByteArray::fromStdString(plan.deletes.front())))
                : tr("Move %1 items to the trash?").arg(plan.deletes.size());
        const auto answer = QMessageBox::question(
            this, tr("Delete Items"),
            what + ' ' + tr("They are on one side only, or the mirror does not keep them."));
        if (answer != QMessageBox::Yes) return;
    }
    const int n = static_cast<int>(plan.copies.size() + plan.deletes.size());
    m_run->setEnabled(false);
    m_ops.run(std::make_unique<SyncJob>(std::move(plan), m_ops.homeTrash()),
              tr("Synchronizing %n items", nullptr, n), this, true,
              [self = QPointer(this)](const JobResult&) {
                  if (self) self->compare();
              });
}

}  // namespace kv
