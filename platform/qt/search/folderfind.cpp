#include "platform/qt/search/folderfind.h"

#include <QLineEdit>
#include <QMessageBox>

#include "platform/fs/remote/remotesearchsource.h"
#include "platform/fs/search/searchlistingsource.h"
#include "platform/fs/search/searchwalk.h"
#include "platform/qt/common/nametext.h"
#include "platform/qt/listing/foldermodel.h"
#include "platform/qt/listing/statusline.h"
#include "platform/qt/pane/folderpane.h"
#include "platform/qt/search/filterbar.h"
#include "platform/qt/search/searchbar.h"

namespace kv {

FolderFind::FolderFind(FolderPane& view, FolderModel* model, StatusLine* status,
                       std::function<void(QWidget*)> place)
    : QObject(view.paneWidget()), m_view(view), m_model(model), m_status(status), m_place(std::move(place)) {}

FilterBar* FolderFind::filterBar() {
    if (m_filterBar) return m_filterBar;
    m_filterBar = new FilterBar(m_view.paneWidget());
    m_filterBar->hide();
    m_place(m_filterBar);
    connect(m_filterBar, &FilterBar::textChanged, this, [this](const QString& text) {
        m_model->setNameFilter(text);
        m_status->showCounts();
    });
    connect(m_filterBar, &FilterBar::dismissed, this, [this] { m_view.focusItems(); });
    connect(m_filterBar, &FilterBar::leave, this, [this] { m_view.focusItems(); });
    return m_filterBar;
}

SearchBar* FolderFind::searchBar() {
    if (m_searchBar) return m_searchBar;
    m_searchBar = new SearchBar(m_view.paneWidget());
    m_searchBar->hide();
    m_place(m_searchBar);
    connect(m_searchBar, &SearchBar::searchRequested, this, &FolderFind::startSearch);
    connect(m_searchBar, &SearchBar::stopRequested, this, &FolderFind::stopSearch);
    connect(m_searchBar, &SearchBar::closeRequested, this, &FolderFind::endSearch);
    connect(m_searchBar, &SearchBar::unreadableRequested, this, &FolderFind::showUnreadable);
    return m_searchBar;
}

FolderFind::~FolderFind() = default;

void FolderFind::showFilter() {
    if (!filterBar()->isVisible()) m_model->prepareNameFilter();
    m_filterBar->open();
}

void FolderFind::closeFilter() {
    if (m_filterBar) m_filterBar->dismiss();
    m_model->setNameFilter({});
    m_status->showCounts();
}

void FolderFind::showSearchBar() {
    searchBar()->open();
}

void FolderFind::startSearch(const SearchQuery& query) {
    const bool onServer = m_model->isRemote();
    std::string problem = SearchWalk::check(query);
    if (problem.empty() && onServer) problem = RemoteSearchSource::check(query);
    if (!problem.empty()) {
        auto* box = new QMessageBox(QMessageBox::Warning, tr("Find"), QString::fromStdString(problem),
                                    QMessageBox::Ok, m_view.paneWidget()->window());
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        return;
    }
    if (m_model->folder().isEmpty()) return;
    searchBar()->setQuery(query);
    m_searchBar->show();
    m_searchBar->setUnreadable(0);
    m_searchBar->setRunning(true);
    SearchQuery q = query;
    q.includeHidden = m_model->showHidden();
    m_stats = std::make_shared<SearchStats>();
    // The results keep the filter's text: it narrows them as it narrowed the folder.
    const std::string root = m_model->folder().toStdString();
    std::unique_ptr<ListingSource> source;
    if (onServer)
        source = std::make_unique<RemoteSearchSource>(root, q, m_stats);
    else
        source = std::make_unique<SearchListingSource>(root, q, m_stats);
    m_model->showSearch(m_model->folder(), std::move(source));
    emit searchColumnsWanted(true);
    m_status->setSearch(m_stats);
    m_view.focusItems();
    emit searchStarted(query);
}

void FolderFind::stopSearch() {
    if (!m_model->isSearch()) return;
    m_model->stopSearch();
    if (m_searchBar) m_searchBar->setRunning(false);
}

void FolderFind::endSearch() {
    if (m_searchBar) m_searchBar->hide();
    // The history steps back to the folder; without one (a view on its own) the folder is shown here.
    if (m_model->isSearch()) emit searchClosed();
    if (m_model->isSearch()) m_view.showFolder(m_model->folder());
    m_view.focusItems();
}

bool FolderFind::escape() {
    if (m_model->isSearch() && m_model->isLoading()) {
        stopSearch();
        return true;
    }
    if (m_filterBar && m_filterBar->isVisible()) {
        closeFilter();
        return true;
    }
    if (m_model->isSearch() || (m_searchBar && m_searchBar->isVisible())) {
        endSearch();
        return true;
    }
    return false;
}

void FolderFind::folderShown(const QByteArray& path) {
    if (path != m_model->folder() || m_model->isSearch()) {
        if ((m_filterBar && m_filterBar->isVisible()) || !m_model->nameFilter().isEmpty()) closeFilter();
    }
    if (m_model->isSearch()) {
        emit searchColumnsWanted(false);
        m_status->setSearch(nullptr);
        m_stats.reset();
    }
    if (m_searchBar) {
        m_searchBar->hide();
        m_searchBar->setRunning(false);
    }
}

void FolderFind::listed() {
    if (!m_model->isSearch() || !m_stats || !m_searchBar) return;
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
    for (const std::string& p : unreadableFolders()) lines << NameText::shown(p);
    auto* box =
        new QMessageBox(QMessageBox::Information, tr("Folders not searched"),
                        tr("These folders could not be read, so the search did not look inside them:"),
                        QMessageBox::Ok, m_view.paneWidget()->window());
    box->setDetailedText(lines.join('\n'));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

}  // namespace kv
