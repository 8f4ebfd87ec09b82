#pragma once

#include <QByteArray>
#include <optional>
#include <vector>

#include "platform/fs/places/location.h"
#include "platform/fs/search/searchquery.h"

namespace kv {

// The steps a browser view has been through and where it stands among them: folders, web pages and
// the results of searches below a folder. Pure: it only keeps the record; the view shows the steps.
class BrowseHistory {
  public:
    // A page keeps the web engine's history index its visit began at (webFloor): Back within the page
    // goes no further back than that.
    struct Step {
        Location where;
        int webFloor = 0;
        QByteArray current;                   // folders: the item that was current when the view left it
        std::optional<SearchQuery> search{};  // the results of this search below the folder
    };

    // Where Up leads from a folder, and the item there to select: the folder left.
    struct Up {
        QByteArray parent;
        QByteArray child;
    };
    // Nothing from the root. Inside an archive Up goes to the folder above, and from the archive's top
    // to the folder holding the archive, the archive selected.
    static std::optional<Up> up(const QByteArray& folder);

    const std::vector<Step>& steps() const { return m_steps; }
    // The current step's index; -1 before the first step.
    int position() const { return m_position; }
    bool empty() const { return m_position < 0; }
    const Step* here() const { return empty() ? nullptr : &m_steps[static_cast<size_t>(m_position)]; }

    // A step after the current one, in place of the steps forward of it.
    void push(const Location& where);
    // The results of a search below folder: a step after the current one, otherwise like it.
    void pushSearch(const QByteArray& folder, const SearchQuery& query);
    // Whether the current step is this folder as such (not a search's results): shown again, it is no
    // new step to go back through.
    bool isHere(const Location& where) const;

    bool canGoBack() const { return m_position > 0; }
    bool canGoForward() const { return m_position + 1 < static_cast<int>(m_steps.size()); }
    // One step back or forward; false, and nothing moves, at the end.
    bool back();
    bool forward();
    // The steps forward of the current one are forgotten (a place given up on before it showed).
    void dropForward();

    // The item current in the folder as the view leaves the step.
    void leave(const QByteArray& current);

    // A search started over the results refines them: the current step takes the new query, so one step
    // back still leads to the folder. False when the current step is no search's results.
    bool refineSearch(const SearchQuery& query);
    // Whether closing the current step's search goes back: the step before is the folder searched.
    bool searchClosesBack() const;
    // The search closed with no folder step before its results: the step becomes the folder.
    void dropSearch();

    // The current step's page was loaded into the web engine, after the engine's item at floor - 1.
    void pageLoaded(int floor);
    // Whether the web engine still holds the current step's visit, its own Back and Forward included.
    bool pageHeld() const { return m_position >= 0 && m_webStep == m_position; }
    // Whether Back from the engine's item at index stays within the current step's page.
    bool backWithinPage(int index) const { return pageHeld() && index > here()->webFloor; }
    // The record goes to a view whose web engine holds none of its pages (a tab reopened or moved).
    void forgetPages() { m_webStep = -1; }

  private:
    void add(Step step);

    std::vector<Step> m_steps;
    int m_position = -1;
    int m_webStep = -1;  // the step whose page the web engine holds
};

}  // namespace kv
