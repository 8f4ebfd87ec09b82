#include "platform/qt/properties/propertiesdialog.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QCheckBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPushButton>
#include <QVBoxLayout>
#include <cerrno>
#include <cstring>

#include "platform/fs/core/background.h"
#include "platform/qt/common/elidedlabel.h"
#include "platform/qt/common/nametext.h"
#include "platform/qt/common/pathtext.h"
#include "platform/qt/common/sizetext.h"
#include "platform/qt/listing/sizecounter.h"
#include "platform/qt/properties/checksumrow.h"

namespace kv {

namespace {

QString bytes(quint64 n) {
    const QString exact = QLocale().toString(n);
    return QObject::tr("%1 (%2 bytes)").arg(sizeText(n), exact);
}

QString display(const QByteArray& raw) {
    return NameText::shown(raw.toStdString());
}

QString ownerText(const struct stat& st) {
    const passwd* pw = ::getpwuid(st.st_uid);
    const group* gr = ::getgrgid(st.st_gid);
    return QObject::tr("%1, group %2")
        .arg(pw ? QString::fromLocal8Bit(pw->pw_name) : QString::number(st.st_uid),
             gr ? QString::fromLocal8Bit(gr->gr_name) : QString::number(st.st_gid));
}

QString typeText(const QByteArray& path, const struct stat& st, const std::optional<QByteArray>& linkTarget) {
    if (S_ISLNK(st.st_mode)) {
        return QObject::tr("Link to %1").arg(linkTarget ? display(*linkTarget) : QObject::tr("(unreadable)"));
    }
    if (S_ISDIR(st.st_mode)) return QObject::tr("Folder");
    static QMimeDatabase db;
    const QMimeType t = db.mimeTypeForFile(display(path), QMimeDatabase::MatchExtension);
    return t.comment().isEmpty() ? t.name() : t.comment();
}

}  // namespace

QString PropertiesDialog::permissionsText(unsigned mode) {
    QChar type = '-';
    if (S_ISDIR(mode))
        type = 'd';
    else if (S_ISLNK(mode))
        type = 'l';
    else if (S_ISCHR(mode))
        type = 'c';
    else if (S_ISBLK(mode))
        type = 'b';
    else if (S_ISFIFO(mode))
        type = 'p';
    else if (S_ISSOCK(mode))
        type = 's';
    const char* letters = "rwxrwxrwx";
    QString s(type);
    for (int bit = 0; bit < 9; ++bit) s += (mode & (0400u >> bit)) ? QChar(letters[bit]) : QChar('-');
    // Set-user-ID, set-group-ID and sticky take the execute places: lower case when execute is set too.
    auto special = [&](int at, unsigned flag, char letter) {
        if (!(mode & flag)) return;
        s[at] = s[at] == 'x' ? QChar(letter) : QChar(letter).toUpper();
    };
    special(3, S_ISUID, 's');
    special(6, S_ISGID, 's');
    special(9, S_ISVTX, 't');
    return s + QStringLiteral(" (%1)").arg(mode & 07777, 3, 8, QChar('0'));
}

QString PropertiesDialog::countText(quint64 files, quint64 folders) {
    return tr("%1, %2").arg(
        files == 1 ? tr("1 file") : tr("%1 files").arg(QLocale().toString(files)),
        folders == 1 ? tr("1 folder") : tr("%1 folders").arg(QLocale().toString(folders)));
}

void PropertiesDialog::addPermissionEditor(const QByteArray& path, unsigned mode) {
    // Owner, group, others by read, write, execute: the bits of one item its owner (or root) may change.
    auto* grid = new QGridLayout;
    const QString heads[] = {tr("Read"), tr("Write"), tr("Execute")};
    const QString who[] = {tr("Owner"), tr("Group"), tr("Others")};
    for (int c = 0; c < 3; ++c) grid->addWidget(new QLabel(heads[c]), 0, c + 1);
    for (int r = 0; r < 3; ++r) {
        grid->addWidget(new QLabel(who[r]), r + 1, 0);
        for (int c = 0; c < 3; ++c) {
            auto* box = new QCheckBox;
            const unsigned bit = 0400u >> (r * 3 + c);
            box->setObjectName(QStringLiteral("perm%1").arg(bit, 3, 8, QChar('0')));
            box->setChecked(mode & bit);
            box->setAccessibleName(who[r] + ' ' + heads[c]);
            grid->addWidget(box, r + 1, c + 1, Qt::AlignCenter);
            m_bits.push_back({box, bit});
        }
    }
    m_apply = new QPushButton(tr("&Apply"));
    m_apply->setObjectName("applyPermissions");
    m_apply->setEnabled(false);
    grid->addWidget(m_apply, 4, 0, 1, 4, Qt::AlignRight);
    grid->setColumnStretch(4, 1);  // the boxes stay close to their headings
    for (const Bit& b : m_bits)
        connect(b.box, &QCheckBox::toggled, this, [this] { m_apply->setEnabled(chosenMode() != m_mode); });
    m_mode = mode;
    m_path = path;
    connect(m_apply, &QPushButton::clicked, this, &PropertiesDialog::applyPermissions);
    m_form->addRow(tr("Change:"), grid);
}

unsigned PropertiesDialog::chosenMode() const {
    unsigned mode = m_mode & ~0777u;
    for (const Bit& b : m_bits)
        if (b.box->isChecked()) mode |= b.bit;
    return mode;
}

void PropertiesDialog::applyPermissions() {
    const unsigned mode = chosenMode();
    m_apply->setEnabled(false);
    // chmod may wait on a slow or dead mount: off the UI thread.
    runInBackground(
        this, [path = m_path, mode] { return ::chmod(path.constData(), mode & 07777) == 0 ? 0 : errno; },
        [this, mode](int error) {
            if (error == 0) {
                m_mode = mode;
                if (auto* l = findChild<QLabel*>("permissions")) l->setText(permissionsText(mode));
                emit permissionsApplied();
                return;
            }
            m_apply->setEnabled(true);
            auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(),
                                        tr("The permissions could not be changed: %1")
                                            .arg(QString::fromLocal8Bit(std::strerror(error))),
                                        QMessageBox::Close, this);
            box->setObjectName("permissionsFailed");
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->open();
        });
}

QLabel* PropertiesDialog::addRow(const char* field, const QString& label, const QString& value) {
    auto* v = new QLabel(value);
    v->setObjectName(field);
    v->setTextFormat(Qt::PlainText);
    v->setTextInteractionFlags(Qt::TextSelectableByMouse);
    v->setWordWrap(true);
    m_form->addRow(label, v);
    return v;
}

PropertiesDialog::Facts PropertiesDialog::gather(const QList<QByteArray>& paths) {
    Facts facts;
    facts.paths = paths;
    for (const QByteArray& p : paths) {
        struct stat st {};
        if (::lstat(p.constData(), &st) != 0) continue;
        facts.stats.push_back(st);
    }
    if (paths.size() == 1 && facts.stats.size() == 1 && S_ISLNK(facts.stats.front().st_mode)) {
        char target[4096];
        const ssize_t n = ::readlink(paths.front().constData(), target, sizeof target);
        if (n > 0) facts.linkTarget = QByteArray(target, static_cast<qsizetype>(n));
    }
    return facts;
}

void PropertiesDialog::showFor(const QList<QByteArray>& paths, QWidget* parent) {
    // Everything the dialog shows is read off the UI thread: an item on a dead mount must not freeze the
    // window. The dialog comes when the answers do (and never, for a mount that gives none).
    runInBackground(
        parent, [paths] { return gather(paths); },
        [parent](Facts facts) { (new PropertiesDialog(facts, parent))->show(); });
}

PropertiesDialog::PropertiesDialog(const QList<QByteArray>& paths, QWidget* parent)
    : PropertiesDialog(gather(paths), parent) {}

PropertiesDialog::PropertiesDialog(const Facts& facts, QWidget* parent)
    : QDialog(parent), m_counter(new SizeCounter(this)) {
    const QList<QByteArray>& paths = facts.paths;
    const std::vector<struct stat>& stats = facts.stats;
    setAttribute(Qt::WA_DeleteOnClose);
    // Wide enough for a size in bytes and a date in full beside their labels.
    setMinimumWidth(480);
    auto* layout = new QVBoxLayout(this);
    m_form = new QFormLayout;
    layout->addLayout(m_form);

    bool anyDir = false;
    quint64 fileBytes = 0;
    for (const struct stat& st : stats) {
        anyDir = anyDir || S_ISDIR(st.st_mode);
        fileBytes += S_ISDIR(st.st_mode) ? 0 : static_cast<quint64>(st.st_size);
    }
    const bool one = paths.size() == 1 && stats.size() == 1;
    const QString name =
        one ? display(pathtext::normalized(paths.front())).section('/', -1, -1, QString::SectionSkipEmpty)
            : tr("%1 items").arg(paths.size());
    setWindowTitle(tr("Properties of %1").arg(name.isEmpty() ? QStringLiteral("/") : name));
    addRow("name", tr("Name:"), name.isEmpty() ? QStringLiteral("/") : name);
    if (one) addRow("type", tr("Type:"), typeText(paths.front(), stats.front(), facts.linkTarget));
    QString location = paths.isEmpty() ? QString() : display(pathtext::parentOf(paths.front()));
    for (const QByteArray& p : paths)
        if (display(pathtext::parentOf(p)) != location) location = tr("(several folders)");
    auto* where = new ElidedLabel(location);
    where->setObjectName("location");
    where->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_form->addRow(tr("Location:"), where);
    m_size = addRow("size", tr("Size:"), anyDir ? tr("Counting…") : bytes(fileBytes));
    QLabel* contains = anyDir ? addRow("contains", tr("Contains:"), tr("Counting…")) : nullptr;
    if (one) {
        const struct stat& st = stats.front();
        const QDateTime mtime = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec);
        addRow("modified", tr("Modified:"),
               tr("%1, %2").arg(QLocale().toString(mtime.date(), QLocale::LongFormat),
                                mtime.time().toString(QStringLiteral("HH:mm:ss"))));
        addRow("permissions", tr("Permissions:"), permissionsText(st.st_mode));
        addRow("owner", tr("Owner:"), ownerText(st));
        const uid_t me = ::geteuid();
        if (!S_ISLNK(st.st_mode) && (me == 0 || me == st.st_uid))
            addPermissionEditor(paths.front(), st.st_mode);
        if (S_ISREG(st.st_mode)) m_form->addRow(tr("Checksum:"), new ChecksumRow(paths.front()));
    }
    if (anyDir) {
        auto show = [this, contains](const SizeCounter::Totals& t, bool final) {
            const QString size = bytes(t.bytes);
            QString count = countText(t.files, t.folders);
            if (t.unreadable) count += tr(" (%1 folders could not be read)").arg(t.unreadable);
            m_size->setText(final ? size : tr("%1 — counting…").arg(size));
            contains->setText(final ? count : tr("%1 — counting…").arg(count));
        };
        connect(m_counter, &SizeCounter::progress, this,
                [show](const SizeCounter::Totals& t) { show(t, false); });
        connect(m_counter, &SizeCounter::done, this, [show](const SizeCounter::Totals& t) { show(t, true); });
        m_counting = true;
        m_counter->start(paths);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    layout->addWidget(buttons);
}

bool PropertiesDialog::isCounting() const {
    return m_counting && !m_counter->isDone();
}

QString PropertiesDialog::sizeText() const {
    return m_size->text();
}

QString PropertiesDialog::fieldText(const char* field) const {
    auto* l = findChild<QLabel*>(field);
    return l ? l->text() : QString();
}

}  // namespace kv
