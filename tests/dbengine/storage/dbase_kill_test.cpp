#include <gtest/gtest.h>

#include "dbengine/storage/table.h"
#include "kill_test_harness.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

Field field(const std::string& name, FieldType type, int size = 0) {
    Field f;
    f.name = name;
    f.type = type;
    f.size = size;
    return f;
}

testing::KillTestSubject dbaseSubject(int version) {
    testing::KillTestSubject s;
    s.createEmpty = [version](const std::filesystem::path& file) {
        TableCreate layout;
        layout.version = version;
        layout.fields = {field("SEQ", FieldType::Number, 10), field("BATCH", FieldType::Number, 10),
                         field("NAME", FieldType::Alpha, 30), field("NOTE", FieldType::Memo)};
        Table::create(file, TableFormat::DBase, layout);
    };
    s.makeRecord = [](std::int64_t seq, std::int64_t batch) {
        std::string note;
        for (std::int64_t i = 0; i < (seq + batch) % 40; ++i)
            note += "memo " + std::to_string(seq) + " ";
        return Record{seq, batch, "name " + std::to_string(seq),
                      note.empty() ? Value{} : Value{note}};
    };
    s.seqOf = [](const Record& r) { return std::get<std::int64_t>(r[0]); };
    return s;
}

TEST(DBaseKill, KilledWritersLeaveWholeTransactionsOnly) {
    testing::TempDir dir;
    auto written = testing::runKillTest(dir / "kill.dbf", dbaseSubject(4), 20, 1234);
    EXPECT_GT(written, 0) << "the writer never committed anything";
}

TEST(DBaseKill, FoxProMemoFilesSurviveKillsToo) {
    testing::TempDir dir;
    auto written = testing::runKillTest(dir / "kill.dbf", dbaseSubject(0xF5), 12, 99);
    EXPECT_GT(written, 0);
}

}  // namespace
}  // namespace orn::db
