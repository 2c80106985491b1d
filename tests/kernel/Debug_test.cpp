// Debug manager: log lines, trace format, filter rules and groups.
#include "kernel/Debug.h"
#include "tests/support/KernelFixtures.h"

#include <gtest/gtest.h>

using namespace vo;

namespace {

TEST(Debug, LogInfoPassesTheDefaultFilterAndStatusRequestIsDropped)
{
    vo::test::CapturedTrace trace;
    LogInfo("hello");
    trace.Manager().DebugMessage(3, 0x0103, "status request");
    LogWarning("careful");
    auto lines = trace.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "[0000] ***INFO: hello");
    EXPECT_EQ(lines[1], "[0001] ***WARNING: careful");
}

TEST(Debug, StrToHexStr)
{
    EXPECT_EQ(StrToHexStr("\xA5\x03"), "A5 03 ");
    EXPECT_EQ(StrToHexStr(""), "");
}

} // namespace
