// Tables in directories other people can write: no writer goes through a link planted at a name
// it uses, replaced tables keep their permissions and group, two saves to one new name leave one
// whole table, and the temporaries of a killed writer go away.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "dataset_test_support.h"
#include "dbengine/dataset/answer_table.h"
#include "dbengine/dataset/query.h"
#include "dbengine/storage/restructure.h"
#include "dbengine/storage/table_swap.h"
#include "dbengine/vtab/sql_session.h"
#include "dbengine/vtab/statement_gateway.h"
#include "text/safefile.h"

namespace orn::db {
namespace {

namespace fs = std::filesystem;

const char* const kVictimText = "nothing of ORN's";

std::string contents(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void run(const fs::path& dir, const std::string& sql) {
    SqlSession session(dir);
    auto prepared = prepareDialect(session, sql);
    if (prepared.statement) {
        while (prepared.statement->step()) {
        }
    }
}

void saveAnswer(const fs::path& dir, const std::string& sql, const std::string& name) {
    Query q(dir);
    q.setSql(sql);
    q.open();
    saveAnswerAsTable(q, name);
}

// A keyed Paradox table with a memo field: .db, .px and .mb.
fs::path makeMemoTable(const fs::path& dir, const std::string& name, int rows) {
    TableCreate layout;
    layout.fields = {makeField("Id", FieldType::Long), makeField("Note", FieldType::Memo, 10)};
    layout.keyFields = 1;
    const fs::path file = dir / name;
    auto table = Table::create(file, TableFormat::Paradox, layout);
    table->begin();
    for (int i = 1; i <= rows; ++i)
        table->insert({std::int64_t{i}, std::string(200, char('a' + i % 26))});
    table->commit();
    return file;
}

// Names that only ORN's temporaries have.
std::vector<std::string> tempFiles(const fs::path& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (name.rfind("~orn", 0) == 0 || name.find(".orn-") != std::string::npos)
            out.push_back(name);
    }
    return out;
}

class SharedFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directory(dir_.path() / "outside");
        victim_ = dir_.path() / "outside" / "victim.txt";
        std::ofstream(victim_) << kVictimText;
        table_ = makeMemoTable(dir_.path(), "m.db", 30);
    }
    void link(const std::string& name) {
        std::error_code ec;
        fs::remove(dir_.path() / name, ec);
        fs::create_symlink(victim_, dir_.path() / name, ec);
    }
    // Links to the victim at every name a writer beside m.db or a new table could use: the
    // fixed names of earlier versions, and the next temporary names of this very process.
    void plant(const std::vector<std::string>& tables = {"m.db", "saved.db", "new.db"}) {
        const std::vector<std::string> exts = {".db", ".px", ".mb", ".dbf", ".dbt"};
        for (const auto& t : tables) {
            const std::string stem = fs::path(t).stem().string();
            for (const char* tail : {".orn-journal", ".orn-swap", ".orn-swap~", ".orn-new"})
                link(t + tail);
            for (const auto& ext : exts) {
                link("~orn" + stem + ext);
                link("~orn" + stem + ext + ".orn-new");
                link(stem + ext + ".orn-new");
            }
        }
        const std::string probe = TempFileName("");
        const std::size_t dot = probe.find('.');
        const std::string head = probe.substr(0, dot + 1);  // "~orn<pid>-<host>."
        const int next = std::stoi(probe.substr(dot + 1));
        std::vector<std::string> prefixes;
        for (int k = next + 1; k < next + 4; ++k)
            prefixes.push_back(head + std::to_string(k) + ".");
        for (const auto& p : prefixes) {
            for (const auto& table : tables) {
                const std::string t = p + table;
                for (const char* tail :
                     {".tmp", ".tmp.orn-journal", ".swap", ".new", ".px.new", ".mb.new"}) {
                    link(t + tail);
                }
                for (const auto& ext : exts)
                    link(t + ext);
                for (const auto& q : prefixes) {  // a table built under a temporary name
                    for (const char* tail : {".tmp.new", ".tmp.px.new", ".tmp.mb.new"})
                        link(q + t + tail);
                }
            }
        }
    }
    void expectNothingOutsideChanged(const char* after) {
        EXPECT_EQ(contents(victim_), kVictimText) << "after " << after;
        EXPECT_EQ(readAll(table_).size(), 30u) << "after " << after;
    }
    TempDir dir_;
    fs::path victim_;
    fs::path table_;
};

TEST_F(SharedFolder, NoWriterGoesThroughAPlantedLink) {
    {
        // A link put at the journal's name while the table is open, before the first commit.
        auto t = Table::open(table_, OpenMode::Shared);
        auto c = t->scan();
        ASSERT_TRUE(c->next());
        const RecordId first = c->id();
        plant();
        t->update(first, {std::int64_t{1}, std::string("changed")});
    }
    expectNothingOutsideChanged("UPDATE");
    plant();
    run(dir_.path(), "UPDATE \"m.db\" SET Note = 'again' WHERE Id < 5");
    expectNothingOutsideChanged("SQL UPDATE");

    plant();
    saveAnswer(dir_.path(), "SELECT * FROM \"m.db\"", "saved.db");
    EXPECT_FALSE(fs::is_symlink(dir_.path() / "saved.db"));
    EXPECT_EQ(readAll(dir_.path() / "saved.db").size(), 30u);
    expectNothingOutsideChanged("SAVE to a new name");

    plant();
    saveAnswer(dir_.path(), "SELECT * FROM \"m.db\"", "m.db");
    expectNothingOutsideChanged("SAVE over the table");

    plant();
    FieldChange wider;
    wider.length = 20;
    restructureField(table_, "Note", wider);
    expectNothingOutsideChanged("CHANGE");

    plant();
    addPrimaryIndex(table_, {"Id"});
    expectNothingOutsideChanged("INDEX");

    plant();
    run(dir_.path(), "ALTER TABLE \"m.db\" ADD Z CHAR(2)");
    expectNothingOutsideChanged("ALTER");

    plant();
    run(dir_.path(), "CREATE TABLE \"new.db\" (A CHAR(10), B BLOB(10, 1), PRIMARY KEY (A))");
    EXPECT_EQ(contents(victim_), kVictimText) << "after CREATE TABLE";
    EXPECT_TRUE(readAll(dir_.path() / "new.db").empty());
}

TEST_F(SharedFolder, NoDbaseWriterGoesThroughAPlantedLink) {
    TableCreate layout;
    layout.fields = {makeField("ID", FieldType::Number, 10, 0),
                     makeField("NOTE", FieldType::Memo, 10)};
    const fs::path d = dir_.path() / "d.dbf";
    {
        auto t = Table::create(d, TableFormat::DBase, layout);
        t->begin();
        for (int i = 1; i <= 20; ++i)
            t->insert({double(i), std::string(100, char('a' + i % 26))});
        t->commit();
    }
    const std::vector<std::string> names = {"d.dbf", "sd.dbf", "nd.dbf"};
    auto untouched = [&](const char* after) {
        EXPECT_EQ(contents(victim_), kVictimText) << "after " << after;
        EXPECT_EQ(readAll(d).size(), 20u) << "after " << after;
    };
    plant(names);
    run(dir_.path(), "UPDATE \"d.dbf\" SET NOTE = 'changed' WHERE ID < 5");
    untouched("UPDATE");
    plant(names);
    saveAnswer(dir_.path(), "SELECT * FROM \"d.dbf\"", "sd.dbf");
    EXPECT_EQ(readAll(dir_.path() / "sd.dbf").size(), 20u);
    untouched("SAVE to a new name");
    plant(names);
    saveAnswer(dir_.path(), "SELECT * FROM \"d.dbf\"", "d.dbf");
    untouched("SAVE over the table");
    plant(names);
    FieldChange wider;
    wider.length = 12;
    restructureField(d, "ID", wider);
    untouched("CHANGE");
    plant(names);
    run(dir_.path(), "ALTER TABLE \"d.dbf\" ADD Z CHAR(2)");
    untouched("ALTER");
    plant(names);
    run(dir_.path(), "CREATE TABLE \"nd.dbf\" (A CHAR(10), B BLOB(10, 1))");
    EXPECT_EQ(contents(victim_), kVictimText) << "after CREATE TABLE";
    EXPECT_TRUE(readAll(dir_.path() / "nd.dbf").empty());
}

// A crashed writer's journal or swap record is never read through a link, and a record that
// names files outside the table's directory moves nothing.
TEST_F(SharedFolder, LeftoversOfACrashAreNotFollowed) {
    const std::string forged = "R\t" + victim_.string() + "\t" + (dir_.path() / "x").string() +
                               "\nD\t" + victim_.string() + "\nEND\n";
    const fs::path record = dir_.path() / "m.db.orn-swap";
    std::ofstream(record) << forged;
    EXPECT_EQ(readAll(table_).size(), 30u);
    EXPECT_EQ(contents(victim_), kVictimText);
    EXPECT_FALSE(fs::exists(record));

    const fs::path elsewhere = dir_.path() / "outside" / "record";
    std::ofstream(elsewhere) << "R\t" + (dir_.path() / "m.db").string() + "\t" + victim_.string() +
                                    "\nEND\n";
    fs::create_symlink(elsewhere, record);
    EXPECT_EQ(readAll(table_).size(), 30u);
    EXPECT_EQ(contents(victim_), kVictimText);
    EXPECT_FALSE(fs::exists(fs::symlink_status(record)));
}

// Each replacement keeps the old files' permissions and group; a group of the user's other than
// the directory's, when the user has one, shows the group is really carried over.
TEST_F(SharedFolder, ReplacedTablesKeepTheirPermissionsAndGroup) {
    gid_t groups[64];
    const int n = getgroups(64, groups);
    struct stat dirStat {};
    ASSERT_EQ(stat(dir_.path().c_str(), &dirStat), 0);
    gid_t team = dirStat.st_gid;
    for (int i = 0; i < n; ++i) {
        if (groups[i] != dirStat.st_gid)
            team = groups[i];
    }
    if (geteuid() == 0)
        team = dirStat.st_gid + 4242;  // any group will do for root
    if (team == dirStat.st_gid)
        std::cerr << "[ note ] the user has one group only: the mode is checked, the group "
                     "trivially\n";
    for (const char* name : {"m.db", "m.px", "m.mb"}) {
        ASSERT_EQ(chown((dir_.path() / name).c_str(), static_cast<uid_t>(-1), team), 0);
        ASSERT_EQ(chmod((dir_.path() / name).c_str(), 0664), 0);
    }
    auto expectKept = [&](const char* after) {
        for (const char* name : {"m.db", "m.px", "m.mb"}) {
            struct stat st {};
            if (std::string(name) == "m.px" && std::string(after) == "SAVE over the table")
                continue;  // an answer has no key
            ASSERT_EQ(stat((dir_.path() / name).c_str(), &st), 0) << name;
            EXPECT_EQ(st.st_mode & 07777, 0664u) << name << " after " << after;
            EXPECT_EQ(st.st_gid, team) << name << " after " << after;
        }
    };
    const mode_t mask = umask(022);  // a user whose new files are 644
    FieldChange wider;
    wider.length = 20;
    restructureField(table_, "Note", wider);
    expectKept("CHANGE");
    addPrimaryIndex(table_, {"Id"});
    expectKept("INDEX");
    run(dir_.path(), "ALTER TABLE \"m.db\" ADD Z CHAR(2)");
    expectKept("ALTER");
    saveAnswer(dir_.path(), "SELECT Id, Note FROM \"m.db\"", "m.db");
    expectKept("SAVE over the table");
    umask(mask);
}

// A new table gets what any file made there gets: the umask's mode and, in a set-group-id
// directory, the directory's group.
TEST_F(SharedFolder, NewTablesGetWhatTheDirectoryGives) {
    const fs::path team = dir_.path() / "team";
    fs::create_directory(team);
    ASSERT_EQ(chmod(team.c_str(), 02775), 0);
    struct stat dirStat {};
    ASSERT_EQ(stat(team.c_str(), &dirStat), 0);
    if ((dirStat.st_mode & S_ISGID) == 0)
        GTEST_SKIP() << "this file system does not let the user make a set-group-id directory";
    makeMemoTable(team, "src.db", 5);
    const mode_t mask = umask(002);
    saveAnswer(team, "SELECT * FROM \"src.db\"", "copy.db");
    umask(mask);
    for (const char* name : {"copy.db", "copy.mb"}) {
        struct stat st {};
        ASSERT_EQ(stat((team / name).c_str(), &st), 0) << name;
        EXPECT_EQ(st.st_gid, dirStat.st_gid) << name;
        EXPECT_EQ(st.st_mode & 0777, 0664u) << name;
    }
}

// The user's own link to a table elsewhere: the table is changed where it lives and the link
// stays a link. Someone else's link is not followed (needs a second user: checked by the unit).
TEST_F(SharedFolder, AUsersOwnLinkToATableChangesItsTarget) {
    const fs::path home = dir_.path() / "outside";
    const fs::path real = makeMemoTable(home, "real.db", 7);
    fs::create_symlink(real, dir_.path() / "alias.db");
    fs::create_symlink(home / "real.px", dir_.path() / "alias.px");
    fs::create_symlink(home / "real.mb", dir_.path() / "alias.mb");
    run(dir_.path(), "ALTER TABLE \"alias.db\" ADD Z CHAR(2)");
    saveAnswer(dir_.path(), "SELECT * FROM \"m.db\" WHERE Id < 4", "alias.db");
    for (const char* name : {"alias.db", "alias.px", "alias.mb"})
        EXPECT_TRUE(fs::is_symlink(dir_.path() / name)) << name;
    EXPECT_EQ(readAll(real).size(), 3u);
    EXPECT_EQ(readAll(dir_.path() / "alias.db").size(), 3u);
    EXPECT_TRUE(tempFiles(dir_.path()).empty());
    EXPECT_TRUE(tempFiles(home).empty());
}

// A link someone else put at a table's name in a shared directory: the table is read through it
// but never written (needs root to make another user's link).
TEST_F(SharedFolder, SomeoneElsesLinkToATableIsNeverWrittenThrough) {
    if (geteuid() != 0)
        GTEST_SKIP() << "making another user's link needs root";
    const fs::path team = dir_.path() / "team";
    fs::create_directory(team);
    ASSERT_EQ(chown(team.c_str(), 4242, 4242), 0);
    ASSERT_EQ(chmod(team.c_str(), 01777), 0);
    const fs::path mine = makeMemoTable(dir_.path() / "outside", "mine.db", 4);
    for (const char* ext : {".db", ".px", ".mb"}) {
        const fs::path link = team / (std::string("their") + ext);
        fs::create_symlink(dir_.path() / "outside" / (std::string("mine") + ext), link);
        ASSERT_EQ(lchown(link.c_str(), 4343, 4343), 0);
    }
    EXPECT_EQ(readAll(team / "their.db").size(), 4u);
    auto refused = [](const std::function<void()>& write, const std::string& why) {
        try {
            write();
            ADD_FAILURE() << "written through someone else's link";
        } catch (const EngineError& e) {
            EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
        }
    };
    {
        auto t = Table::open(team / "their.db", OpenMode::Shared);
        refused([&] { t->insert({std::int64_t{9}, std::string("x")}); }, "read-only");
    }
    refused([&] { run(team, "ALTER TABLE \"their.db\" ADD Z CHAR(2)"); }, "another user");
    refused(
        [&] { saveAnswer(dir_.path(), "SELECT * FROM \"m.db\"", (team / "their.db").string()); },
        "another user");
    EXPECT_EQ(readAll(mine).size(), 4u);
    EXPECT_EQ(Table::open(mine, OpenMode::ReadOnly)->fields().size(), 2u);
    for (const char* ext : {".db", ".px", ".mb"})
        EXPECT_TRUE(fs::is_symlink(team / (std::string("their") + ext))) << ext;
}

// Two processes save to one new name at once: one table stays, whole, memos and all; the other
// process is told (or, when it came second, replaced the table whole), and no temporary is left.
TEST_F(SharedFolder, TwoSavesToOneNewNameLeaveOneWholeTable) {
    makeMemoTable(dir_.path(), "b.db", 40);
    for (int round = 0; round < 4; ++round) {
        std::error_code ec;
        for (const char* name : {"new.db", "new.px", "new.mb"})
            fs::remove(dir_.path() / name, ec);
        int go[2];
        ASSERT_EQ(pipe(go), 0);
        pid_t children[2];
        for (int i = 0; i < 2; ++i) {
            children[i] = fork();
            if (children[i] == 0) {
                close(go[1]);
                char c = 0;
                (void)!read(go[0], &c, 1);
                int status = 0;
                try {
                    saveAnswer(dir_.path(),
                               i == 0 ? "SELECT * FROM \"m.db\"" : "SELECT * FROM \"b.db\"",
                               "new.db");
                } catch (const EngineError& e) {
                    const std::string what = e.what();
                    const bool told =
                        what.find("created a table of that name meanwhile") != std::string::npos ||
                        what.find("in use") != std::string::npos ||
                        what.find("being replaced by another process") != std::string::npos;
                    if (!told)
                        std::fprintf(stderr, "%s\n", e.what());
                    status = told ? 2 : 1;
                }
                _exit(status);
            }
        }
        close(go[0]);
        close(go[1]);  // both start
        int wins = 0;
        for (pid_t pid : children) {
            int status = -1;
            ASSERT_EQ(waitpid(pid, &status, 0), pid);
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 1);
            wins += WEXITSTATUS(status) == 0 ? 1 : 0;
        }
        // Both win when one finished before the other looked: it then replaced the table whole.
        EXPECT_GE(wins, 1) << "round " << round;
        const auto rows = readAll(dir_.path() / "new.db");  // opens whole, memos included
        ASSERT_TRUE(rows.size() == 30u || rows.size() == 40u) << rows.size();
        for (const auto& r : rows)
            EXPECT_EQ(std::get<std::string>(r[1]).size(), 200u);
        EXPECT_TRUE(tempFiles(dir_.path()).empty()) << "round " << round;
    }
}

// A writer killed half-way through building a table leaves its temporaries; the next open of a
// table in that directory removes them, and leaves those of writers still at work.
TEST_F(SharedFolder, TemporariesOfAKilledWriterAreRemovedByTheNextOpen) {
    int built[2];
    ASSERT_EQ(pipe(built), 0);
    const pid_t child = fork();
    if (child == 0) {
        const fs::path temp = swapTempPath(table_);
        TableCreate layout;
        layout.fields = {makeField("Id", FieldType::Long), makeField("Note", FieldType::Memo, 10)};
        layout.keyFields = 1;
        auto t = Table::create(temp, TableFormat::Paradox, layout);
        t->begin();
        t->insert({std::int64_t{1}, std::string(300, 'x')});
        t->commit();
        t->begin();
        t->insert({std::int64_t{2}, std::string(300, 'y')});
        (void)!write(built[1], "x", 1);
        pause();  // killed here
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(built[0], &c, 1), 1);
    close(built[0]);
    close(built[1]);
    const std::string mark = "~orn" + std::to_string(child) + "-";
    auto leftOfChild = [&] {
        int n = 0;
        for (const auto& name : tempFiles(dir_.path()))
            n += name.rfind(mark, 0) == 0 ? 1 : 0;
        return n;
    };
    const fs::path mine = swapTempPath(table_);  // this process still runs
    std::ofstream(mine) << "x";
    Table::open(table_, OpenMode::ReadOnly);  // its writer still runs: nothing is removed
    EXPECT_GE(leftOfChild(), 3);
    kill(child, SIGKILL);  // the directory does not change by that
    int status = -1;
    waitpid(child, &status, 0);
    ASSERT_GE(leftOfChild(), 3);  // .tmp, .px, .mb
    for (const auto& name : tempFiles(dir_.path())) {
        const std::string lower = name.substr(name.size() - 4);
        EXPECT_NE(lower, ".dbf") << name;
        EXPECT_NE(name.substr(name.size() - 3), ".db") << name;
    }
    Table::open(table_, OpenMode::ReadOnly);
    EXPECT_EQ(leftOfChild(), 0);
    EXPECT_TRUE(fs::exists(mine));
    fs::remove(mine);
}

}  // namespace
}  // namespace orn::db
