// The drive selector's choices and the paths it sends the window to.
#include "shell/DriveSelector.h"

#include <gtest/gtest.h>

namespace vo {
namespace {

TEST(DriveSelector, IndexAfterAnUpdate) {
    struct {
        int OldIndex, OldCount, NewCount;
        bool Pending;
        int Expected;
    } cases[] = {
        {-1, 0, 1, true, 0}, // the first device: selected
        {0, 1, 2, true, 1}, // a new device is selected
        {1, 2, 1, true, 0}, // one went: the last one left
        {0, 2, 2, true, 0}, // same count: the old choice stays
        {-1, 2, 2, true, 1}, // nothing selected before: the last
        {1, 2, 2, false, 1}, // no device change: the old choice
        {-1, 2, 2, false, -1},
        {0, 1, 0, true, -1}, // the last device went: none (the root)
        {3, 4, 2, false, -1}, // an index that is gone
    };
    for (const auto& c : cases)
        EXPECT_EQ(SelectorIndexAfterUpdate(c.OldIndex, c.OldCount, c.NewCount, c.Pending), c.Expected)
            << c.OldIndex << " " << c.OldCount << " " << c.NewCount << " " << c.Pending;
}

TEST(DriveSelector, PathUsesTheSelectedDrivesOwnPage) {
    const std::vector<TSelectorEntry> entries = {{"BOX1 on COM7 (USER)", "\\Parameters"}, {"BOX2 offline", ""}};
    EXPECT_EQ(SelectorPath(entries, 0), "Project:\\\\BOX1 on COM7 (USER)\\Parameters");
    EXPECT_EQ(SelectorPath(entries, 1), "Project:\\\\BOX2 offline");
    EXPECT_EQ(SelectorPath(entries, -1), "Project:\\\\");
    EXPECT_EQ(SelectorPath({}, 0), "Project:\\\\");
}

TEST(DriveSelector, SwitchingDriveKeepsThePage) {
    struct {
        const char* From;
        const char* Expected;
    } cases[] = {
        {"Project:\\\\BOX1 on COM7 (USER)\\Parameters\\X", "Project:\\\\BOX2 on COM8 (USER)\\Parameters\\X"},
        {"Project:\\\\BOX1 on COM7 (USER)", "Project:\\\\BOX2 on COM8 (USER)"},
        {"Project:\\\\", "Project:\\\\BOX2 on COM8 (USER)"},
        {"", "Project:\\\\BOX2 on COM8 (USER)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SwitchDrivePath(c.From, "BOX2 on COM8 (USER)"), c.Expected) << c.From;
}

} // namespace
} // namespace vo
