#pragma once
// A query window in a scratch directory of its own, with dialogs answered by a script.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <memory>

#include "settings/qt/zinicomp.h"
#include "text/dialogs.h"
#include "workbench/qt/formquery.h"
#include "workbench/querysession.h"
#include "workbench/workbench_test_support.h"

namespace orn::testing {

class FormQueryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("orn_formquery_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
    }
    void TearDown() override {
        form_.reset();
        std::filesystem::current_path(old_);
        std::filesystem::remove_all(dir_);
    }
    TFormQuery& Form() {
        if (!form_) {
            form_ = std::make_unique<TFormQuery>(nullptr, &dialogs_, std::string(),
                                                 (dir_ / "history.ini").string());
        }
        return *form_;
    }
    // Shows the window and makes it the active one, so keys and shortcuts reach it.
    TFormQuery& Shown() {
        Form().show();
        Form().activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&Form()));
        return Form();
    }
    void Reopen() {
        form_.reset();
        Form();
    }
    // Texts of the error boxes shown so far.
    std::vector<std::string> Errors() const {
        std::vector<std::string> texts;
        for (const auto& r : dialogs_.Requests()) {
            if (r.kind == DialogKind::Error) {
                texts.push_back(r.text);
            }
        }
        return texts;
    }
    void WriteFile(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name) << text;
    }
    template <typename W>
    W* Find(const char* name) {
        return Form().findChild<W*>(name);
    }

    std::filesystem::path dir_;
    std::filesystem::path old_;
    TScriptedDialogs dialogs_{std::initializer_list<DialogButton>{}, DialogButton::OK};
    std::unique_ptr<TFormQuery> form_;
};

}  // namespace orn::testing
