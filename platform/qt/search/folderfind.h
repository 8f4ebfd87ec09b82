#pragma once

#include <QByteArray>
#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/fs/search/searchquery.h"

namespace kv {

class FilterBar;
class FolderModel;
class FolderPane;
class SearchBar;
class SearchStats;
class StatusLine;

// Finding things in a folder view: the name filter over its rows and the search below its folder,
// with their two bars, and what the status line says while either is on. The view forwards its
// commands here and tells it when it shows a folder: the filter belongs to one folder, and showing a
// folder ends a search's results.
class FolderFind : public QObject {
    Q_OBJECT
  public:
    // place puts a bar into the view when it is first needed: a window of panes opens faster without
    // two bars (a dozen widgets) in each pane that most panes never show.
    FolderFind(FolderPane& view, FolderModel* model, StatusLine* status, std::function<void(QWidget*)> place);
    ~FolderFind() override;

    FilterBar* filterBar();
    SearchBar* searchBar();

    void showFilter();
    void closeFilter();
    void showSearchBar();
    void startSearch(const SearchQuery& query);
    void stopSearch();
    void endSearch();
    // Escape in the rows: true when it closed, stopped or left something.
    bool escape();
    // The view is about to show path (the model still shows what it showed).
    void folderShown(const QByteArray& path);
    // The listing ended (a search's too).
    void listed();
    std::vector<std::string> unreadableFolders() const;
    // What the rows' empty note says when neither the filter nor a search explains it: empty.
    QString emptyText() const;

  signals:
    // A search below the folder began (its results replace the rows), and the user closed one.
    void searchStarted(const kv::SearchQuery& query);
    void searchClosed();
    // The results' folder column is wanted (a search's results are on show) or not.
    void searchColumnsWanted(bool search);

  private:
    void showUnreadable();

    FolderPane& m_view;
    FolderModel* m_model;
    StatusLine* m_status;
    std::function<void(QWidget*)> m_place;
    FilterBar* m_filterBar = nullptr;
    SearchBar* m_searchBar = nullptr;
    std::shared_ptr<SearchStats> m_stats;
};

}  // namespace kv
