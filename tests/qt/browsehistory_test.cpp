// A browser view's record of where it has been: the steps, where it stands, what each step keeps.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/qt/location/browsehistory.h"

namespace kv::test {
namespace {

Location folder(const char* path) {
    Location where;
    where.folder = true;
    where.path = path;
    return where;
}

Location page(const char* address) {
    Location where;
    where.address = QString::fromUtf8(address);
    return where;
}

SearchQuery named(const char* name) {
    SearchQuery query;
    query.name = name;
    return query;
}

// The steps as one line: a folder by its path, a search's results as "path?name", a page as
// "address@floor"; ":item" the item remembered in a folder; the current step in brackets, followed by
// "*" while the web engine holds its page.
std::string trail(const BrowseHistory& h) {
    std::string out;
    for (int i = 0; i < static_cast<int>(h.steps().size()); ++i) {
        const BrowseHistory::Step& s = h.steps()[static_cast<size_t>(i)];
        std::string step = s.where.folder ? s.where.path.toStdString()
                                          : s.where.address.toStdString() + "@" + std::to_string(s.webFloor);
        if (s.search) step += "?" + s.search->name;
        if (!s.current.isEmpty()) step += ":" + s.current.toStdString();
        if (i == h.position()) step = "[" + step + "]" + (h.pageHeld() ? "*" : "");
        out += (out.empty() ? "" : " ") + step;
    }
    return out;
}

TEST(BrowseHistory, StepsBackForwardAndWhatEachKeeps) {
    const struct {
        const char* what;
        std::function<void(BrowseHistory&)> go;
        const char* trail;
        bool back, forward;
    } cases[] = {
        {"nothing yet: no step to move to",
         [](BrowseHistory& h) {
             EXPECT_FALSE(h.back());
             EXPECT_FALSE(h.forward());
             EXPECT_EQ(h.here(), nullptr);
         },
         "", false, false},
        {"folders one after another",
         [](BrowseHistory& h) {
             h.push(folder("/a"));
             h.push(folder("/b"));
             h.push(folder("/c"));
         },
         "/a /b [/c]", true, false},
        {"back to the start, where Back does nothing",
         [](BrowseHistory& h) {
             h.push(folder("/a"));
             h.push(folder("/b"));
             EXPECT_TRUE(h.back());
             EXPECT_FALSE(h.back());
         },
         "[/a] /b", false, true},
        {"forward to the end, where Forward does nothing",
         [](BrowseHistory& h) {
             h.push(folder("/a"));
             h.push(folder("/b"));
             h.back();
             EXPECT_TRUE(h.forward());
             EXPECT_FALSE(h.forward());
         },
         "/a [/b]", true, false},
        {"a step after Back drops the steps forward of it",
         [](BrowseHistory& h) {
             h.push(folder("/a"));
             h.push(folder("/b"));
             h.push(folder("/c"));
             h.back();
             h.back();
             h.push(folder("/d"));
         },
         "/a [/d]", true, false},
        {"each folder keeps the item current when it was left",
         [](BrowseHistory& h) {
             h.push(folder("/a"));
             h.leave("x");
             h.push(folder("/b"));
             h.leave("y");
             h.back();
             h.leave("z");  // left again: the latest counts
         },
         "[/a:z] /b:y", false, true},
        {"only the folder shown as such is here again",
         [](BrowseHistory& h) {
             h.push(folder("/a"));
             EXPECT_TRUE(h.isHere(folder("/a")));
             EXPECT_FALSE(h.isHere(folder("/b")));
             h.pushSearch("/a", named("n"));
             EXPECT_FALSE(h.isHere(folder("/a")));  // the search's results are not the folder
         },
         "/a [/a?n]", true, false},
        {"a page keeps the engine's index its visit began at; Back stays in the page above it",
         [](BrowseHistory& h) {
             h.push(folder("/a"));
             h.push(page("p"));
             EXPECT_FALSE(h.pageHeld());
             h.pageLoaded(3);
             EXPECT_TRUE(h.backWithinPage(4));
             EXPECT_FALSE(h.backWithinPage(3));
         },
         "/a [p@3]*", true, false},
        {"the page is held only while its step is current",
         [](BrowseHistory& h) {
             h.push(folder("/a"));
             h.push(page("p"));
             h.pageLoaded(1);
             h.back();
             EXPECT_FALSE(h.backWithinPage(5));
         },
         "[/a] p@1", false, true},
        {"back on the page's step, the engine still holds it",
         [](BrowseHistory& h) {
             h.push(page("p"));
             h.pageLoaded(0);
             h.push(folder("/a"));
             h.back();
         },
         "[p@0]* /a", false, true},
        {"a page dropped with the steps forward is no longer held",
         [](BrowseHistory& h) {
             h.push(folder("/a"));
             h.push(page("p"));
             h.pageLoaded(1);
             h.back();
             h.push(folder("/b"));  // where the page's step was
         },
         "/a [/b]", true, false},
        {"a later page takes the engine, with a floor of its own",
         [](BrowseHistory& h) {
             h.push(page("p"));
             h.pageLoaded(0);
             h.push(page("q"));
             h.pageLoaded(2);
             h.back();
         },
         "[p@0] q@2", false, true},
        {"a search's results are a step below the folder; closing them goes back",
         [](BrowseHistory& h) {
             h.push(folder("/a"));
             h.leave("x");
             h.pushSearch("/a", named("n"));
             EXPECT_TRUE(h.searchClosesBack());
         },
         "/a:x [/a?n]", true, false},
        {"a search over the results refines them in place",
         [](BrowseHistory& h) {
             h.push(folder("/a"));
             EXPECT_FALSE(h.refineSearch(named("m")));  // a folder step: no search to refine
             h.pushSearch("/a", named("n"));
             EXPECT_TRUE(h.refineSearch(named("m")));
         },
         "/a [/a?m]", true, false},
        {"Back leaves the results to the folder, Forward returns to them with their search",
         [](BrowseHistory& h) {
             h.push(folder("/a"));
             h.pushSearch("/a", named("n"));
             h.back();
             h.forward();
         },
         "/a [/a?n]", true, false},
        {"results of another folder than the step before: closing them makes their step the folder",
         [](BrowseHistory& h) {
             h.push(folder("/a"));
             h.pushSearch("/b", named("n"));
             EXPECT_FALSE(h.searchClosesBack());
             h.dropSearch();
         },
         "/a [/b]", true, false},
        {"results after a search's results: closing them does not go back",
         [](BrowseHistory& h) {
             h.push(folder("/a"));
             h.pushSearch("/a", named("n"));
             h.pushSearch("/a", named("m"));
             EXPECT_FALSE(h.searchClosesBack());
         },
         "/a /a?n [/a?m]", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BrowseHistory h;
        c.go(h);
        EXPECT_EQ(trail(h), c.trail);
        EXPECT_EQ(h.canGoBack(), c.back);
        EXPECT_EQ(h.canGoForward(), c.forward);
    }
}

TEST(BrowseHistory, UpSelectsTheFolderLeft) {
    const struct {
        const char* folder;
        const char* parent;  // null: no way up
        const char* child;
    } cases[] = {
        {"/", nullptr, nullptr},
        {"/home", "/", "home"},
        {"/home/u", "/home", "u"},
        {"/home//u/", "/home", "u"},
        {"archive:/d/a.zip//x/y", "archive:/d/a.zip//x", "y"},
        {"archive:/d/a.zip//x", "archive:/d/a.zip//", "x"},
        {"archive:/d/a.zip//", "/d", "a.zip"},  // out of the archive, the archive selected
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        const std::optional<BrowseHistory::Up> up = BrowseHistory::up(c.folder);
        ASSERT_EQ(up.has_value(), c.parent != nullptr);
        if (!up) continue;
        EXPECT_EQ(up->parent.toStdString(), c.parent);
        EXPECT_EQ(up->child.toStdString(), c.child);
    }
}

}  // namespace
}  // namespace kv::test
