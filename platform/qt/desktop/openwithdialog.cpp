#include "platform/qt/desktop/openwithdialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/fs/core/background.h"
#include "platform/fs/core/paths.h"
#include "platform/qt/common/nametext.h"

namespace kv {

namespace {

constexpr int kIdRole = Qt::UserRole + 1;

QString typeComment(const QString& mimeType) {
    const QMimeType t = QMimeDatabase().mimeTypeForName(mimeType);
    return t.isValid() && !t.comment().isEmpty() ? t.comment() : mimeType;
}

}  // namespace

OpenWithDialog::OpenWithDialog(const QList<QByteArray>& paths, QWidget* parent)
    : QDialog(parent), m_paths(paths) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName("openWithDialog");
    const QString first = NameText::shown(paths::baseName(paths.value(0).toStdString()));
    setWindowTitle(paths.size() == 1 ? tr("Open “%1” With").arg(first)
                                     : tr("Open %1 Files With").arg(paths.size()));
    setMinimumSize(380, 420);
    auto* layout = new QVBoxLayout(this);
    m_what = new QLabel(tr("Looking for applications…"));
    m_what->setWordWrap(true);
    m_what->setTextFormat(Qt::PlainText);
    layout->addWidget(m_what);
    m_list = new QListWidget;
    m_list->setObjectName("applications");
    m_list->setIconSize(QSize(24, 24));
    m_list->setUniformItemSizes(true);
    layout->addWidget(m_list, 1);
    m_all = new QCheckBox(tr("Show &all applications"));
    m_all->setObjectName("showAll");
    layout->addWidget(m_all);
    m_default = new QCheckBox(tr("&Set as default for this type"));
    m_default->setObjectName("setDefault");
    layout->addWidget(m_default);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel);
    m_open = buttons->button(QDialogButtonBox::Open);
    m_open->setEnabled(false);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &OpenWithDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QListWidget::itemActivated, this, &OpenWithDialog::accept);
    connect(m_list, &QListWidget::currentItemChanged, this,
            [this](QListWidgetItem* item) { m_open->setEnabled(item && !m_busy); });
    connect(m_all, &QCheckBox::toggled, this, [this](bool on) { load(on); });
    load(false);
}

void OpenWithDialog::load(bool everything) {
    m_loaded = false;
    m_open->setEnabled(false);
    // The first look at the desktop's records reads every .desktop file: not on the UI thread.
    runInBackground(
        this,
        [paths = m_paths, everything] {
            Listing l;
            for (const QByteArray& p : paths) {
                const QString t = Applications::mimeTypeOf(p);
                if (!l.types.contains(t)) l.types << t;
            }
            l.apps = Applications::allForEach(l.types);
            if (everything) {
                QSet<QString> seen;
                for (const Applications::App& a : l.apps) seen.insert(a.id);
                for (const Applications::App& a : Applications::all())
                    if (!seen.contains(a.id)) l.apps << a;
            }
            return l;
        },
        [this](const Listing& l) { fill(l); });
}

void OpenWithDialog::fill(const Listing& listing) {
    m_types = listing.types;
    m_list->clear();
    for (const Applications::App& app : listing.apps) {
        auto* item =
            new QListWidgetItem(app.icon(), app.isDefault ? tr("%1 (default)").arg(app.name) : app.name);
        item->setData(kIdRole, app.id);
        item->setToolTip(app.id);
        m_list->addItem(item);
    }
    QStringList comments;
    for (const QString& t : m_types) comments << typeComment(t);
    if (listing.apps.isEmpty())
        m_what->setText(tr("No application is set to open %1. Tick “Show all applications” to choose any.")
                            .arg(comments.join(", ")));
    else
        m_what->setText(tr("Choose an application to open %1:").arg(comments.join(", ")));
    // One type only: a default is a choice for a type.
    m_default->setEnabled(m_types.size() == 1);
    if (m_list->count() > 0) m_list->setCurrentRow(0);
    m_list->setFocus();
    m_loaded = true;
}

QStringList OpenWithDialog::listedIds() const {
    QStringList ids;
    for (int k = 0; k < m_list->count(); ++k) ids << m_list->item(k)->data(kIdRole).toString();
    return ids;
}

bool OpenWithDialog::choose(const QString& appId, bool setAsDefault) {
    const int row = static_cast<int>(listedIds().indexOf(appId));
    if (row < 0) return false;
    m_list->setCurrentRow(row);
    m_default->setChecked(setAsDefault);
    return true;
}

void OpenWithDialog::accept() {
    QListWidgetItem* item = m_list->currentItem();
    if (!item || m_busy) return;
    const QString id = item->data(kIdRole).toString();
    const QString type = m_default->isEnabled() && m_default->isChecked() ? m_types.value(0) : QString();
    m_busy = true;
    m_open->setEnabled(false);
    runInBackground(
        this,
        [id, type, paths = m_paths] {
            QStringList problems;
            if (!type.isEmpty()) {
                const QString why = Applications::setDefault(id, type);
                if (!why.isEmpty()) problems << tr("It could not be made the default: %1").arg(why);
            }
            const QString why = Applications::launch(id, paths);
            if (!why.isEmpty()) problems << tr("It could not be started: %1").arg(why);
            return std::make_pair(why.isEmpty(), problems);
        },
        [this, id](const std::pair<bool, QStringList>& r) {
            m_busy = false;
            m_open->setEnabled(true);
            if (!r.second.isEmpty()) {
                auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(), r.second.join('\n'),
                                            QMessageBox::Close, this);
                box->setObjectName("openWithProblem");
                box->setAttribute(Qt::WA_DeleteOnClose);
                box->open();
            }
            if (r.first) {
                emit launched(id);
                if (r.second.isEmpty()) QDialog::accept();
            }
        });
}

}  // namespace kv
