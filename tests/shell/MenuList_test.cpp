// The shared menu lists and the start-up task queue.
#include "shell/MenuList.h"
#include "shell/PrgTasks.h"

#include "tests/support/ExpectError.h"
#include "tests/support/KernelFixtures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vo {
namespace {

// An anchor that shows what a window's menu would list behind it.
class TRecordingAnchor : public TMenuAnchor {
public:
    void MenuListChanged(const TMenuList& List, bool Shown) override {
        Shown_.clear();
        if (Shown)
            for (int i = 0; i < List.Count(); ++i)
                Shown_.push_back(List.DisplayCaption(i));
    }
    std::vector<MyAnsiString> Shown_;
};

std::vector<MyAnsiString> Captions(const TMenuList& L) {
    std::vector<MyAnsiString> out;
    for (int i = 0; i < L.Count(); ++i)
        out.push_back(L.DisplayCaption(i));
    return out;
}

TEST(MenuListTest, SortedWindowListNumbersItsEntries) {
    int a = 0, b = 0;
    TMenuList l(true, true);
    l.Add("b", "", &b);
    l.Add("a", "", &a);
    EXPECT_EQ(Captions(l), (std::vector<MyAnsiString>{"&1 a", "&2 b"}));
    l.RemoveObject(&a);
    EXPECT_EQ(Captions(l), (std::vector<MyAnsiString>{"&1 b"}));
    l.RemoveObject(&a); // gone already: nothing
    EXPECT_EQ(l.Count(), 1);
}

TEST(MenuListTest, ShortcutPrefixesRunOutAfterTheThirtyFifth) {
    TMenuList l(false, true);
    for (int i = 0; i < 36; ++i)
        l.Add("w" + std::to_string(i), "", nullptr);
    EXPECT_EQ(l.DisplayCaption(8), "&9 w8");
    EXPECT_EQ(l.DisplayCaption(9), "&A w9");
    EXPECT_EQ(l.DisplayCaption(34), "&Z w34");
    EXPECT_EQ(l.DisplayCaption(35), "  w35");
    l.SetAutoShortcut(false);
    EXPECT_EQ(l.DisplayCaption(35), "w35");
}

TEST(MenuListTest, ErrorsNameTheClass) {
    TMenuList l;
    vo::test::ExpectError([&] { l.Insert(1, "x", "", nullptr); }, "TMenuList.Insert: index out of range");
    vo::test::ExpectError([&] { l.Insert(-1, "x", "", nullptr); }, "TMenuList.Insert: index out of range");
    TRecordingAnchor one, two;
    l.MenuListRequest(&one, true);
    vo::test::ExpectError([&] { l.MenuListRequest(&two, true); },
                          "TMenuList.MenuListRequest: menu is already in use");
    vo::test::ExpectError([&] { l.MenuListRequest(&two, false); },
                          "TMenuList.MenuListRequest: wrong insert menu item for release");
    l.MenuListRequest(&one, false);
    l.MenuListRequest(&two, false); // a release without an active menu does nothing
    EXPECT_EQ(l.ActiveMenu(), nullptr);
}

TEST(MenuListTest, TheActiveMenuFollowsChangesAndClicksReachTheObject) {
    int x = 0, y = 0;
    void* clicked = nullptr;
    TMenuList l(true, true, [&](void* O) { clicked = O; });
    l.Add("x", "", &x);
    TRecordingAnchor anchor;
    l.MenuListRequest(&anchor, true);
    EXPECT_EQ(anchor.Shown_, (std::vector<MyAnsiString>{"&1 x"}));
    l.Add("w", "", &y); // shown at once
    EXPECT_EQ(anchor.Shown_, (std::vector<MyAnsiString>{"&1 w", "&2 x"}));
    l.MenuClick(1);
    EXPECT_EQ(clicked, &x);
    l.MenuListRequest(&anchor, false);
    EXPECT_TRUE(anchor.Shown_.empty());
}

class TaskQueueTest : public vo::test::MainSchedulerFixture {};

TEST_F(TaskQueueTest, CallsRunInOrderOnePerStepWithOtherTasksBetween) {
    std::vector<std::string> log;
    int otherSteps = 0;
    auto other = TMxTask::CreateMain("Other");
    other->SetOnExecute([&](TMxTask& T) {
        log.push_back("other");
        if (++otherSteps >= 6)
            T.Terminate();
    });
    TTaskQueue q;
    q.AddTask([&] { log.push_back("A"); });
    q.AddTask([&] { log.push_back("B"); });
    q.AddTask([&] { log.push_back("C"); });
    other->Start();
    ASSERT_TRUE(RunUntil([&] { return otherSteps >= 6 && q.Count() == 0; }));
    std::vector<std::string> calls;
    for (const auto& s : log)
        if (s != "other")
            calls.push_back(s);
    EXPECT_EQ(calls, (std::vector<std::string>{"A", "B", "C"}));
    // Never two queued calls in a row while the other task is ready.
    for (std::size_t i = 1; i < log.size(); ++i)
        if (log[i] != "other" && log[i - 1] != "other")
            ADD_FAILURE() << "two queued calls in a row at " << i;

    // A call added while the queue sleeps wakes it.
    bool late = false;
    q.AddTask([&] { late = true; });
    EXPECT_TRUE(RunUntil([&] { return late; }));
}

} // namespace
} // namespace vo
