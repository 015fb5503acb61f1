#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSplitter>
#include <QTabWidget>
#include <QTest>
#include <memory>

#include "qt_fixture.h"
#include "settings/qt/savepos.h"
#include "settings/qt/zinicomp.h"

namespace orn {

// A program's own edit box class: its class name gives the generic name cut from its names.
class TMyBox : public TEditIni {
    Q_OBJECT

  public:
    using TEditIni::TEditIni;
};

namespace {

using test::TestForm;

class SavePosTest : public test::QtSettingsFixture {
  protected:
    static QSize Screen() { return QGuiApplication::primaryScreen()->geometry().size(); }

    // A form as the program builds it: the form, its position keeper, then the loaded step.
    std::unique_ptr<TestForm> OpenForm(bool noSize = false, bool enabled = true) {
        auto form = std::make_unique<TestForm>("FormQuery");
        form->setGeometry(50, 60, 400, 300);
        auto* keeper = new TSavePos(form.get());
        keeper->setObjectName("SavePos1");
        keeper->NoSize = noSize;
        keeper->Enabled = enabled;
        form->FormLoaded();
        return form;
    }
    static TSavePos* Keeper(QWidget* form) { return form->findChild<TSavePos*>(); }
};

TEST_F(SavePosTest, SavesOnCloseAndRestoresOnOpen) {
    {
        auto form = OpenForm();
        EXPECT_EQ(Keeper(form.get())->Ini().GetKey(), "FormQuery");
        EXPECT_EQ(Keeper(form.get())->GetAsString(), "50,60,400,300");
        form->move(120, 80);
        form->resize(640, 480);
        EXPECT_TRUE(Writes().empty());
    }
    ASSERT_EQ(Writes().size(), 1u);
    EXPECT_EQ(Writes()[0].section, "Pos");
    EXPECT_EQ(Writes()[0].key, "FormQuery");
    EXPECT_EQ(Writes()[0].value, "120,80,640,480");
    auto form = OpenForm();
    EXPECT_EQ(form->geometry().topLeft(), QPoint(120, 80));
    EXPECT_EQ(form->size(), QSize(640, 480));
}

TEST_F(SavePosTest, WindowOffTheScreenComesBack) {
    const QSize screen = Screen();
    struct Case {
        std::string stored;
        QPoint expected;
    };
    const Case cases[] = {
        {std::to_string(screen.width() + 100) + ",10,300,200", {0, 10}},
        {"-500,10,300,200", {0, 10}},  // right edge at -200
        {"-300,10,300,200", {0, 10}},  // right edge exactly at 0
        {"-299,10,300,200", {-299, 10}},
        {"10," + std::to_string(screen.height()) + ",300,200", {10, 0}},
        {"10,-200,300,200", {10, 0}},
    };
    for (const auto& c : cases) {
        StoreInUser("Pos", "FormQuery", c.stored);
        auto form = OpenForm(false, false);
        EXPECT_EQ(form->pos(), c.expected) << c.stored;
        EXPECT_EQ(form->size(), QSize(300, 200)) << c.stored;
    }
}

TEST_F(SavePosTest, InvalidItemsLeaveThoseValuesAlone) {
    StoreInUser("Pos", "FormQuery", "70,x,,250");
    auto form = OpenForm(false, false);
    EXPECT_EQ(form->pos(), QPoint(70, 60));
    EXPECT_EQ(form->size(), QSize(400, 250));
    StoreInUser("Pos", "FormQuery", "90");
    auto other = OpenForm(false, false);
    EXPECT_EQ(other->pos(), QPoint(90, 60));
    EXPECT_EQ(other->size(), QSize(400, 300));
}

TEST_F(SavePosTest, NoSizeRestoresOnlyThePosition) {
    StoreInUser("Pos", "FormQuery", "30,40,500,450");
    {
        auto form = OpenForm(true);
        EXPECT_EQ(form->pos(), QPoint(30, 40));
        EXPECT_EQ(form->size(), QSize(400, 300));
    }
    ASSERT_EQ(Writes().size(), 1u);
    EXPECT_EQ(Writes()[0].value, "30,40,400,300");
}

TEST_F(SavePosTest, DisabledKeeperLoadsButDoesNotSave) {
    StoreInUser("Pos", "FormQuery", "30,40,500,450");
    {
        auto form = OpenForm(false, false);
        EXPECT_EQ(form->pos(), QPoint(30, 40));
        form->move(1, 1);
    }
    EXPECT_TRUE(Writes().empty());
}

TEST_F(SavePosTest, KeeperWithoutAFormDoesNothing) {
    StoreInUser("Pos", "SavePos1", "1,2,3,4");
    QWidget plain;
    plain.setGeometry(5, 6, 300, 200);
    {
        TSavePos keeper(&plain);
        keeper.setObjectName("SavePos1");
        keeper.Loaded();
        EXPECT_EQ(keeper.GetAsString(), "");
        EXPECT_EQ(plain.pos(), QPoint(5, 6));
    }
    EXPECT_TRUE(Writes().empty());
}

class EditIniTest : public test::QtSettingsFixture {};

TEST_F(EditIniTest, EveryTypedChangeIsSavedAndCloseAddsNothing) {
    {
        TestForm form("FormQuery");
        auto* edit = new TEditIni(&form);
        edit->setObjectName("EditSeparator");
        form.FormLoaded();
        QTest::keyClicks(edit, "ab;");
        ASSERT_EQ(Writes().size(), 3u);
        EXPECT_EQ(Writes()[0].section, "FormQuery-Params");
        EXPECT_EQ(Writes()[0].key, "EditSeparator");
        EXPECT_EQ(Writes()[0].value, "a");
        EXPECT_EQ(Writes()[2].value, "ab;");
    }
    EXPECT_EQ(Writes().size(), 3u);
    EXPECT_EQ(InUser("FormQuery-Params", "EditSeparator"), "ab;");
}

// The query window lays its controls out in tab pages, splitters and scroll areas; they are
// still the window's controls and keep the keys of their own names.
TEST_F(EditIniTest, ControlsInsideQtContainersKeepTheirOwnKeys) {
    StoreInMachine("FormQuery-Params", "CBRunAutomatically", "1");
    {
        TestForm form("FormQuery");
        auto* tabs = new QTabWidget(&form);
        tabs->setObjectName("PageSheetQueries");
        auto* page = new QWidget;
        page->setObjectName("TabSheetDir");
        tabs->addTab(page, "&Directory");
        auto* split = new QSplitter(page);
        split->setObjectName("SplitterFiles");
        auto* scroll = new QScrollArea(split);
        scroll->setObjectName("ScrollBoxParams");
        auto* inner = new QWidget;
        inner->setObjectName("PanelInner");
        scroll->setWidget(inner);
        auto* edit = new TEditIni(inner);
        edit->setObjectName("EditSeparator");
        auto* box = new TCheckBoxIni(split);
        box->setObjectName("CBRunAutomatically");
        form.FormLoaded();
        EXPECT_EQ(box->checkState(), Qt::Checked);
        QTest::keyClicks(edit, ";");
        ASSERT_EQ(Writes().size(), 1u);
        EXPECT_EQ(Writes()[0].key, "EditSeparator");
        EXPECT_EQ(Writes()[0].section, "FormQuery-Params");
        box->setCheckState(Qt::Unchecked);
    }
    EXPECT_EQ(InUser("FormQuery-Params", "EditSeparator"), ";");
    EXPECT_EQ(InUser("FormQuery-Params", "CBRunAutomatically"), "0");
}

TEST_F(EditIniTest, LoadRunsTheProgramsHandlerWithoutWritingBack) {
    StoreInMachine("FormQuery-Params", "Server", "db1");
    TestForm form("FormQuery");
    auto* edit = new TEditIni(&form);
    edit->setObjectName("EditIniServer");
    // Text set while the form is being built is no user change.
    edit->setText("default");
    std::vector<QString> seen;
    QObject::connect(edit, &TEditIni::Changed, [&](const QString& t) { seen.push_back(t); });
    form.FormLoaded();
    EXPECT_EQ(edit->text(), "db1");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], "db1");
    EXPECT_TRUE(Writes().empty());
    EXPECT_EQ(InUser("FormQuery-Params", "Server"), "<none>");
}

TEST_F(EditIniTest, HundredThousandCharacterTextRoundTrips) {
    const QString big(100000, QChar('z'));
    {
        TestForm form("F");
        auto* edit = new TEditIni(&form);
        edit->setMaxLength(200000);
        edit->setObjectName("EditIniBig");
        form.FormLoaded();
        edit->setText(big);
    }
    TestForm form("F");
    auto* edit = new TEditIni(&form);
    edit->setMaxLength(200000);
    edit->setObjectName("EditIniBig");
    form.FormLoaded();
    EXPECT_EQ(edit->text(), big);
}

TEST_F(EditIniTest, ASubclassSavesAtDestructionUnderTheKeyItLoadedWith) {
    StoreInMachine("F-Params", "Sep", "stored");
    {
        TestForm form("F");
        auto* edit = new TMyBox(&form);
        edit->setObjectName("MyBoxSep");
        form.FormLoaded();
        EXPECT_EQ(edit->text(), "stored");
        edit->Ini().AutoSave = false;  // typed text is saved only at the end
        edit->setText("typed");
        edit->Ini().AutoSave = true;
    }
    ASSERT_EQ(Writes().size(), 1u);
    EXPECT_EQ(Writes()[0].key, "Sep");
    EXPECT_EQ(Writes()[0].value, "typed");
}

class CheckBoxIniTest : public test::QtSettingsFixture {};

TEST_F(CheckBoxIniTest, StateTextsAndClamping) {
    TCheckBoxIni box;
    const std::pair<const char*, Qt::CheckState> cases[] = {
        {"1", Qt::Checked},   {"2", Qt::PartiallyChecked}, {"7", Qt::PartiallyChecked},
        {"0", Qt::Unchecked}, {"-1", Qt::Unchecked},       {"x", Qt::Unchecked},
        {" 1 ", Qt::Checked}, {"", Qt::Unchecked},
    };
    for (const auto& [text, state] : cases) {
        box.SetAsString("1");
        box.SetAsString(text);
        EXPECT_EQ(box.checkState(), state) << text;
    }
    box.SetAsString("2");
    EXPECT_EQ(box.GetAsString(), "2");
    EXPECT_EQ(box.property("AsString").toString(), "2");
    // The user's clicks leave the grayed state and never come back to it.
    for (const char* expected : {"1", "0", "1", "0"}) {
        box.click();
        EXPECT_EQ(box.GetAsString(), expected);
    }
    box.setTristate(true);
    box.SetAsString("0");
    box.click();
    EXPECT_EQ(box.GetAsString(), "2");  // a three-state box still cycles through all three
    box.click();
    EXPECT_EQ(box.GetAsString(), "1");
}

TEST_F(CheckBoxIniTest, GrayedThenCheckedByCodeTakesTheNextClick) {
    TCheckBoxIni box;
    box.SetAsString("2");
    box.SetAsString("1");
    box.click();
    EXPECT_EQ(box.GetAsString(), "0");
    box.click();
    EXPECT_EQ(box.GetAsString(), "1");
    // The same when code uses the box's own calls.
    box.SetAsString("2");
    box.setChecked(false);
    box.click();
    EXPECT_EQ(box.GetAsString(), "1");
    box.click();
    EXPECT_EQ(box.GetAsString(), "0");  // never grayed by a click
}

TEST_F(CheckBoxIniTest, ClicksSaveAndLoadRaisesTheClickNotification) {
    StoreInMachine("FormQuery-Params", "CBRunAutomatically", "1");
    TestForm form("FormQuery");
    auto* box = new TCheckBoxIni(&form);
    box->setObjectName("CBRunAutomatically");
    QSignalSpy changed(box, &TCheckBoxIni::Changed);
    form.FormLoaded();
    EXPECT_EQ(box->checkState(), Qt::Checked);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(Writes().empty());
    box->click();
    ASSERT_EQ(Writes().size(), 1u);
    EXPECT_EQ(Writes()[0].key, "CBRunAutomatically");
    EXPECT_EQ(Writes()[0].value, "0");
    box->setCheckState(Qt::PartiallyChecked);
    ASSERT_EQ(Writes().size(), 2u);
    EXPECT_EQ(Writes()[1].value, "2");
}

TEST_F(CheckBoxIniTest, CaptionFollowsTheName) {
    TCheckBoxIni box;
    box.setObjectName("CheckBoxIni1");
    EXPECT_EQ(box.text(), "1");
    box.setObjectName("CheckBoxIniAutoCommit");
    EXPECT_EQ(box.text(), "AutoCommit");
    box.setText("Commit after each statement");
    box.setObjectName("CheckBoxIniOther");
    EXPECT_EQ(box.text(), "Commit after each statement");

    EXPECT_EQ(CaptionFromName(&box, "checkboxiniX", "", ""), "X");
    EXPECT_EQ(CaptionFromName(&box, "Other", "", ""), "");
    EXPECT_EQ(CaptionFromName(&box, "CBNewTail", "CBOldTail", "oldtail"), "NewTail");
    EXPECT_EQ(CaptionFromName(&box, "XYZ", "CBOldTail", "OldTail"), "OldTail");
    EXPECT_EQ(CaptionFromName(&box, "CheckBoxIniA", "CheckBoxIniA", "CheckBoxIniCaption"),
              "Caption");
    const std::string longName = "CheckBoxIni" + std::string(300, 'n');
    EXPECT_EQ(CaptionFromName(&box, longName, "", "").size(), 200u);
}

}  // namespace
}  // namespace orn

namespace orn {
namespace {

class FormLoadedTest : public test::QtSettingsFixture {};

TEST_F(FormLoadedTest, EachFormLoadsItsOwnControlsInCreationOrder) {
    StoreInUser("Main-Params", "Outer", "outer");
    StoreInUser("Child-Params", "Inner", "inner");
    TestForm main("Main");
    auto* child = new TestForm("Child");
    child->setParent(&main, Qt::Window);
    auto* inner = new TEditIni(child);
    inner->setObjectName("Inner");
    auto* outer = new TEditIni(&main);
    outer->setObjectName("Outer");
    std::vector<std::string> order;
    for (TEditIni* e : {inner, outer}) {
        QObject::connect(e, &TEditIni::Changed,
                         [&order, e] { order.push_back(e->objectName().toStdString()); });
    }
    main.FormLoaded();
    EXPECT_EQ(outer->text(), "outer");
    EXPECT_EQ(inner->text(), "");  // its form has not had its loaded step yet
    inner->setText("typed before loading");
    EXPECT_TRUE(Writes().empty());
    child->FormLoaded();
    EXPECT_EQ(inner->text(), "inner");
    EXPECT_EQ(order, (std::vector<std::string>{"Outer", "Inner", "Inner"}));
}

TEST_F(FormLoadedTest, CreationOrderNotTreeOrder) {
    StoreInUser("F-Params", "A", "a");
    StoreInUser("F-Params", "B", "b");
    TestForm form("F");
    auto* panel = new QWidget(&form);  // first in the tree...
    auto* a = new TEditIni(&form);
    a->setObjectName("A");
    auto* b = new TEditIni(panel);  // ...but this control is created last
    b->setObjectName("B");
    std::vector<std::string> order;
    for (TEditIni* e : {a, b}) {
        QObject::connect(e, &TEditIni::Changed,
                         [&order, e] { order.push_back(e->objectName().toStdString()); });
    }
    form.FormLoaded();
    EXPECT_EQ(order, (std::vector<std::string>{"A", "B"}));
}

}  // namespace
}  // namespace orn

namespace orn {
namespace {

TEST_F(FormLoadedTest, UnreadableValueDoesNotStopTheOtherControls) {
    WriteFile(UserRootFile(),
              "[software\\Tarm\\orn\\F-Params]\n\"A\"=dword:00000001\n\"B\"=\"b\"\n");
    GlobalIniReadOrder().ClearAll();
    std::vector<std::string> errors;
    SetLoadErrorHandler([&](const std::string& m) { errors.push_back(m); });
    TestForm form("F");
    auto* a = new TEditIni(&form);
    a->setObjectName("A");
    auto* b = new TEditIni(&form);
    b->setObjectName("B");
    EXPECT_NO_THROW(form.FormLoaded());
    SetLoadErrorHandler([](const std::string&) {});
    EXPECT_EQ(errors, std::vector<std::string>{"Invalid data type for 'A'"});
    EXPECT_EQ(b->text(), "b");
    EXPECT_FALSE(a->Ini().LoadDone());
}

}  // namespace
}  // namespace orn

#include "controls_test.moc"
