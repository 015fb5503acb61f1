#pragma once
// A main window with scripted dialogs in a temporary folder that is also the working directory,
// with settings kept in a registry folder of the test's own.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QMdiSubWindow>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "dbengine/dataset/query.h"
#include "engine/engine_test_support.h"
#include "settings/IniReadOrder.h"
#include "shell/qt/mainform.h"

namespace orn::testing {

class MainFormTest : public TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        std::filesystem::create_directories(dir_ / "registry");
        ::setenv("ORN_REGISTRY_DIR", Path("registry").c_str(), 1);
        ReleaseGlobalIniReadOrder();
        std::filesystem::current_path(dir_);
        main_ = std::make_unique<TFormORN>(dialogs_, QueryWindowFactory(dialogs_, dir_.string()));
    }
    void TearDown() override {
        main_.reset();
        ReleaseGlobalIniReadOrder();
        ::unsetenv("ORN_REGISTRY_DIR");
        TempDirTest::TearDown();
    }

    QList<QMdiSubWindow*> Children() const { return main_->MdiArea()->subWindowList(); }
    // Lets closed windows go and queued work (drops, closes) run.
    static void Settle() {
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
        }
    }
    // Checks "Run automatically" the way a user leaves it: in a query window, stored by the box.
    void CheckRunAutomatically() {
        TQueryChild* child = main_->NewQuery();
        ASSERT_NE(child, nullptr);
        auto* box = child->Window()->findChild<QCheckBox*>("CBRunAutomatically");
        ASSERT_NE(box, nullptr);
        box->setChecked(true);
        Children().back()->close();
        Settle();
    }
    // A small Paradox table in the test folder.
    std::string MakeTable(const std::string& name) {
        db::Query query(dir_);
        query.setSql("CREATE TABLE \"" + name + "\" (ID INTEGER, NAME CHAR(10))");
        query.execute();
        query.setSql("INSERT INTO \"" + name + "\" VALUES (1, 'one')");
        query.execute();
        return Path(name);
    }

    TScriptedDialogs dialogs_{{}, DialogButton::OK};
    std::unique_ptr<TFormORN> main_;
};

}  // namespace orn::testing
