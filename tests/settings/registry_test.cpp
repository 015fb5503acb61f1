#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "settings/GetRegRoot.h"
#include "settings/RegistryRoot.h"
#include "settings/zRegistryIniFile.h"
#include "settings_fixture.h"

namespace orn {
namespace {

namespace fs = std::filesystem;
using test::SettingsFixture;
using namespace std::string_literals;

TEST(GetRegRoot, RootNamesAreExactAndShortenThePath) {
    struct Case {
        const char* in;
        TRegRoot root;
        const char* rest;
    };
    const Case cases[] = {
        {"HKEY_LOCAL_MACHINE\\software\\x", TRegRoot::LocalMachine, "software\\x"},
        {"HKLM\\a", TRegRoot::LocalMachine, "a"},
        {"Machine\\a", TRegRoot::LocalMachine, "a"},
        {"HKCR\\a", TRegRoot::ClassesRoot, "a"},
        {"HKCC\\a", TRegRoot::CurrentConfig, "a"},
        {"HKDD\\a", TRegRoot::DynData, "a"},
        {"Users\\a", TRegRoot::Users, "a"},
        {"User\\a", TRegRoot::CurrentUser, "a"},
        // No "\" at all: a key of that name below the current user.
        {"HKEY_USERS", TRegRoot::CurrentUser, "HKEY_USERS"},
        {"\\HKEY_USERS\\x", TRegRoot::Users, "x"},
        // Names compare with letter case.
        {"hkcu\\a", TRegRoot::CurrentUser, "hkcu\\a"},
        {"machine\\a", TRegRoot::CurrentUser, "machine\\a"},
        {"HKEY_CURRENT_USER\\", TRegRoot::CurrentUser, ""},
    };
    for (const auto& c : cases) {
        std::string path = c.in;
        EXPECT_EQ(GetRegRoot(path), c.root) << c.in;
        EXPECT_EQ(path, c.rest) << c.in;
    }
    EXPECT_STREQ(RegRootName(TRegRoot::DynData), "HKEY_DYN_DATA");
}

class RegistryStore : public SettingsFixture {};

TEST_F(RegistryStore, OpensWithoutCreatingAndCreatesOnFirstWrite) {
    TzRegistryIniFile store("HKEY_CURRENT_USER\\software\\Tarm\\orn");
    EXPECT_EQ(store.RootKey(), TRegRoot::CurrentUser);
    EXPECT_EQ(store.KeyPath(), "software\\Tarm\\orn");
    EXPECT_FALSE(store.KeyOpened());
    EXPECT_EQ(store.ReadString("Pos", "FormQuery", "dflt"), "dflt");
    EXPECT_FALSE(fs::exists(UserRootFile()));

    store.WriteString("Pos", "FormQuery", "120,80,640,480");
    EXPECT_TRUE(store.KeyOpened());
    EXPECT_TRUE(store.WriteOpened());
    EXPECT_EQ(store.ReadString("Pos", "FormQuery", ""), "120,80,640,480");

    // A second store (a later run) sees the key; names ignore letter case.
    TzRegistryIniFile again("HKCU\\SOFTWARE\\tarm\\ORN");
    EXPECT_TRUE(again.KeyOpened());
    EXPECT_EQ(again.ReadString("pos", "formquery", ""), "120,80,640,480");
    const std::string text = ReadFile(UserRootFile());
    EXPECT_NE(text.find("[software\\Tarm\\orn\\Pos]\n\"FormQuery\"=\"120,80,640,480\""),
              std::string::npos)
        << text;
}

TEST_F(RegistryStore, ValuesOfAnyContentSurviveTheTextFile) {
    const std::string tricky = "a \"quoted\" C:\\path\r\nnext\tline \x01 \xC2\xA7 ]=[";
    const std::string big(100000, 'x');
    {
        TzRegistryIniFile store("HKCU\\software\\t");
        store.WriteString("S", "tricky", tricky);
        store.WriteString("S", "name with \"=\" sign", "v");
        store.WriteString("S", "empty", "");
        store.WriteString("S", "big", big);
        store.WriteString("Nested\\Deeper", "k", "deep");
    }
    TzRegistryIniFile store("HKCU\\software\\t");
    EXPECT_EQ(store.ReadString("S", "tricky", ""), tricky);
    EXPECT_EQ(store.ReadString("S", "name with \"=\" sign", ""), "v");
    EXPECT_EQ(store.ReadString("S", "empty", "dflt"), "");
    EXPECT_EQ(store.ReadString("S", "big", ""), big);
    EXPECT_EQ(store.ReadString("Nested\\Deeper", "k", ""), "deep");
    TzRegistryIniFile nested("HKCU\\software\\t\\Nested");
    EXPECT_EQ(nested.ReadString("Deeper", "k", ""), "deep");
    // One value per line: the file stays readable and line based.
    const std::string text = ReadFile(UserRootFile());
    EXPECT_EQ(text.find("\nnext"), std::string::npos);
    const auto values = store.ReadSectionValues("S");
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(values[0].first, "tricky");
    EXPECT_EQ(values[3].second, big);
}

TEST_F(RegistryStore, NonStringValueIsAnInvalidDataType) {
    WriteFile(UserRootFile(), "[k]\n\"num\"=dword:00000001\n\"s\"=\"ok\"\n");
    TzRegistryIniFile store("HKCU\\k");
    EXPECT_EQ(store.ReadString("", "s", ""), "ok");
    try {
        store.ReadString("", "num", "");
        FAIL() << "expected a store error";
    } catch (const EStoreError& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'num'");
    }
    // Overwriting it with a string is allowed; other lines stay as written.
    store.WriteString("x", "s2", "v");
    EXPECT_NE(ReadFile(UserRootFile()).find("\"num\"=dword:00000001"), std::string::npos);
}

TEST_F(RegistryStore, ReadOnlyRootCountsAsNotOpened) {
    WriteFile(UserRootFile(), "[k\\S]\n\"a\"=\"1\"\n");
    ::chmod(UserRootFile().c_str(), 0444);
    const std::string before = ReadFile(UserRootFile());
    TzRegistryIniFile store("HKCU\\k");
    EXPECT_FALSE(store.KeyOpened());
    EXPECT_EQ(store.ReadString("S", "a", "none"), "none");
    EXPECT_NO_THROW(store.WriteString("S", "a", "2"));
    EXPECT_FALSE(store.WriteOpened());
    EXPECT_EQ(ReadFile(UserRootFile()), before);
}

TEST_F(RegistryStore, UncreatableFolderDropsTheWriteSilently) {
    WriteFile(root_ + "/plainfile", "x");
    ::setenv("ORN_REGISTRY_DIR", (root_ + "/plainfile/registry").c_str(), 1);
    TzRegistryIniFile store("HKCU\\k");
    EXPECT_NO_THROW(store.WriteString("S", "a", "1"));
    EXPECT_FALSE(store.KeyOpened());
    EXPECT_EQ(store.ReadString("S", "a", "none"), "none");
}

TEST_F(RegistryStore, ReadOnlyFolderDropsTheWriteSilently) {
    fs::create_directories(registryDir_);
    fs::permissions(registryDir_, fs::perms::owner_read | fs::perms::owner_exec);
    TzRegistryIniFile store("HKCU\\k");
    EXPECT_NO_THROW(store.WriteString("S", "a", "1"));
    EXPECT_FALSE(store.WriteOpened());
    EXPECT_TRUE(fs::is_empty(registryDir_));
}

TEST_F(RegistryStore, GivenRootOverridesTheOneInThePath) {
    TzRegistryIniFile store("HKLM\\x\\y", TRegRoot::Users);
    EXPECT_EQ(store.RootKey(), TRegRoot::Users);
    EXPECT_EQ(store.KeyPath(), "x\\y");
    store.WriteString("S", "a", "1");
    EXPECT_TRUE(fs::exists(registryDir_ + "/HKEY_USERS.reg"));
    EXPECT_FALSE(fs::exists(MachineRootFile()));
}

TEST_F(RegistryStore, FailedDiskWriteRaisesAndKeepsTheOldFile) {
    TzRegistryIniFile store("HKCU\\k");
    store.WriteString("S", "a", "1");
    const std::string before = ReadFile(UserRootFile());

    // A file size limit makes the write of the temporary file fail part way.
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &small);
    std::string message;
    try {
        store.WriteString("S", "big", std::string(100000, 'y'));
    } catch (const EStoreError& e) {
        message = e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_EQ(message, "Failed to set data for 'big'");
    EXPECT_EQ(ReadFile(UserRootFile()), before);
    EXPECT_EQ(store.ReadString("S", "big", "absent"), "absent");
    EXPECT_EQ(store.ReadString("S", "a", ""), "1");
    for (const auto& entry : fs::directory_iterator(registryDir_)) {
        EXPECT_EQ(entry.path().extension(),
                  entry.path().filename() == "HKEY_CURRENT_USER.reg" ? ".reg" : ".lock")
            << "left behind: " << entry.path();
    }
}

TEST_F(RegistryStore, DamagedFileIsReadAsFarAsPossibleAndNeverTruncated) {
    const std::string damaged =
        "[k\\S]\n"
        "\"good\"=\"1\"\n"
        "garbage line without structure\n"
        "\"cut\"=\"unterminated value\n"
        "\"bad escape\"=\"\\q\"\n"
        "\x00\x01\xFF binary\n"
        "[k\\T]\n"
        "\"other\"=\"2\"\n"
        "\"trunc"s;
    WriteFile(UserRootFile(), damaged);
    {
        TzRegistryIniFile store("HKCU\\k");
        EXPECT_TRUE(store.KeyOpened());
        EXPECT_EQ(store.ReadString("S", "good", ""), "1");
        EXPECT_EQ(store.ReadString("T", "other", ""), "2");
        EXPECT_EQ(store.ReadString("S", "cut", "none"), "none");
        store.WriteString("S", "new", "3");
    }
    const std::string text = ReadFile(UserRootFile());
    for (const char* kept : {"garbage line without structure", "\"cut\"=\"unterminated value",
                             "\"bad escape\"=\"\\q\"", "\"trunc"}) {
        EXPECT_NE(text.find(kept), std::string::npos) << kept;
    }
    EXPECT_NE(text.find("\x00\x01\xFF binary"s), std::string::npos);
    TzRegistryIniFile reread("HKCU\\k");
    EXPECT_EQ(reread.ReadString("S", "new", ""), "3");
    EXPECT_EQ(reread.ReadString("S", "good", ""), "1");
}

TEST_F(RegistryStore, ADamagedFileIsRefusedWithAMessageAndNeverRewritten) {
    std::string deep = "[k\\S]\n\"good\"=\"1\"\n[k";
    for (int i = 0; i < 50000; ++i)
        deep += "\\a";
    deep += "]\n";
    WriteFile(UserRootFile(), deep);
    {
        TzRegistryIniFile store("HKCU\\k");
        EXPECT_FALSE(store.KeyOpened());
        EXPECT_EQ(store.ReadString("S", "good", "none"), "none");
        try {
            store.WriteString("S", "new", "3");
            FAIL() << "a write to a damaged file succeeded";
        } catch (const EStoreError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Failed to create key k: the settings file " + UserRootFile() +
                          " is damaged (line 3: a key is nested more than 512 levels deep); it "
                          "is left as it is");
        }
    }
    EXPECT_EQ(ReadFile(UserRootFile()), deep);
    // A key that exists and a value write: refused the same way.
    WriteFile(UserRootFile(), "[k]\n\"a\"=\"1\"\n");
    TzRegistryIniFile store("HKCU\\k");
    EXPECT_EQ(store.ReadString("", "a", ""), "1");
    WriteFile(UserRootFile(), "[k]\n\"a\"=\"1\"\n" + deep);
    EXPECT_THROW(store.WriteString("", "b", "2"), EStoreError);
    EXPECT_EQ(ReadFile(UserRootFile()), "[k]\n\"a\"=\"1\"\n" + deep);
}

TEST_F(RegistryStore, SymbolicLinkToTheRootFileSurvivesWrites) {
    const std::string real = root_ + "/dotfiles/user.reg";
    WriteFile(real, "[k]\n\"a\"=\"1\"\n");
    fs::create_directories(registryDir_);
    fs::create_symlink(real, UserRootFile());
    TzRegistryIniFile store("HKCU\\k");
    EXPECT_EQ(store.ReadString("", "a", ""), "1");
    store.WriteString("", "b", "2");
    EXPECT_TRUE(fs::is_symlink(UserRootFile()));
    EXPECT_NE(ReadFile(real).find("\"b\"=\"2\""), std::string::npos);
    EXPECT_EQ(TzRegistryIniFile("HKCU\\k").ReadString("", "b", ""), "2");
}

// Someone else's links at the root file's and its lock's names in a shared directory are never
// written through (making another user's link needs root).
TEST_F(RegistryStore, SomeoneElsesLinkAtTheRootFileIsNotWrittenThrough) {
    if (geteuid() != 0)
        GTEST_SKIP() << "making another user's link needs root";
    const std::string victim = root_ + "/victim.txt";
    WriteFile(victim, "victim");
    fs::create_directories(registryDir_);
    ASSERT_EQ(chmod(registryDir_.c_str(), 01777), 0);
    for (const std::string& name : {UserRootFile(), UserRootFile() + ".lock"}) {
        fs::remove(name);
        fs::create_symlink(victim, name);
        ASSERT_EQ(lchown(name.c_str(), 4343, 4343), 0);
        try {
            TzRegistryIniFile("HKCU\\k").WriteString("", "b", "2");
        } catch (const std::exception&) {
            // refused: what matters is where nothing went
        }
        EXPECT_EQ(ReadFile(victim), "victim") << name;
        EXPECT_TRUE(fs::is_symlink(name));
        fs::remove(name);
    }
}

TEST_F(RegistryStore, StaleWriterMergesInsteadOfOverwriting) {
    const std::string file = UserRootFile();
    TRegistryRootFile a(file);
    TRegistryRootFile b(file);
    ASSERT_TRUE(a.CreateKey("k"));
    EXPECT_TRUE(b.KeyExists("k"));  // b has read the file now
    a.WriteValue("k", "fromA", "1");
    b.WriteValue("k", "fromB", "2");  // b's copy predates a's write
    a.WriteValue("k", "fromA2", "3");
    TRegistryRootFile c(file);
    EXPECT_EQ(c.ReadValue("k", "fromA"), "1");
    EXPECT_EQ(c.ReadValue("k", "fromB"), "2");
    EXPECT_EQ(c.ReadValue("k", "fromA2"), "3");
    // Reads follow writes made elsewhere.
    EXPECT_EQ(b.ReadValue("k", "fromA2"), "3");
}

TEST_F(RegistryStore, TwoProcessesWritingTheSameRootKeepAllKeys) {
    constexpr int kPerProcess = 25;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    const char* who = child == 0 ? "child" : "parent";
    {
        TzRegistryIniFile store("HKCU\\software\\race");
        for (int i = 0; i < kPerProcess; ++i) {
            store.WriteString(who, "k" + std::to_string(i), std::to_string(i));
        }
    }
    if (child == 0) {
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    TzRegistryIniFile store("HKCU\\software\\race");
    for (const char* section : {"child", "parent"}) {
        EXPECT_EQ(store.ReadSectionValues(section).size(), static_cast<std::size_t>(kPerProcess))
            << section;
    }
}

TEST_F(RegistryStore, EmptyKeyExistsAfterCreation) {
    TRegistryRootFile file(MachineRootFile());
    EXPECT_FALSE(file.KeyExists("software\\empty"));
    ASSERT_TRUE(file.CreateKey("software\\empty"));
    TRegistryRootFile reread(MachineRootFile());
    EXPECT_TRUE(reread.KeyExists("software\\empty"));
    EXPECT_TRUE(reread.KeyExists("software"));
    EXPECT_FALSE(reread.KeyExists("software\\other"));
    EXPECT_FALSE(file.CreateKey("bad\x01name"));
}

TEST_F(RegistryStore, RootsLiveInTheConfiguredFolderAndDefaultToConfigDirs) {
    EXPECT_EQ(RegistryRootFileName(TRegRoot::LocalMachine), MachineRootFile());
    ::unsetenv("ORN_REGISTRY_DIR");
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    ::setenv("ORN_MACHINE_REGISTRY_DIR", "/machine", 1);
    EXPECT_EQ(RegistryRootFileName(TRegRoot::CurrentUser),
              "/cfg/orn/registry/HKEY_CURRENT_USER.reg");
    EXPECT_EQ(RegistryRootFileName(TRegRoot::Users), "/machine/HKEY_USERS.reg");
    ::unsetenv("ORN_MACHINE_REGISTRY_DIR");
    EXPECT_EQ(RegistryRootFileName(TRegRoot::LocalMachine),
              "/etc/orn/registry/HKEY_LOCAL_MACHINE.reg");
    ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace orn
