#pragma once

#include <QString>

class QMessageBox;

namespace kv {

// A question's window is as wide as its words need, and a window manager cuts a longer title short
// ("Give files … web page"). These make a message box wide enough for its whole title.
namespace WholeTitle {

// The width a title bar needs for a title: its text in a title bar's bold type, and the room of the
// frame's icon and buttons.
int widthFor(const QString& title);
// Widens the box (its title set) to that width, or to the screen's when that is less.
void fit(QMessageBox* box);

}  // namespace WholeTitle
}  // namespace kv
