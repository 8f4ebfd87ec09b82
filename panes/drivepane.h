#pragma once

#include <string>

#include "platform/forms/form.h"

namespace kv {

// A drive list, the browser view it drives, and the pane's go-back label and image, all of one window.
// The pane holds no state of its own: the view shows whatever it was last navigated or browsed to.
struct DrivePane {
    Control& view;
    Control& driveList;
    Control& backLabel;
    Control& backImage;
};

DrivePane drivePane(Form& form, const std::string& view, const std::string& driveList,
                    const std::string& backLabel, const std::string& backImage);

// Navigates the view to the drive list's current entry, passed exactly as the list gives it.
void ShowDrive(const DrivePane& pane);

// The go-back action: back to the top of the drive chosen in the list (never through the view's
// history). Reading the drive may fail like any step; a failing navigation is ignored.
void GoBackToDrive(const DrivePane& pane);

// Attaches the pane's three triggers: the drive list's change and the clicks on label and image.
void bindDrivePane(const DrivePane& pane);

}  // namespace kv
