#pragma once

#include "platform/forms/forms.h"

namespace kv {

// The switches between the view windows. Each first takes the window whose label was clicked (the
// source) away, then sizes and shows its target. Widths are read from the source at the step that uses
// them.

// The two-panel window's panes sized from the source's width; the multi-panel window is unloaded when it
// is the source.
void ShowTwoPanelView(Forms& forms, Form& source);

// The multi-panel window in its three-panel arrangement, sized from the source's width.
void ShowThreePanelView(Forms& forms, Form& source);

// The multi-panel window as it is (four panes when it is built now).
void ShowFourPaneView(Forms& forms, Form& source);

// The single-panel window; only a switch from the main window sizes its pane.
void ShowOnePanelView(Forms& forms, Form& source);

// Back to the main window from any view window: hide the source, show the main window.
void BackToMain(Forms& forms, Form& source);

}  // namespace kv
