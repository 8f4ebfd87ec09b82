#include "panes/drivepane.h"

#include <exception>

namespace kv {

DrivePane drivePane(Form& form, const std::string& view, const std::string& driveList,
                    const std::string& backLabel, const std::string& backImage) {
    return DrivePane{form[view], form[driveList], form[backLabel], form[backImage]};
}

void ShowDrive(const DrivePane& pane) {
    const std::string drive = pane.driveList.Drive();
    pane.view.Navigate(drive);
}

void GoBackToDrive(const DrivePane& pane) {
    const std::string drive = pane.driveList.Drive();
    try {
        pane.view.Navigate(drive);
    } catch (const std::exception&) {
        // The view shows its own error, if any; go back reports nothing.
    }
}

void bindDrivePane(const DrivePane& pane) {
    pane.driveList.setOnChange([pane] { ShowDrive(pane); });
    pane.backLabel.setOnClick([pane] { GoBackToDrive(pane); });
    pane.backImage.setOnClick([pane] { GoBackToDrive(pane); });
}

}  // namespace kv
