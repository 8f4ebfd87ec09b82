#include "platform/qt/folderfind.h"

#include <QLineEdit>
#include <QMessageBox>

#include "platform/fs/searchlistingsource.h"
#include "platform/fs/searchwalk.h"
#include "platform/qt/filterbar.h"
#include "platform/qt/foldermodel.h"
#include "platform/qt/folderview.h"
#include "platform/qt/searchbar.h"
#include "platform/qt/statusline.h"

namespace kv {

FolderFind::FolderFind(FolderView& view, FolderModel* model, StatusLine* status)
    : QObject(&view),
      m_view(view),
      m_model(model),
      m_status(status),
      m_filterBar(new FilterBar(&view)),
      m_searchBar(new SearchBar(&view)) {
    connect(m_filterBar, &FilterBar::textChanged, this, [this](const QString& text) {
        m_model->setNameFilter(text);
        m_status->showCounts();
    });
    connect(m_filterBar, &FilterBar::dismissed, this, [this] { m_view.focusItems(); });
    connect(m_filterBar, &FilterBar::leave, this, [this] { m_view.focusItems(); });
    connect(m_searchBar, &SearchBar::searchRequested, this, &FolderFind::startSearch);
    connect(m_searchBar, &SearchBar::stopRequested, this, &FolderFind::stopSearch);
    connect(m_searchBar, &SearchBar::closeRequested, this, &FolderFind::endSearch);
    connect(m_searchBar, &SearchBar::unreadableRequested, this, &FolderFind::showUnreadable);
}

FolderFind::~FolderFind() = default;

void FolderFind::showFilter() {
    if (!m_filterBar->isVisible()) m_model->prepareNameFilter();
    m_filterBar->open();
}

void FolderFind::closeFilter() {
    m_filterBar->dismiss();
    m_model->setNameFilter({});
    m_status->showCounts();
}

void FolderFind::showSearchBar() {
    m_searchBar->open();
}

void FolderFind::startSearch(const SearchQuery& query) {
    if (const std::string problem = SearchWalk::check(query); !problem.empty()) {
        auto* box = new QMessageBox(QMessageBox::Warning, tr("Find"), QString::fromStdString(problem),
                                    QMessageBox::Ok, m_view.window());
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        return;
    }
    if (m_model->folder().isEmpty()) return;
    m_searchBar->setQuery(query);
    m_searchBar->show();
    m_searchBar->setUnreadable(0);
    m_searchBar->setRunning(true);
    SearchQuery q = query;
    q.includeHidden = m_model->showHidden();
    m_stats = std::make_shared<SearchStats>();
    // The results keep the filter's text: it narrows them as it narrowed the folder.
    m_model->showSearch(m_model->folder(),
                        std::make_unique<SearchListingSource>(m_model->folder().toStdString(), q, m_stats));
    m_view.setSearchColumns(true);
    m_status->setSearch(m_stats);
    m_view.focusItems();
    emit m_view.searchStarted(query);
}

void FolderFind::stopSearch() {
    if (!m_model->isSearch()) return;
    m_model->stopSearch();
    m_searchBar->setRunning(false);
}

void FolderFind::endSearch() {
    m_searchBar->hide();
    // The history steps back to the folder; without one (a view on its own) the folder is shown here.
    if (m_model->isSearch()) emit m_view.searchClosed();
    if (m_model->isSearch()) m_view.showFolder(m_model->folder());
    m_view.focusItems();
}

bool FolderFind::escape() {
    if (m_model->isSearch() && m_model->isLoading()) {
        stopSearch();
        return true;
    }
    if (m_filterBar->isVisible()) {
        closeFilter();
        return true;
    }
    if (m_model->isSearch() || m_searchBar->isVisible()) {
        endSearch();
        return true;
    }
    return false;
}

void FolderFind::folderShown(const QByteArray& path) {
    if (path != m_model->folder() || m_model->isSearch()) {
        if (m_filterBar->isVisible() || !m_model->nameFilter().isEmpty()) closeFilter();
    }
    if (m_model->isSearch()) {
        m_view.setSearchColumns(false);
        m_status->setSearch(nullptr);
        m_stats.reset();
    }
    m_searchBar->hide();
    m_searchBar->setRunning(false);
}

void FolderFind::listed() {
    if (!m_model->isSearch() || !m_stats) return;
    m_searchBar->setRunning(false);
    m_searchBar->setUnreadable(m_stats->unreadable);
}

std::vector<std::string> FolderFind::unreadableFolders() const {
    return m_stats ? m_stats->unreadablePaths() : std::vector<std::string>();
}

QString FolderFind::emptyText() const {
    if (m_model->isSearch()) return tr("Nothing found.");
    if (!m_model->nameFilter().isEmpty()) return tr("No names match the filter.");
    return {};
}

void FolderFind::showUnreadable() {
    QStringList lines;
    for (const std::string& p : unreadableFolders()) lines << FolderModel::displayName(p);
    auto* box =
        new QMessageBox(QMessageBox::Information, tr("Folders not searched"),
                        tr("These folders could not be read, so the search did not look inside them:"),
                        QMessageBox::Ok, m_view.window());
    box->setDetailedText(lines.join('\n'));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

}  // namespace kv
