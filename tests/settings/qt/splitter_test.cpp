#include <gtest/gtest.h>

#include <QTest>
#include <memory>

#include "qt_fixture.h"
#include "settings/qt/savepos.h"
#include "settings/qt/zsplitter.h"

namespace orn {
namespace {

using test::TestForm;

// A form laid out by edge alignment: the neighbour on the splitter's edge, the splitter, and a
// client control filling the rest.
struct SplitForm {
    std::unique_ptr<TestForm> form = std::make_unique<TestForm>("FormQuery");
    TSavePos* keeper = nullptr;
    QWidget* neighbour = nullptr;
    TzSplitter* splitter = nullptr;
    QWidget* client = nullptr;
};

class SplitterTest : public test::QtSettingsFixture {
  protected:
    static SplitForm Build(TAlign align, QSize size = {600, 400}, bool withKeeper = false) {
        SplitForm f;
        f.form->resize(size);
        if (withKeeper) {
            f.keeper = new TSavePos(f.form.get());
            f.keeper->Enabled = false;
        }
        auto* layout = new TzAlignLayout(f.form.get());
        f.neighbour = new QWidget(f.form.get());
        f.neighbour->resize(150, 100);
        layout->AddWidget(f.neighbour, align);
        f.splitter = new TzSplitter(f.form.get(), align);
        f.splitter->setObjectName("SplitterGrid");
        layout->AddWidget(f.splitter, align);
        f.client = new QWidget(f.form.get());
        layout->AddWidget(f.client, TAlign::Client);
        layout->Realign();
        return f;
    }
};

TEST_F(SplitterTest, LayoutPlacesControlsAtTheirEdges) {
    SplitForm f = Build(TAlign::Bottom);
    EXPECT_EQ(f.neighbour->geometry(), QRect(0, 300, 600, 100));
    EXPECT_EQ(f.splitter->geometry(), QRect(0, 297, 600, 3));
    EXPECT_EQ(f.client->geometry(), QRect(0, 0, 600, 297));
    EXPECT_EQ(f.splitter->FindNeighbour(), f.neighbour);
    EXPECT_EQ(f.splitter->GetPosText(), "600,103");  // distances from the far edges
    SplitForm l = Build(TAlign::Left);
    EXPECT_EQ(l.splitter->geometry(), QRect(150, 0, 3, 400));
    EXPECT_EQ(l.splitter->GetPosText(), "150,0");
}

TEST_F(SplitterTest, BottomSplitterIsRestoredFromTheFarEdge) {
    StoreInUser("FormQuery-Params", "SplitterGrid", "100,150");
    SplitForm f = Build(TAlign::Bottom);
    f.form->FormLoaded();
    EXPECT_EQ(f.splitter->y(), 250);
    EXPECT_EQ(f.neighbour->geometry(), QRect(0, 253, 600, 147));
    EXPECT_EQ(f.client->height(), 250);
    EXPECT_TRUE(Writes().empty());
}

TEST_F(SplitterTest, NeighbourNeverShrinksBelowMinSize) {
    StoreInUser("FormQuery-Params", "SplitterGrid", "0,20");
    SplitForm f = Build(TAlign::Bottom);
    f.form->FormLoaded();
    EXPECT_EQ(f.neighbour->height(), 30);
    f.splitter->MinSize = 50;
    f.splitter->MoveTo(0, 0);  // a top-aligned move would grow it; here it asks for 397
    EXPECT_EQ(f.neighbour->height(), 397);
    f.splitter->MoveTo(0, 390);
    EXPECT_EQ(f.neighbour->height(), 50);

    SplitForm t = Build(TAlign::Top);
    t.splitter->MoveTo(0, 5);
    EXPECT_EQ(t.neighbour->height(), 30);
    EXPECT_EQ(t.splitter->y(), 30);
}

TEST_F(SplitterTest, PositionFollowsTheNearOrFarEdgeInAnotherWindowSize) {
    {
        SplitForm bottom = Build(TAlign::Bottom);
        bottom.splitter->setObjectName("SplitterBottom");
        bottom.form->FormLoaded();
        bottom.splitter->MoveTo(0, 250);
        SplitForm left = Build(TAlign::Left);
        left.splitter->setObjectName("SplitterLeft");
        left.form->FormLoaded();
        left.splitter->MoveTo(200, 0);
    }
    EXPECT_EQ(InUser("FormQuery-Params", "SplitterBottom"), "600,150");
    EXPECT_EQ(InUser("FormQuery-Params", "SplitterLeft"), "200,0");
    SplitForm bottom = Build(TAlign::Bottom, {800, 600});
    bottom.splitter->setObjectName("SplitterBottom");
    bottom.form->FormLoaded();
    EXPECT_EQ(bottom.splitter->y(), 450);
    EXPECT_EQ(bottom.neighbour->height(), 147);
    SplitForm left = Build(TAlign::Left, {800, 600});
    left.splitter->setObjectName("SplitterLeft");
    left.form->FormLoaded();
    EXPECT_EQ(left.splitter->x(), 200);
}

TEST_F(SplitterTest, SplitterMeasuresTheFormAfterItsSizeWasRestored) {
    StoreInUser("Pos", "FormQuery", "0,0,800,600");
    StoreInUser("FormQuery-Params", "SplitterGrid", "0,150");
    SplitForm f = Build(TAlign::Bottom, {600, 400}, true);
    f.form->FormLoaded();
    EXPECT_EQ(f.form->size(), QSize(800, 600));
    EXPECT_EQ(f.splitter->y(), 450);
    EXPECT_EQ(f.neighbour->geometry(), QRect(0, 453, 800, 147));
}

TEST_F(SplitterTest, RightSplitterAndBadTexts) {
    SplitForm f = Build(TAlign::Right);
    EXPECT_EQ(f.splitter->x(), 447);
    f.splitter->SetAsString("253,x");  // 600 - 253 = 347
    EXPECT_EQ(f.splitter->x(), 347);
    EXPECT_EQ(f.neighbour->geometry(), QRect(350, 0, 250, 400));
    EXPECT_EQ(f.splitter->GetPosText(), "253,400");
    f.splitter->SetAsString("garbage");  // both items missing: stays where it is
    EXPECT_EQ(f.splitter->x(), 347);
}

TEST_F(SplitterTest, WithoutNeighbourTheStoredPositionIsIgnored) {
    StoreInUser("FormQuery-Params", "Lonely", "0,200");
    TestForm form("FormQuery");
    form.resize(600, 400);
    auto* layout = new TzAlignLayout(&form);
    auto* splitter = new TzSplitter(&form, TAlign::Top);
    splitter->setObjectName("Lonely");
    layout->AddWidget(splitter, TAlign::Top);
    layout->Realign();
    form.FormLoaded();
    EXPECT_EQ(splitter->FindNeighbour(), nullptr);
    EXPECT_EQ(splitter->y(), 0);
}

TEST_F(SplitterTest, DraggingResizesTheNeighbour) {
    SplitForm f = Build(TAlign::Top);
    f.form->FormLoaded();
    f.form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.form.get()));
    QTest::mousePress(f.splitter, Qt::LeftButton, {}, QPoint(5, 1));
    QTest::mouseMove(f.splitter, QPoint(5, 41));
    QTest::mouseRelease(f.splitter, Qt::LeftButton, {}, QPoint(5, 41));
    EXPECT_EQ(f.neighbour->height(), 140);
    EXPECT_EQ(f.splitter->y(), 140);
    EXPECT_EQ(f.splitter->PosText(), "0,140");
}

}  // namespace
}  // namespace orn
