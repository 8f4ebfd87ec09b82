#pragma once

// What the folder view and file manager tests share: a view on a temporary folder with the panes'
// services of its own (file operations with their own trash folder, reports caught instead of shown).

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <memory>

#include "fs/tempdir.h"
#include "platform/qt/folderview/folderview.h"
#include "platform/qt/folderview/ownedpaneservices.h"

namespace kv::test {

inline bool waitFor(const std::function<bool()>& condition, int ms = 15000) {
    return QTest::qWaitFor(condition, ms);
}

template <typename T>
T* findTopLevel() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible()) return t;
    return nullptr;
}

template <typename T>
void closeAll() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w)) t->close();
    QApplication::processEvents();
}

struct ViewFixture {
    TempDir dir;
    TempDir trashDir;
    std::unique_ptr<OwnedPaneServices> services =
        std::make_unique<OwnedPaneServices>();  // outlives the views
    FileOperations* ops = &services->ops;
    std::unique_ptr<FolderView> view;
    QStringList reports;

    ViewFixture() {
        ops->setHomeTrash(QByteArray::fromStdString(trashDir / "Trash"));
        ops->setReportsShown(false);
        QObject::connect(ops, &FileOperations::reported, [this](const QString& t) { reports << t; });
        view = makeView();
    }

    std::unique_ptr<FolderView> makeView() {
        auto v = std::make_unique<FolderView>(*services);
        v->resize(600, 400);
        v->show();
        return v;
    }

    // Shows a folder and waits until its listing is complete.
    static bool show(FolderView& v, const std::string& path) {
        v.showFolder(QByteArray::fromStdString(path));
        return waitFor([&] { return !v.model()->isLoading(); });
    }
    bool show(const std::string& path) { return show(*view, path); }

    void refreshAndWait() {
        bool done = false;
        auto c = QObject::connect(view->model(), &FolderModel::refreshed, [&] { done = true; });
        view->refresh();
        waitFor([&] { return done; });
        QObject::disconnect(c);
    }
    bool idle() {
        return waitFor([&] { return ops->runningJobs() == 0; });
    }
    bool listed(FolderView& v, const std::string& name) {
        return waitFor([&] { return v.model()->rowOfName(QByteArray::fromStdString(name)) >= 0; });
    }
    bool listed(const std::string& name) { return listed(*view, name); }
};

}  // namespace kv::test
