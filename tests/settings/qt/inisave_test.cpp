#include <gtest/gtest.h>

#include <QByteArray>
#include <QObject>
#include <QString>

#include "qt_fixture.h"
#include "settings/qt/zIniSave.h"
#include "settings/qt/zPropFunc.h"
#include "settings/qt/zinicomp.h"

namespace orn {

// A component with a text property, a byte-string property and a number.
class Probe : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString AsString MEMBER text)
    Q_PROPERTY(QByteArray Bytes MEMBER bytes)
    Q_PROPERTY(int Number MEMBER number)
    Q_PROPERTY(QString ReadOnlyText READ ReadOnlyText)

  public:
    explicit Probe(QObject* parent = nullptr, const char* name = "") : QObject(parent) {
        setObjectName(name);
    }
    QString ReadOnlyText() const { return "fixed"; }
    QString text;
    QByteArray bytes;
    int number = 7;
};

namespace {

using test::TestForm;

class IniSaveTest : public test::QtSettingsFixture {};

TEST(PropFunc, TextPropertiesByExactName) {
    Probe p;
    p.text = "abc";
    p.bytes = "raw";
    EXPECT_EQ(GetPropString(&p, "AsString", "d"), "abc");
    EXPECT_EQ(GetPropString(&p, "asstring", "d"), "d");  // exact name only
    EXPECT_EQ(GetPropString(&p, "Bytes", "d"), "raw");
    EXPECT_EQ(GetPropString(&p, "Number", "d"), "");  // not a text type
    EXPECT_EQ(GetPropString(nullptr, "AsString", "d"), "d");
    EXPECT_TRUE(SetPropString(&p, "AsString", "\xC3\xA4x"));
    EXPECT_EQ(p.text, QString::fromUtf8("\xC3\xA4x"));
    EXPECT_TRUE(SetPropString(&p, "Number", "12"));  // found, left unchanged
    EXPECT_EQ(p.number, 7);
    EXPECT_TRUE(SetPropString(&p, "ReadOnlyText", "x"));
    EXPECT_FALSE(SetPropString(&p, "Missing", "x"));
    EXPECT_FALSE(SetPropString(nullptr, "AsString", "x"));
    EXPECT_EQ(ClampInt(7, 0, 2), 2);
    EXPECT_EQ(ClampInt(-1, 0, 2), 0);
    EXPECT_EQ(ClampInt(1, 0, 2), 1);
}

TEST_F(IniSaveTest, KeyIsTheNameWithoutItsGenericPart) {
    TestForm form("FormQuery");
    struct Case {
        const char* name;
        const char* gen;
        const char* key;
    };
    const Case cases[] = {
        {"EditIniServer", "EditIni", "Server"},
        {"MyEditIniX", "EditIni", "X"},
        {"EditIni1", "EditIni", "EditIni1"},
        {"EditSeparator", "EditIni", "EditSeparator"},
        {"ParamErrorLimit", "Param", "ErrorLimit"},
        {"EditIniAEditIniB", "EditIni", "AEditIniB"},
        {"editiniServer", "EditIni", "editiniServer"},
        {"EditIni_x", "EditIni", "_x"},
        {"SplitterGrid", "", "SplitterGrid"},
    };
    for (const auto& c : cases) {
        Probe p(&form, c.name);
        TIniSave ini(&p);
        ini.SetGenName(c.gen);
        EXPECT_EQ(ini.GetKey(), c.key) << c.name;
        EXPECT_EQ(ini.GetSection(), "FormQuery-Params");
    }
    Probe p(&form, "EditIniServer");
    TIniSave ini(&p);
    ini.SaveName = "Exact";
    EXPECT_EQ(ini.GetKey(), "Exact");
    ini.IniSection = "Own";
    EXPECT_EQ(ini.GetSection(), "Own");
}

TEST_F(IniSaveTest, GenericNameComesFromTheClass) {
    TEditIni edit;
    TCheckBoxIni box;
    Probe probe;
    EXPECT_EQ(edit.Ini().GenName(), "EditIni");
    EXPECT_EQ(box.Ini().GenName(), "CheckBoxIni");
    EXPECT_EQ(TIniSave(&probe).GenName(), "robe");
    EXPECT_FALSE(edit.Ini().IsGenNameStored());
    edit.Ini().SetGenName("Edit");
    EXPECT_TRUE(edit.Ini().IsGenNameStored());
    EXPECT_TRUE(edit.Ini().IsPropNameStored());  // "Text"
    EXPECT_FALSE(box.Ini().IsPropNameStored());
}

TEST_F(IniSaveTest, ContainersThatOnlyLayOutAddNothingToTheKey) {
    TestForm form("FormMain");
    QWidget panel(&form);
    panel.setObjectName("Panel1");
    QWidget inner(&panel);
    QWidget helper(&inner);
    helper.setObjectName("qt_scrollarea_viewport");
    Probe deep(&helper, "EditIniServer");
    TIniSave ini(&deep);
    ini.SetGenName("EditIni");
    EXPECT_EQ(OwnerPath(&deep), "");
    EXPECT_EQ(ini.GetKey(), "Server");
    EXPECT_EQ(FormName(&deep), "FormMain");
    EXPECT_EQ(ini.GetSection(), "FormMain-Params");

    // A component that owns what is built inside it puts its name in front, once per owner,
    // and the containers between owners still add nothing.
    MarkAsOwner(&panel);
    EXPECT_EQ(OwnerPath(&deep), "Panel1.");
    EXPECT_EQ(ini.GetKey(), "Panel1.Server");
    MarkAsOwner(&helper);
    EXPECT_EQ(OwnerPath(&deep), "Panel1.");  // Qt's own helpers name nothing
    helper.setObjectName("Frame");
    EXPECT_EQ(ini.GetKey(), "Panel1.Frame.Server");
    EXPECT_EQ(FormName(&deep), "FormMain");
    ini.SaveName = "S";
    EXPECT_EQ(ini.GetKey(), "S");  // no owner path with SaveName

    // Parents without a form: section "-Params"; no parent at all: no section.
    // A tree without a form is owned by its root.
    QObject loose;
    loose.setObjectName("Root");
    QObject middle(&loose);
    middle.setObjectName("Middle");
    Probe onLoose(&middle, "x");
    EXPECT_EQ(TIniSave(&onLoose).GetSection(), "-Params");
    EXPECT_EQ(TIniSave(&onLoose).GetKey(), "Root.x");
    Probe alone(nullptr, "x");
    EXPECT_EQ(TIniSave(&alone).GetSection(), "");
    EXPECT_EQ(TIniSave(nullptr).GetIniName(), "-");
    EXPECT_EQ(TIniSave(nullptr).GetKey(), "");
}

TEST_F(IniSaveTest, LoadOnceAppliesStoredValuesOnlyOnce) {
    TestForm form("F");
    form.FormLoaded();
    Probe p(&form, "Value");
    TIniSave ini(&p);
    ini.AutoSave = true;
    StoreInMachine("F-Params", "Value", "stored");
    ini.LoadOnce();
    EXPECT_EQ(p.text, "stored");
    EXPECT_TRUE(ini.LoadDone());
    EXPECT_EQ(ini.LastValue(), "stored");
    ini.SaveIfChanged();
    EXPECT_TRUE(Writes().empty());  // nothing changed since the load

    StoreInMachine("F-Params", "Value", "changed later");
    ini.LoadOnce();
    EXPECT_EQ(p.text, "stored");

    p.text = "edited";
    ini.SaveIfChanged();
    ASSERT_EQ(Writes().size(), 1u);
    EXPECT_EQ(Writes()[0].section, "F-Params");
    EXPECT_EQ(Writes()[0].key, "Value");
    EXPECT_EQ(Writes()[0].value, "edited");
    EXPECT_EQ(InUser("F-Params", "Value"), "edited");
    ini.SaveIfChanged();
    EXPECT_EQ(Writes().size(), 1u);

    p.text = "x";
    ini.Restore();
    EXPECT_EQ(p.text, "edited");
}

TEST_F(IniSaveTest, MissingAndNotStoredValuesLeaveThePropertyAlone) {
    TestForm form("F");
    form.FormLoaded();
    Probe p(&form, "A");
    p.text = "initial";
    TIniSave ini(&p);
    ini.Load();
    EXPECT_EQ(p.text, "initial");
    StoreInUser("F-Params", "A", kNotStored);
    ini.Load();
    EXPECT_EQ(p.text, "initial");
    StoreInUser("F-Params", "A", "");
    ini.Load();
    EXPECT_EQ(p.text, "");  // a stored empty text is a value
}

TEST_F(IniSaveTest, AutoSaveGatesOnlyTheConditionalSaves) {
    TestForm form("F");
    form.FormLoaded();
    Probe p(&form, "A");
    TIniSave ini(&p);
    p.text = "v1";
    ini.SaveIfChanged();
    ini.SaveOnce();
    EXPECT_TRUE(Writes().empty());
    ini.Save();
    ASSERT_EQ(Writes().size(), 1u);

    EXPECT_TRUE(ini.SaveDone());  // the once is used up even without a write
    ini.ResetSaveOnce();
    ini.AutoSave = true;
    p.text = "v2";
    ini.SaveOnce();
    p.text = "v3";
    ini.SaveOnce();
    EXPECT_EQ(Writes().size(), 2u);
    ini.ResetSaveOnce();
    ini.SaveOnce();
    ASSERT_EQ(Writes().size(), 3u);
    EXPECT_EQ(Writes()[2].value, "v3");
}

TEST_F(IniSaveTest, DashSwitchesPersistenceOff) {
    TestForm form("F");
    form.FormLoaded();
    StoreInUser("F-Params", "A", "stored");
    StoreInUser("-", "A", "stored");
    for (int variant = 0; variant < 2; ++variant) {
        Probe p(&form, "A");
        TIniSave ini(&p);
        (variant == 0 ? ini.IniName : ini.IniSection) = "-";
        EXPECT_EQ(ini.GetIniName(), "-");
        ini.LoadOnce();
        EXPECT_EQ(p.text, "");
        p.text = "new";
        ini.Save();
    }
    EXPECT_EQ(InUser("F-Params", "A"), "stored");
    EXPECT_EQ(InUser("-", "A"), "stored");
}

TEST_F(IniSaveTest, UnnamedControlOnAFormIsNeitherLoadedNorSaved) {
    TestForm form("F");
    form.FormLoaded();
    Probe p(&form, "");
    TIniSave ini(&p);
    EXPECT_EQ(ini.GetKey(), "");
    p.text = "x";
    ini.Save();
    EXPECT_EQ(Writes().size(), 1u);  // handed on, and dropped by the service
    EXPECT_FALSE(std::filesystem::exists(registryDir_));
}

TEST_F(IniSaveTest, ReadErrorLeavesTheLoadUndone) {
    TestForm form("F");
    form.FormLoaded();
    WriteFile(UserRootFile(), "[software\\Tarm\\orn\\F-Params]\n\"A\"=hex:00\n");
    GlobalIniReadOrder().ClearAll();
    Probe p(&form, "A");
    TIniSave ini(&p);
    EXPECT_THROW(ini.LoadOnce(), EStoreError);
    EXPECT_FALSE(ini.LoadDone());
    EXPECT_FALSE(ini.Loading());
}

TEST_F(IniSaveTest, PropertyThatIsNotTextStoresAnEmptyText) {
    TestForm form("F");
    form.FormLoaded();
    Probe p(&form, "A");
    TIniSave ini(&p);
    ini.PropName = "Number";
    StoreInUser("F-Params", "A", "42");
    ini.LoadOnce();
    EXPECT_EQ(p.number, 7);
    ini.Save();
    EXPECT_EQ(InUser("F-Params", "A"), "");
}

}  // namespace
}  // namespace orn

#include "inisave_test.moc"
