#include <gtest/gtest.h>

#include "engine/FormCommands.h"
#include "engine_test_support.h"
#include "text/inifile.h"

namespace orn {
namespace {

using testing::AddTestCommands;
using testing::ScriptedView;

class ParamsTest : public testing::TempDirTest {
  protected:
    ParamsTest() : program(&view) {
        AddTestCommands(program, trace);
        program.EditWidth = 150;
        program.EditHeight = 20;
    }
    std::vector<std::string> Visible() const {
        std::vector<std::string> names;
        for (TParam* p : program.VisibleParams()) {
            names.push_back(p->Caption() + "=" + p->Value());
        }
        return names;
    }
    ScriptedView view;
    TParamProgram program;
    std::vector<std::string> trace;
};

TEST_F(ParamsTest, RowsAreCreatedOnceAndFollowTheFileOrder) {
    program.LoadProgram(WriteProgram("p.orn", {"TRACE x"}, "a=1\nb = two \na=again\n =skipped"));
    EXPECT_EQ(Visible(), (std::vector<std::string>{"b=two", "a=1"}));
    EXPECT_EQ(program.Params().size(), 2u);
    EXPECT_EQ(view.events, (std::vector<std::string>{"created a", "created b", "shown a"}));
    EXPECT_EQ(program.Params()[0]->EditWidth(), 150);
    EXPECT_EQ(program.Params()[0]->Height(), 20);

    // Names compare exactly: "A" is another row than "a".
    view.events.clear();
    program.LoadProgram(WriteProgram("q.orn", {"TRACE y"}, "A=big\nb=ignored"));
    EXPECT_EQ(Visible(), (std::vector<std::string>{"A=big", "b=two"}));
    EXPECT_EQ(view.events,
              (std::vector<std::string>{"hidden a", "hidden b", "created A", "shown b"}));
}

TEST_F(ParamsTest, TypedValuesSurviveLoadingOtherPrograms) {
    std::string p1 = WriteProgram("p1.orn", {"TRACE [x]"}, "x=default");
    std::string p2 = WriteProgram("p2.orn", {"TRACE [x]-[z]"}, "z=zed");
    program.LoadProgram(p1);
    program.FindParam("x")->SetValue("typed");
    program.LoadProgram(p2);
    EXPECT_EQ(Visible(), std::vector<std::string>{"z=zed"});
    program.Run();  // the hidden row x still replaces its placeholder
    EXPECT_EQ(trace, std::vector<std::string>{"typed-zed"});
    program.LoadProgram(p1);
    EXPECT_EQ(Visible(), std::vector<std::string>{"x=typed"});
}

TEST_F(ParamsTest, SaveParamsWritesOnlyVisibleRows) {
    std::string p1 = WriteProgram("p1.orn", {"TRACE"}, "x=1");
    std::string p2 = WriteProgram("p2.orn", {"TRACE"}, "y=2\nkeep=3");
    program.LoadProgram(p1);
    program.LoadProgram(p2);
    program.FindParam("y")->SetValue("new y");
    program.SaveParams(p2);
    TProfileFile saved = TProfileFile::Load(p2);
    EXPECT_EQ(saved.ReadString("Params", "y"), "new y");
    EXPECT_EQ(saved.ReadString("Params", "keep"), "3");
    EXPECT_FALSE(saved.Find("Params", "x"));
    EXPECT_EQ(saved.ReadString("Program", "0"), "TRACE");

    std::string target = Path("out.orn");
    program.SaveParams(target);  // a new file gets just the Params section
    EXPECT_EQ(ReadFile(target), "[Params]\ny=new y\nkeep=3\n");
    EXPECT_THROW(program.SaveParams(Path("no/such/dir/p.orn")), TProfileWriteError);
}

TEST_F(ParamsTest, RowsWithoutAViewStillSubstitute) {
    TParamProgram bare;
    std::vector<std::string> seen;
    AddTestCommands(bare, seen);
    bare.LoadProgram(WriteProgram("p.orn", {"TRACE [v]"}, "v=value"));
    bare.Run();
    EXPECT_EQ(seen, std::vector<std::string>{"value"});
}

}  // namespace
}  // namespace orn
