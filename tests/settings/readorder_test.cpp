#include <gtest/gtest.h>

#include <filesystem>

#include "readorder_fixture.h"
#include "text/dialogs.h"

namespace orn {
namespace {

namespace fs = std::filesystem;

class ReadOrder : public test::ReadOrderFixture {};

std::vector<std::string> Elements(TOneReadOrder* list) {
    std::vector<std::string> out;
    for (int i = 0; list != nullptr && i < list->Count(); ++i)
        out.push_back(list->Element(i));
    return out;
}

std::string IniFileOf(TOneReadOrder* list, int i) {
    auto* ini = dynamic_cast<TzLocalIniFile*>(list->Store(i));
    return ini != nullptr ? ini->FileName() : std::string("<not an ini file>");
}

TEST_F(ReadOrder, InitialVariablesComeInOrder) {
    TIniReadOrder ro;
    const char* names[] = {"U",        "P",      "L",      "M",         "G",         "u",
                           "p",        "i",      "m",      "I",         "%COMPANY%", "%PROGNAME%",
                           "%SUBKEY%", "%HKCU%", "%HKLM%", "%PROGDIR%", "%LOCALDIR%"};
    ASSERT_EQ(ro.Vars().Count(), 17);
    for (int i = 0; i < 17; ++i)
        EXPECT_EQ(ro.Vars().Item(i).Name(), names[i]);
    EXPECT_EQ(ro.Vars().GetValue("%COMPANY%"), "Tarm");
    EXPECT_EQ(ro.Vars().GetValue("%PROGNAME%"), "orn");
    EXPECT_EQ(ro.Vars().GetValue("%PROGDIR%"), progDir_);
    EXPECT_EQ(ro.Vars().GetValue("%LOCALDIR%"), workDir_);
    EXPECT_FALSE(ro.WriteAll());
}

TEST_F(ReadOrder, DefaultOrderIsUserLocalMachineProgram) {
    TIniReadOrder ro;
    const std::vector<std::string> expected = {UserKey(), Elem(LocalIni()) + "|n", MachineKey(),
                                               Elem(ProgIni())};
    TOneReadOrder* u = ro.GetReadOrder("U");
    EXPECT_EQ(Elements(u), expected);
    EXPECT_EQ(u->Store(1), nullptr);  // the local ini file does not exist: an empty place
    // A blank name is "U"; "-" is no storage at all.
    EXPECT_EQ(ro.GetReadOrder(" \t"), u);
    EXPECT_EQ(ro.GetReadOrder(""), u);
    EXPECT_EQ(ro.GetReadOrder("-"), nullptr);
    // Letter case tells read orders apart; stores are shared through the open-store list.
    TOneReadOrder* lower = ro.GetReadOrder("u");
    EXPECT_NE(lower, u);
    EXPECT_EQ(Elements(lower), std::vector<std::string>{UserKey()});
    EXPECT_EQ(lower->Store(0), u->Store(0));
    EXPECT_EQ(ro.ReadOrderCount(), 2);
    EXPECT_EQ(ro.IniList().Count(), 4);
    // "P" uses the subkey; "G" is the program's ini file alone.
    ro.Vars().SetValue("%SUBKEY%", "Sub");
    EXPECT_EQ(ro.ReadOrderCount(), 0);  // a variable change empties the caches
    EXPECT_EQ(Elements(ro.GetReadOrder("P"))[0], UserKey() + "\\Sub");
    EXPECT_EQ(Elements(ro.GetReadOrder("G")), std::vector<std::string>{Elem(ProgIni())});
}

TEST_F(ReadOrder, DashAndEmptyNamesTouchNothing) {
    TIniReadOrder ro;
    EXPECT_EQ(ro.ReadString("-", "S", "K", "dflt"), "dflt");
    ro.WriteString("-", "S", "K", "v");
    EXPECT_EQ(ro.ReadString("U", "", "K", "dflt"), "dflt");
    EXPECT_EQ(ro.ReadString("U", "S", "", "dflt"), "dflt");
    ro.WriteString("U", "", "K", "v");
    ro.WriteString("U", "S", "", "v");
    EXPECT_EQ(ro.ReadOrderCount(), 0);
    EXPECT_EQ(ro.IniList().Count(), 0);
    EXPECT_FALSE(fs::exists(registryDir_));
    EXPECT_FALSE(fs::exists(ProgIni()));
}

TEST_F(ReadOrder, FirstStoreHoldingTheValueWins) {
    TIniReadOrder ro;
    EXPECT_EQ(ro.ReadString("U", "S", "K", "dflt"), "dflt");
    WriteFile(ProgIni(), "[S]\nK=from prog\n");
    ro.ClearAll();
    EXPECT_EQ(ro.ReadString("U", "S", "K", "dflt"), "from prog");
    TzRegistryIniFile(MachineKey()).WriteString("S", "K", "from machine");
    ro.ClearAll();
    EXPECT_EQ(ro.ReadString("U", "S", "K", "dflt"), "from machine");
    TzRegistryIniFile(UserKey()).WriteString("S", "K", "from user");
    ro.ClearAll();
    EXPECT_EQ(ro.ReadString("U", "S", "K", "dflt"), "from user");
    // A stored "§" is no value: the search goes on.
    TzRegistryIniFile(UserKey()).WriteString("S", "K", kNotStored);
    EXPECT_EQ(ro.ReadString("U", "S", "K", "dflt"), "from machine");
    EXPECT_EQ(ro.ReadString("m", "S", "K", "dflt"), "from machine");
}

TEST_F(ReadOrder, WriteGoesToTheFirstStoreOrToAll) {
    TIniReadOrder ro;
    ro.WriteString("U", "S", "one", "1");
    EXPECT_EQ(InUser("S", "one"), "1");
    EXPECT_EQ(InMachine("S", "one"), "<none>");
    EXPECT_EQ(InIni(ProgIni(), "S", "one"), "<none>");

    ro.SetWriteAll(true);
    ro.WriteString("U", "S", "all", "2");
    EXPECT_EQ(InUser("S", "all"), "2");
    EXPECT_EQ(InMachine("S", "all"), "2");
    EXPECT_EQ(InIni(ProgIni(), "S", "all"), "2");
    EXPECT_FALSE(fs::exists(LocalIni()));  // "|n": only used when it exists

    WriteFile(LocalIni(), "");
    ro.ClearAll();
    ro.WriteString("U", "S", "all", "3");
    EXPECT_EQ(InIni(LocalIni(), "S", "all"), "3");
    EXPECT_EQ(InIni(ProgIni(), "S", "all"), "3");
}

TEST_F(ReadOrder, ReadOnlyElementEndsTheWrite) {
    const std::string file = workDir_ + "/fixed.ini";
    WriteFile(file, "[S]\nK=kept\n");
    TIniReadOrder ro;
    const std::string order = file + "|r;%HKCU%";
    ro.WriteString(order, "S", "K", "new");
    ro.WriteString(order, "S", "K2", "new");
    EXPECT_EQ(ReadFile(file), "[S]\nK=kept\n");
    EXPECT_EQ(InUser("S", "K2"), "<none>");
    EXPECT_EQ(ro.ReadString(order, "S", "K", ""), "kept");
    // A file carrying the read-only mark is read-only without the flag.
    const std::string locked = workDir_ + "/locked.ini";
    WriteFile(locked, "[S]\nK=old\n");
    fs::permissions(locked, fs::perms::owner_read);
    ro.WriteString(locked + ";%HKCU%", "S", "K", "new");
    EXPECT_EQ(InIni(locked, "S", "K"), "old");
    EXPECT_EQ(InUser("S", "K"), "<none>");
}

TEST_F(ReadOrder, ShortElementsAreLetterCodes) {
    TIniReadOrder ro;
    TOneReadOrder* ab = ro.GetReadOrder("ab");
    EXPECT_EQ(Elements(ab), std::vector<std::string>{"ab"});
    EXPECT_EQ(IniFileOf(ab, 0), progDir_ + "ab.ini");
    EXPECT_EQ(Elements(ro.GetReadOrder("um")), (std::vector<std::string>{UserKey(), MachineKey()}));
    // Five letters are codes too: the "i" of x.ini stands for the local ini element.
    const auto mangled = Elements(ro.GetReadOrder("x.ini"));
    ASSERT_FALSE(mangled.empty());
    EXPECT_EQ(mangled[0].rfind("x.", 0), 0u) << mangled[0];
    EXPECT_NE(mangled[0], "x.ini");
    // Six or more characters are searched for variable names instead.
    TOneReadOrder* xy = ro.GetReadOrder("xy.ini");
    EXPECT_EQ(Elements(xy), std::vector<std::string>{"xy.ini"});
    EXPECT_EQ(IniFileOf(xy, 0), progDir_ + "xy.ini");
}

TEST_F(ReadOrder, PathSpellingsNameOneStore) {
    TIniReadOrder ro;
    TOneReadOrder* a = ro.GetReadOrder(workDir_ + "/a.ini");
    TOneReadOrder* b = ro.GetReadOrder(Elem(workDir_) + "\\\\\\a.ini");
    TOneReadOrder* c = ro.GetReadOrder(workDir_ + "//a.ini ; ");
    ASSERT_EQ(a->Count(), 1);
    EXPECT_EQ(a->Element(0), b->Element(0));
    EXPECT_EQ(a->Store(0), b->Store(0));
    EXPECT_EQ(a->Store(0), c->Store(0));
    ro.WriteString(workDir_ + "/a.ini", "S", "K", "v");
    EXPECT_EQ(InIni(workDir_ + "/a.ini", "S", "K"), "v");
}

TEST_F(ReadOrder, OnlyRootNamesStartAKeyAndFileNamesKeepTheirCase) {
    fs::create_directories(workDir_ + "/HKdata");
    TIniReadOrder ro;
    // "/HKdata/x.ini" and "HKfile.ini" are files; "\\HKCU\\k" and "User\\k" are keys.
    const std::string dir = workDir_ + "/HKdata";
    ro.WriteString(dir + "/x.ini", "S", "K", "in file");
    EXPECT_EQ(InIni(dir + "/x.ini", "S", "K"), "in file");
    WriteFile(workDir_ + "/HKfile.ini", "");  // a bare name is found in the working folder
    ro.WriteString("HKfile.ini", "S", "K", "in file too");
    EXPECT_EQ(InIni(workDir_ + "/HKfile.ini", "S", "K"), "in file too");
    ro.WriteString("\\HKCU\\k", "S", "K", "in key");
    EXPECT_EQ(TzRegistryIniFile("HKCU\\k").ReadString("S", "K", ""), "in key");
    ro.WriteString("User\\k", "S", "K2", "in key too");
    EXPECT_EQ(TzRegistryIniFile("HKCU\\k").ReadString("S", "K2", ""), "in key too");
    EXPECT_FALSE(fs::exists(workDir_ + "/User"));

    // Upper.ini and upper.ini are two files; keys differing in letter case are one key.
    ro.WriteString(workDir_ + "/Upper.ini", "S", "K", "U");
    ro.WriteString(workDir_ + "/upper.ini", "S", "K", "u");
    EXPECT_EQ(InIni(workDir_ + "/Upper.ini", "S", "K"), "U");
    EXPECT_EQ(InIni(workDir_ + "/upper.ini", "S", "K"), "u");
    EXPECT_NE(ro.GetReadOrder(workDir_ + "/Upper.ini")->Store(0),
              ro.GetReadOrder(workDir_ + "/upper.ini")->Store(0));
    EXPECT_EQ(ro.GetReadOrder("HKCU\\Key")->Store(0), ro.GetReadOrder("HKCU\\KEY")->Store(0));
}

TEST_F(ReadOrder, RegistryElementsFindTheirRoot) {
    TIniReadOrder ro;
    ro.WriteString("HKEY_USERS", "S", "K", "under user");
    EXPECT_EQ(TzRegistryIniFile("HKCU\\HKEY_USERS").ReadString("S", "K", ""), "under user");
    ro.WriteString("\\HKEY_USERS\\x", "S", "K", "under users");
    EXPECT_EQ(TzRegistryIniFile("HKEY_USERS\\x").ReadString("S", "K", ""), "under users");
    EXPECT_TRUE(fs::exists(registryDir_ + "/HKEY_USERS.reg"));
    // "|n" skips a key that does not exist.
    TOneReadOrder* n = ro.GetReadOrder("HKEY_USERS\\missing|n");
    ASSERT_EQ(n->Count(), 1);
    EXPECT_EQ(n->Store(0), nullptr);
}

TEST_F(ReadOrder, FailedWritesAskOncePerElementUntilYesToAll) {
    test::SettingsFixture::WriteFile(workDir_ + "/plain", "x");
    const std::string bad1 = workDir_ + "/plain/a.ini";
    const std::string bad2 = workDir_ + "/plain/b.ini";
    TIniReadOrder ro;
    TScriptedDialogs dialogs({DialogButton::Cancel, DialogButton::Cancel, DialogButton::YesToAll});
    ro.SetDialogs(&dialogs);
    int events = 0;
    ro.OnWriteError = [&](TIniReadOrder& sender) {
        EXPECT_EQ(&sender, &ro);
        ++events;
    };
    const std::string order = bad1 + ";" + bad2 + ";%HKCU%";
    ro.WriteString(order, "S", "K", "v");  // both fail, then the user key takes it
    ASSERT_EQ(dialogs.Requests().size(), 2u);
    const DialogRequest& r = dialogs.Requests()[0];
    EXPECT_EQ(r.kind, DialogKind::Error);
    EXPECT_EQ(r.caption, "Error");
    EXPECT_EQ(r.text, "Unable to write to " + bad1 + "\r\nStop showing errors?");
    EXPECT_EQ(r.buttons, (std::vector<DialogButton>{DialogButton::Cancel, DialogButton::YesToAll}));
    EXPECT_STREQ(DialogButtonCaption(r.buttons[1]), "Yes to &All");
    EXPECT_EQ(ro.LastErrorMessage(), "Unable to write to " + bad2);
    EXPECT_EQ(events, 2);
    EXPECT_EQ(InUser("S", "K"), "v");
    EXPECT_FALSE(ro.StopShowingErrors());

    ro.WriteString(order, "S", "K", "w");  // the first box is answered "Yes to All"
    EXPECT_EQ(dialogs.Requests().size(), 3u);
    EXPECT_TRUE(ro.StopShowingErrors());
    EXPECT_EQ(events, 4);
    EXPECT_EQ(ro.LastErrorMessage(), "Unable to write to " + bad2);
    EXPECT_EQ(InUser("S", "K"), "w");
}

TEST_F(ReadOrder, UncreatableRegistryKeyEndsTheWriteSilently) {
    test::SettingsFixture::WriteFile(root_ + "/plain", "x");
    ::setenv("ORN_REGISTRY_DIR", (root_ + "/plain/reg").c_str(), 1);
    TIniReadOrder ro;
    TScriptedDialogs dialogs;
    ro.SetDialogs(&dialogs);
    ro.WriteString("U", "S", "K", "v");
    EXPECT_TRUE(dialogs.Requests().empty());
    EXPECT_TRUE(ro.LastErrorMessage().empty());
    EXPECT_FALSE(fs::exists(ProgIni()));
    EXPECT_EQ(ro.ReadString("U", "S", "K", "dflt"), "dflt");
}

TEST_F(ReadOrder, SettingsFileSetsFlagsAndVariables) {
    WriteFile(workDir_ + "/zini.ini",
              "[IniReadOrder]\nWriteAll=0x1\nCreateLocalIni=$0\n"
              "[IniReadOrderVars]\n%COMPANY%=Acme\nU=uI\n");
    TIniReadOrder ro;
    ro.LoadSettings("zini.ini");
    EXPECT_TRUE(ro.WriteAll());
    EXPECT_FALSE(ro.CreateLocalIni());
    EXPECT_EQ(
        Elements(ro.GetReadOrder("U")),
        (std::vector<std::string>{"HKEY_CURRENT_USER\\software\\Acme\\orn", Elem(ProgIni())}));
    // Values that are no numbers keep the current setting; a missing file changes nothing.
    WriteFile(workDir_ + "/zini.ini", "[IniReadOrder]\nWriteAll=yes\nCreateLocalIni=7\n");
    ro.LoadSettings("zini.ini");
    EXPECT_TRUE(ro.WriteAll());
    EXPECT_TRUE(ro.CreateLocalIni());
    ro.LoadSettings("nothing-here.ini");
    EXPECT_TRUE(ro.WriteAll());
    EXPECT_EQ(ro.Vars().GetValue("%COMPANY%"), "Acme");
}

TEST_F(ReadOrder, CircularVariablesLeaveAnEmptyReadOrder) {
    WriteFile(workDir_ + "/zini.ini", "[IniReadOrderVars]\n%COMPANY%=x%COMPANY%\n");
    TIniReadOrder ro;
    ro.LoadSettings("zini.ini");
    EXPECT_EQ(ro.ReadString("U", "S", "K", "dflt"), "dflt");
    ro.WriteString("U", "S", "K", "v");
    EXPECT_FALSE(ro.LastReadOrderError().empty());
    EXPECT_EQ(ro.GetReadOrder("U")->Count(), 0);
    EXPECT_FALSE(fs::exists(registryDir_));
    // Read orders that do not use the broken variable still work.
    ro.WriteString("G", "S", "K", "v");
    EXPECT_EQ(ro.ReadString("G", "S", "K", ""), "v");
}

TEST_F(ReadOrder, HugeVariableInTheSettingsFileIsCut) {
    WriteFile(workDir_ + "/zini.ini",
              "[IniReadOrderVars]\n%SUBKEY%=" + std::string(100000, 's') + "\n");
    TIniReadOrder ro;
    ro.LoadSettings("zini.ini");
    EXPECT_EQ(ro.Vars().GetValue("%SUBKEY%").size(), 2047u);
    ro.WriteString("P", "S", "K", "v");
    EXPECT_EQ(ro.ReadString("P", "S", "K", ""), "v");
    EXPECT_EQ(Elements(ro.GetReadOrder("P"))[0], UserKey() + "\\" + std::string(2047, 's'));
}

TEST_F(ReadOrder, CacheChangesTakeEffectOnTheNextUse) {
    TIniReadOrder ro;
    ro.GetReadOrder("U");
    ro.SetCreateLocalIni(true);
    EXPECT_EQ(ro.ReadOrderCount(), 0);
    EXPECT_EQ(ro.IniList().Count(), 0);
    // A handler that changes a variable in the middle of a write does not pull the read order
    // from under it.
    test::SettingsFixture::WriteFile(workDir_ + "/plain", "x");
    ro.OnWriteError = [&](TIniReadOrder& sender) { sender.Vars().SetValue("%SUBKEY%", "later"); };
    ro.SetWriteAll(true);
    ro.WriteString(workDir_ + "/plain/x.ini;" + workDir_ + "/plain/y.ini;%HKCU%", "S", "K", "v");
    EXPECT_EQ(InUser("S", "K"), "v");
    EXPECT_EQ(ro.ReadOrderCount(), 0);
}

TEST_F(ReadOrder, LongValuesAndDamagedFiles) {
    TIniReadOrder ro;
    const std::string big(100000, 'v');
    ro.WriteString("u", "S", "K", big);
    EXPECT_EQ(ro.ReadString("u", "S", "K", ""), big);
    ro.WriteString("G", "S", "K", big);
    EXPECT_EQ(ro.ReadString("G", "S", "K", ""), big.substr(0, 2047));

    // Junk in an ini file stays where it was when a value is added.
    const std::string junk = "\x01\x02 junk [[[\n=no key\n[S\nK=1\n";
    WriteFile(ProgIni(), junk);
    ro.ClearAll();
    ro.WriteString("G", "T", "K", "2");
    const std::string text = ReadFile(ProgIni());
    EXPECT_EQ(text.rfind(junk, 0), 0u) << text;
    EXPECT_EQ(ro.ReadString("G", "T", "K", ""), "2");

    // A settings file that cannot be read is never replaced.
    fs::remove(ProgIni());
    fs::create_directory(ProgIni());
    ro.ClearAll();
    TScriptedDialogs dialogs({}, DialogButton::Cancel);
    ro.SetDialogs(&dialogs);
    ro.WriteString(ProgIni(), "S", "K", "v");
    EXPECT_EQ(ro.LastErrorMessage(), "Unable to write to " + ProgIni());
    EXPECT_TRUE(fs::is_directory(ProgIni()));
}

TEST_F(ReadOrder, GlobalServiceAndItsFunctions) {
    WriteFile(workDir_ + "/zini.ini", "[IniReadOrderVars]\n%COMPANY%=Acme\n");
    EXPECT_FALSE(GlobalIniReadOrderExists());
    WriteIniString("", "S", "K", "v");
    EXPECT_TRUE(GlobalIniReadOrderExists());
    EXPECT_EQ(ReadIniString("U", "S", "K", ""), "v");
    EXPECT_EQ(TzRegistryIniFile("HKCU\\software\\Acme\\orn").ReadString("S", "K", ""), "v");
    // A new service takes the company from the one it replaces.
    fs::remove(workDir_ + "/zini.ini");
    TIniReadOrder second;
    EXPECT_EQ(second.Vars().GetValue("%COMPANY%"), "Acme");
    InDesignerHost = true;
    EXPECT_EQ(ReadIniString("U", "S", "K", "dflt"), "");
    WriteIniString("U", "S", "K", "changed");
    InDesignerHost = false;
    EXPECT_EQ(ReadIniString("U", "S", "K", ""), "v");
}

}  // namespace
}  // namespace orn
