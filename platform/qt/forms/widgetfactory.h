// The widget factory: makes a window's widgets from its records alone (the window with its client area
// and menu, then one widget per control record, in its colours, font and picture), before any form uses
// them. What follows the model once a form owns them is the front end's (qtfrontend.h).
#pragma once

#include <QRect>
#include <QString>
#include <string>
#include <vector>

#include "platform/forms/record.h"

class QAction;
class QWidget;

namespace kv {

struct PaneServices;
class FormWindow;
class FormWindowHost;

// Twips to logical pixels, rounded.
int pixels(float twips);
// A control's place in its window's client area, from twips; a negative size shows as none.
QRect pixelRect(float left, float top, float width, float height);
// A text box's text as shown: line breaks of the records ("\r\n") are single ones.
QString displayText(const std::string& text);

// A window's widgets, made from its record alone: a form's controls start as their records say.
struct WindowShell {
    FormWindow* window = nullptr;
    std::vector<QWidget*> widgets;  // one per control record, in order
    std::vector<bool> bands;        // background labels that other controls lie on
    std::vector<QAction*> menu;     // one per menu record
};

class WidgetFactory {
  public:
    // The windows it makes ask the host; the browser views it makes share the file operations. Making
    // the factory registers the pictures the windows show.
    WidgetFactory(FormWindowHost& host, const PaneServices& services);

    // A new top-level window for the record, with every control's widget placed, the option buttons
    // grouped, the background bands lowered and the tab order set; sized as the record says.
    WindowShell build(const WindowRecord& record) const;

  private:
    QWidget* createWidget(const ControlRecord& record, const WindowRecord& window, QWidget* client) const;

    FormWindowHost& m_host;
    const PaneServices& m_services;
};

}  // namespace kv
