#include "platform/qt/preferences/preferencesdialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/qt/preferences/preferences.h"

namespace kv {

PreferencesDialog::PreferencesDialog(Preferences& prefs, QWidget* parent) : QDialog(parent) {
    setObjectName("preferences");
    setWindowTitle(tr("Preferences"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);

    auto* desktop = new QRadioButton(tr("&Desktop: F5 refreshes, Space looks, F2 renames"));
    desktop->setObjectName("keysDesktop");
    auto* commander = new QRadioButton(
        tr("&Commander: F3 look, F4 edit, F5 copy, F6 move, F7 new folder, F8 delete, Insert marks"));
    commander->setObjectName("keysCommander");
    auto* keys = new QButtonGroup(this);
    keys->addButton(desktop, static_cast<int>(Preferences::Keys::Desktop));
    keys->addButton(commander, static_cast<int>(Preferences::Keys::Commander));
    keys->button(static_cast<int>(prefs.keys()))->setChecked(true);
    auto* keyBox = new QVBoxLayout;
    keyBox->addWidget(desktop);
    keyBox->addWidget(commander);
    auto* pane = new QLabel(tr("Ctrl+F6 moves to the next pane in both."));
    pane->setEnabled(false);
    keyBox->addWidget(pane);
    form->addRow(tr("Keys:"), keyBox);
    connect(keys, &QButtonGroup::idClicked, &prefs,
            [&prefs](int id) { prefs.setKeys(static_cast<Preferences::Keys>(id)); });

    auto* hidden = new QCheckBox(tr("Show &hidden files in a new view"));
    hidden->setObjectName("showHidden");
    hidden->setChecked(prefs.showHidden());
    form->addRow(QString(), hidden);
    connect(hidden, &QCheckBox::toggled, &prefs, &Preferences::setShowHidden);

    auto* mode = new QComboBox;
    mode->setObjectName("viewMode");
    mode->addItems({tr("Icons"), tr("List"), tr("Details")});
    mode->setCurrentIndex(static_cast<int>(prefs.viewMode()));
    form->addRow(tr("A new view shows:"), mode);
    connect(mode, &QComboBox::currentIndexChanged, &prefs,
            [&prefs](int i) { prefs.setViewMode(static_cast<Preferences::ViewMode>(i)); });

    auto* single = new QCheckBox(tr("Open items with a &single click"));
    single->setObjectName("singleClick");
    single->setChecked(prefs.singleClick());
    form->addRow(QString(), single);
    connect(single, &QCheckBox::toggled, &prefs, &Preferences::setSingleClick);

    auto* relative = new QCheckBox(
        tr("Show today's and yesterday's dates as \u201cToday\u201d and \u201cYesterday\u201d"));
    relative->setObjectName("relativeDates");
    relative->setChecked(prefs.relativeDates());
    form->addRow(QString(), relative);
    connect(relative, &QCheckBox::toggled, &prefs, &Preferences::setRelativeDates);

    auto* restore = new QCheckBox(tr("&Restore tabs at start"));
    restore->setObjectName("restoreTabs");
    restore->setToolTip(tr("Every pane's tabs come back where they were when the program was last closed"));
    restore->setChecked(prefs.restoreTabs());
    form->addRow(QString(), restore);
    connect(restore, &QCheckBox::toggled, &prefs, &Preferences::setRestoreTabs);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

}  // namespace kv
