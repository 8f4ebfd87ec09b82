#include "platform/qt/common/clearbutton.h"

#include <QAction>
#include <QCoreApplication>
#include <QLineEdit>

namespace kv {

void enableClearButton(QLineEdit* field) {
    field->setClearButtonEnabled(true);
    // The button shows only its action's icon and takes its name and tool tip from the action's text.
    if (auto* clear = field->findChild<QAction*>(QStringLiteral("_q_qlineeditclearaction")))
        clear->setText(QCoreApplication::translate("kv::ClearButton", "Clear"));
}

}  // namespace kv
