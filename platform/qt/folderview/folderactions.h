#pragma once

#include <QKeySequence>
#include <QString>
#include <optional>
#include <vector>

class QKeyEvent;
class QMenu;

namespace kv {

class FolderView;

// What the user can do in a folder view, each command once: its text, its keys, what it runs, when it
// is enabled or checked, and where it sits in the two right-click menus. Both menus and the key
// handling are made from this one table, so the key a menu shows is the key that works. A command
// with keys but no menu (Backspace, Ctrl+A) is a row like any other.
class FolderActions {
  public:
    // A key of a command: a fixed combination (the keypad counts as the main keys) or one of the
    // platform's standard keys (Ctrl+C, and whatever else the desktop binds to Copy).
    struct Key {
        QKeyCombination combination{};
        QKeySequence::StandardKey standard = QKeySequence::UnknownKey;

        bool matches(const QKeyEvent* event) const;
        QKeySequence sequence() const;
    };

    // Which right-click menus show a command: a bit each.
    enum Menu : unsigned { NoMenu = 0, EmptyArea = 1, Items = 2 };
    // Where a command exists at all (its keys and its menu entries): a bit each. In the trash nothing
    // is edited in place, and its Delete deletes for good.
    // Inside an archive nothing is written. On a server, items are listed and opened.
    enum Place : unsigned { InFolders = 1, InTrash = 2, InArchive = 4, OnServer = 8, Anywhere = 15 };
    // The empty area's submenus; a command in one is shown there instead of the menu itself.
    enum class Submenu { None, View, SortBy };

    struct Command {
        const char* id;         // the menu entry's object name
        const char* text;       // translated when shown (context kv::FolderView)
        std::vector<Key> keys;  // the first is shown in the menu
        unsigned menus = NoMenu;
        unsigned separatorBefore = NoMenu;  // in which menus a separator comes first
        Submenu submenu = Submenu::None;
        const char* tip = nullptr;  // tool tip and status tip
        void (*run)(FolderView&) = nullptr;
        // Menus only: a key always reaches its command, which says so when it cannot (Undo with
        // nothing to undo). Null: always enabled.
        bool (*enabled)(const FolderView&) = nullptr;
        bool (*shown)(const FolderView&) = nullptr;     // menus only; null: always
        bool (*checked)(const FolderView&) = nullptr;   // null: not checkable
        bool exclusive = false;                         // one of its submenu's choices
        QString (*label)(const FolderView&) = nullptr;  // replaces text when it depends on the view
        unsigned places = Anywhere;
        // The keys in the commander's scheme (Preferences::Keys); none given: the same keys.
        std::optional<std::vector<Key>> commander = std::nullopt;
    };

    // In menu order: the empty area's entries and the items' entries each keep the table's order.
    static const std::vector<Command>& commands();
    static const Command* find(const QString& id);
    // The command's keys in the scheme the user chose.
    static const std::vector<Key>& keysOf(const Command& command);
    // The command a key runs in the view, or null. Fixed combinations come before standard keys: some
    // desktops count Shift+Delete as Cut.
    static const Command* commandFor(const QKeyEvent* event, const FolderView& view);
    static bool existsIn(const Command& command, const FolderView& view);
    // The right-click menu of the empty area or of the selected items, its entries acting on view;
    // the caller owns it.
    static QMenu* createMenu(FolderView& view, bool onItems);
};

}  // namespace kv
