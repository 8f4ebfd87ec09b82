#include "platform/qt/archives/archivemimedata.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include "platform/fs/archives/archiveindexcache.h"
#include "platform/fs/archives/archivelocation.h"
#include "platform/fs/archives/extractjob.h"
#include "platform/fs/archives/tempcopies.h"
#include "platform/fs/core/background.h"
#include "platform/fs/core/paths.h"
#include "platform/qt/common/clipboardformat.h"

namespace kv {

namespace {

bool isFileFormat(const QString& mimeType) {
    return mimeType == QLatin1String(ClipboardFormat::kUriList) ||
           mimeType == QLatin1String(ClipboardFormat::kGnome);
}

// The uncompressed size of an item of the archive and everything below it.
std::uint64_t sizeOf(const ArchiveIndex& index, const std::string& path) {
    const ArchiveIndex::Item* item = index.find(path);
    if (!item) return 0;
    std::uint64_t total = item->size;
    if (item->isDir) {
        const std::string below = path + "/";
        for (const ArchiveIndex::Item& i : index.items())
            if (i.path.starts_with(below)) total += i.size;
    }
    return total;
}

}  // namespace

ArchiveMimeData::ArchiveMimeData(const QList<QByteArray>& items, std::shared_ptr<ArchiveIndexCache> indexes,
                                 Passwords passwords, std::shared_ptr<TempCopies> copies, Options options)
    : m_items(items), m_copies(std::move(copies)), m_options(options) {
    setData(ClipboardFormat::kArchiveItems, ClipboardFormat::archiveItems(items));
    // Pasted as text, an item reads as where it is (the archive's path, then the path inside): for a
    // person, and with no copy to wait for.
    QStringList shown;
    for (const QByteArray& item : items)
        if (const std::optional<ArchiveLocation> where = ArchiveLocation::parse(item.toStdString()))
            shown << QString::fromStdString(where->shown());
    setText(shown.join('\n'));
    start(std::move(indexes), std::move(passwords));
}

ArchiveMimeData::~ArchiveMimeData() {
    std::vector<std::string> unused;
    for (Group& g : m_groups) {
        g.job.reset();  // cancels it
        if (!g.givenOut) unused.push_back(g.dir);
    }
    // At the end of the run TempCopies removes them itself.
    if (unused.empty() || QCoreApplication::closingDown()) return;
    background::runDetached([copies = m_copies, unused] {
        for (const std::string& dir : unused) copies->remove(dir);
    });
}

void ArchiveMimeData::start(std::shared_ptr<ArchiveIndexCache> indexes, Passwords passwords) {
    // Items of one folder of one archive are taken out by one job (a view's selection is always such).
    std::map<std::pair<std::string, std::string>, std::vector<std::string>> byFolder;
    for (const QByteArray& item : m_items) {
        const std::optional<ArchiveLocation> where = ArchiveLocation::parse(item.toStdString());
        if (!where || !where->parent()) continue;
        byFolder[{where->archive, where->parent()->inner}].push_back(paths::baseName(where->inner));
    }
    runInBackground(
        this,
        [byFolder = std::move(byFolder), indexes, passwords = std::move(passwords), copies = m_copies,
         limit = m_options.sizeLimit] {
            std::vector<Group> groups;
            std::uint64_t total = 0;
            for (const auto& [key, names] : byFolder) {
                const std::shared_ptr<const ArchiveIndex> index = indexes->get(key.first);
                if (index->error() != 0) continue;
                const auto known = passwords.find(key.first);
                // Asking for a password in the middle of a drag would lose the drag.
                if (index->encrypted() && known == passwords.end()) continue;
                for (const std::string& name : names)
                    total += sizeOf(*index, key.second.empty() ? name : key.second + "/" + name);
                Group g;
                g.archive = key.first;
                g.folder = key.second;
                g.names = names;
                if (known != passwords.end()) g.passphrase = known->second;
                groups.push_back(std::move(g));
            }
            if (total > limit) return std::vector<Group>();
            std::vector<Group> made;
            for (Group& g : groups) {
                g.dir = copies->make(false);
                if (!g.dir.empty()) made.push_back(std::move(g));
            }
            return made;
        },
        [this](std::vector<Group> groups) { planned(std::move(groups)); });
}

void ArchiveMimeData::planned(std::vector<Group> groups) {
    m_groups = std::move(groups);
    if (m_groups.empty()) {
        m_settled = true;
        emit copiesSettled();
        return;
    }
    for (std::size_t i = 0; i < m_groups.size(); ++i) {
        Group& g = m_groups[i];
        // No resolver: an item that fails is skipped, with nobody asked (nobody is waiting to answer).
        g.job = std::make_unique<ExtractJob>(
            ExtractRequest{g.archive, g.folder, g.names, g.dir, g.passphrase, false});
        g.job->onFinished(
            [this, receiver = Receiver(this), i, dir = g.dir, names = g.names](const JobResult&) {
                // On the job's thread: which copies are whole (an item that failed left nothing).
                QList<QByteArray> copies;
                struct stat st;
                for (const std::string& name : names) {
                    const std::string copy = paths::join(dir, name);
                    if (::lstat(copy.c_str(), &st) == 0) copies << QByteArray::fromStdString(copy);
                }
                receiver.post([this, i, copies] { groupDone(i, copies); });
            });
        g.job->start();
    }
}

void ArchiveMimeData::groupDone(std::size_t group, QList<QByteArray> copies) {
    if (group >= m_groups.size()) return;
    m_groups[group].copies = std::move(copies);
    m_groups[group].done = true;
    for (const Group& g : m_groups)
        if (!g.done) return;
    m_settled = true;
    emit copiesSettled();
}

QStringList ArchiveMimeData::formats() const {
    QStringList out = QMimeData::formats();
    out << QLatin1String(ClipboardFormat::kUriList) << QLatin1String(ClipboardFormat::kGnome);
    return out;
}

bool ArchiveMimeData::hasFormat(const QString& mimeType) const {
    return isFileFormat(mimeType) || QMimeData::hasFormat(mimeType);
}

bool ArchiveMimeData::waitForCopies() const {
    if (m_settled) return true;
    QPointer<const ArchiveMimeData> self(this);
    QEventLoop loop;
    connect(this, &ArchiveMimeData::copiesSettled, &loop, &QEventLoop::quit);
    QTimer::singleShot(m_options.waitMs, &loop, &QEventLoop::quit);
    // The copies' jobs report through the event loop; the user's clicks and keys wait.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return !self.isNull();
}

QList<QByteArray> ArchiveMimeData::giveOut() const {
    QList<QByteArray> out;
    for (Group& g : m_groups) {
        if (!g.done || g.copies.isEmpty()) continue;
        out << g.copies;
        if (!g.givenOut) m_copies->keep(g.dir);
        g.givenOut = true;
    }
    return out;
}

QVariant ArchiveMimeData::retrieveData(const QString& mimeType, QMetaType type) const {
    if (!isFileFormat(mimeType)) return QMimeData::retrieveData(mimeType, type);
    // Only another program (or a widget that reads files, like a web page) asks for these: our panes
    // read our own format.
    if (!waitForCopies()) return {};
    const QList<QByteArray> copies = giveOut();
    QMimeData files;
    ClipboardFormat::setFileFormats(&files, copies, false);
    return files.data(mimeType);
}

}  // namespace kv
