#include "platform/qt/propertiesdialog.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QMimeDatabase>
#include <QVBoxLayout>

#include "platform/qt/dropdecision.h"
#include "platform/qt/foldermodel.h"
#include "platform/qt/sizecounter.h"
#include "platform/qt/sizetext.h"

namespace kv {

namespace {

QString bytes(quint64 n) {
    const QString exact = QLocale().toString(n);
    return QObject::tr("%1 (%2 bytes)").arg(sizeText(n), exact);
}

QString display(const QByteArray& raw) {
    return FolderModel::displayName(raw.toStdString());
}

QString ownerText(const struct stat& st) {
    const passwd* pw = ::getpwuid(st.st_uid);
    const group* gr = ::getgrgid(st.st_gid);
    return QObject::tr("%1, group %2")
        .arg(pw ? QString::fromLocal8Bit(pw->pw_name) : QString::number(st.st_uid),
             gr ? QString::fromLocal8Bit(gr->gr_name) : QString::number(st.st_gid));
}

QString typeText(const QByteArray& path, const struct stat& st) {
    if (S_ISLNK(st.st_mode)) {
        char target[4096];
        const ssize_t n = ::readlink(path.constData(), target, sizeof target);
        return QObject::tr("Link to %1")
            .arg(n > 0 ? display(QByteArray(target, static_cast<qsizetype>(n)))
                       : QObject::tr("(unreadable)"));
    }
    if (S_ISDIR(st.st_mode)) return QObject::tr("Folder");
    static QMimeDatabase db;
    const QMimeType t = db.mimeTypeForFile(display(path), QMimeDatabase::MatchExtension);
    return t.comment().isEmpty() ? t.name() : t.comment();
}

}  // namespace

QString PropertiesDialog::permissionsText(unsigned mode) {
    const char* letters = "rwxrwxrwx";
    QString s;
    for (int bit = 0; bit < 9; ++bit) s += (mode & (0400u >> bit)) ? QChar(letters[bit]) : QChar('-');
    return s + QStringLiteral(" (%1)").arg(mode & 07777, 3, 8, QChar('0'));
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

PropertiesDialog::PropertiesDialog(const QList<QByteArray>& paths, QWidget* parent)
    : QDialog(parent), m_counter(new SizeCounter(this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    m_form = new QFormLayout;
    layout->addLayout(m_form);

    std::vector<struct stat> stats;
    bool anyDir = false;
    quint64 fileBytes = 0;
    for (const QByteArray& p : paths) {
        struct stat st {};
        if (::lstat(p.constData(), &st) != 0) continue;
        anyDir = anyDir || S_ISDIR(st.st_mode);
        fileBytes += S_ISDIR(st.st_mode) ? 0 : static_cast<quint64>(st.st_size);
        stats.push_back(st);
    }
    const bool one = paths.size() == 1 && stats.size() == 1;
    const QString name =
        one ? display(DropDecision::normalized(paths.front())).section('/', -1, -1, QString::SectionSkipEmpty)
            : tr("%1 items").arg(paths.size());
    setWindowTitle(tr("Properties of %1").arg(name.isEmpty() ? QStringLiteral("/") : name));
    addRow("name", tr("Name:"), name.isEmpty() ? QStringLiteral("/") : name);
    if (one) addRow("type", tr("Type:"), typeText(paths.front(), stats.front()));
    QString location = paths.isEmpty() ? QString() : display(DropDecision::parentOf(paths.front()));
    for (const QByteArray& p : paths)
        if (display(DropDecision::parentOf(p)) != location) location = tr("(several folders)");
    addRow("location", tr("Location:"), location);
    m_size = addRow("size", tr("Size:"), anyDir ? tr("Counting…") : bytes(fileBytes));
    if (one) {
        const struct stat& st = stats.front();
        const QDateTime mtime = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec);
        addRow("modified", tr("Modified:"), QLocale().toString(mtime, QLocale::LongFormat));
        addRow("permissions", tr("Permissions:"), permissionsText(st.st_mode));
        addRow("owner", tr("Owner:"), ownerText(st));
    }
    if (anyDir) {
        auto show = [this](const SizeCounter::Totals& t, bool final) {
            QString text = tr("%1, %2 files, %3 folders")
                               .arg(bytes(t.bytes))
                               .arg(QLocale().toString(t.files))
                               .arg(QLocale().toString(t.folders));
            if (t.unreadable) text += tr(" (%1 folders could not be read)").arg(t.unreadable);
            m_size->setText(final ? text : tr("%1 — counting…").arg(text));
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
