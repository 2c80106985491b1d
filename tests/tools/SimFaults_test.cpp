// The simulator's fault plan: which requests a rule fires on, and how it
// reshapes the drive's answer.
#include "tools/drivesim/SimFaults.h"

#include "platform/Exception.h"

#include <gtest/gtest.h>

namespace vo {
namespace {

struct Expected {
    int64_t offset;
    const char* frame;
    SimEmissionKind kind = SimEmissionKind::Answer;
};

std::vector<SimEmission> ShapeWith(const std::vector<std::string>& rules, std::optional<SimBytes> answer,
                                   int64_t delay = 0, uint8_t cmd = 0x10, bool* executed = nullptr) {
    SimFaultPlan plan;
    for (const auto& r : rules) plan.Add(r);
    auto match = plan.Arrive(cmd, "rs232");
    if (executed) *executed = match.outcome.execute;
    if (!match.outcome.execute) answer.reset();
    return SimFaultPlan::Shape(match, cmd, answer, delay);
}

void ExpectEmissions(const std::vector<SimEmission>& got, const std::vector<Expected>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(got[i].offsetMs, want[i].offset) << "emission " << i;
        EXPECT_EQ(SimToHex(got[i].frame), SimToHex(SimHex(want[i].frame))) << "emission " << i;
        EXPECT_EQ(got[i].kind, want[i].kind) << "emission " << i;
    }
}

const SimBytes kAnswer = SimHex("10 00 34 12");

TEST(SimFaults, EachRuleShapesTheAnswer) {
    using K = SimEmissionKind;
    struct Case {
        std::vector<std::string> rules;
        std::vector<Expected> want;
    } cases[] = {
        {{}, {{0, "10 00 34 12"}}},
        {{"drop"}, {}},
        {{"delay=2500"}, {{2500, "10 00 34 12"}}},
        {{"waitlonger=5,every=1000"}, {{0, "10 01 05", K::WaitLonger}, {1000, "10 00 34 12"}}},
        {{"waitlonger,every=3000,repeat=2"},
         {{0, "10 01", K::WaitLonger}, {3000, "10 01", K::WaitLonger}, {6000, "10 00 34 12"}}},
        {{"duplicate=50"}, {{0, "10 00 34 12"}, {50, "10 00 34 12"}}},
        {{"duplicate,repeat=2"}, {{0, "10 00 34 12"}, {0, "10 00 34 12"}, {0, "10 00 34 12"}}},
        {{"unsolicited=7F0102,after=10"}, {{0, "10 00 34 12"}, {10, "7F 01 02", K::Unsolicited}}},
        {{"unsolicited=7F0102,before"}, {{0, "7F 01 02", K::Unsolicited}, {0, "10 00 34 12"}}},
        {{"truncate=1"}, {{0, "10"}}},
        {{"truncate=3"}, {{0, "10 00 34"}}},
        {{"echo=11"}, {{0, "11 00 34 12"}}},
        {{"status=B3"}, {{0, "10 B3"}}},
        {{"status=EC exec"}, {{0, "10 EC"}}},
        {{"status=A4,keepdata exec"}, {{0, "10 A4 34 12"}}},
        {{"status=C0", "delay=100"}, {{100, "10 C0"}}},
        {{"noexec drop"}, {}},
        {{"noexec delay=5"}, {}}, // nothing was carried out, so nothing to delay
        {{"waitlonger=2,every=500", "delay=2500"},
         {{2500, "10 01 02", K::WaitLonger}, {3000, "10 00 34 12"}}},
        {{"drop", "unsolicited=AA"}, {{0, "AA", K::Unsolicited}}},
    };
    for (const auto& c : cases) {
        std::string name;
        for (const auto& r : c.rules) name += r + "; ";
        SCOPED_TRACE(name);
        ExpectEmissions(ShapeWith(c.rules, kAnswer), c.want);
    }
}

TEST(SimFaults, WireFaultsMarkTheAnswerOnly) {
    auto e = ShapeWith({"badsum", "garbage=00FF", "emptyframe", "bytewise=3", "unsolicited=AA"}, kAnswer);
    ASSERT_EQ(e.size(), 2u);
    EXPECT_TRUE(e[0].wire.corruptChecksum);
    EXPECT_EQ(e[0].wire.garbageBefore, SimHex("00 FF"));
    EXPECT_TRUE(e[0].wire.zeroLengthHeaderBefore);
    EXPECT_TRUE(e[0].wire.byteByByte);
    EXPECT_EQ(e[0].wire.byteGapMs, 3);
    EXPECT_EQ(e[0].note, "badsum garbage emptyframe bytewise");
    EXPECT_FALSE(e[1].wire.corruptChecksum);
    EXPECT_FALSE(e[1].wire.byteByByte);
}

TEST(SimFaults, SilentDriveGivesRulesNothingToShape) {
    ExpectEmissions(ShapeWith({"delay=10", "duplicate", "truncate=1", "echo=FF"}, std::nullopt), {});
    // ... but a refusal still answers with its status.
    ExpectEmissions(ShapeWith({"status=B3"}, std::nullopt), {{0, "10 B3"}});
}

TEST(SimFaults, StatusRulesRefuseTheRequestOthersLetItRun) {
    bool executed = true;
    ShapeWith({"status=B3"}, kAnswer, 0, 0x10, &executed);
    EXPECT_FALSE(executed);
    ShapeWith({"status=B3 exec"}, kAnswer, 0, 0x10, &executed);
    EXPECT_TRUE(executed);
    ShapeWith({"drop"}, kAnswer, 0, 0x10, &executed);
    EXPECT_TRUE(executed);
    ShapeWith({"drop noexec"}, kAnswer, 0, 0x10, &executed);
    EXPECT_FALSE(executed);
}

TEST(SimFaults, RulesFireOnTheirOccurrencesOfTheirCommand) {
    SimFaultPlan plan;
    int second = plan.Add("cmd=10 from=2 times=2 drop");
    int always = plan.Add("cmd=30 times=0 delay=1");
    int onlyUdp = plan.Add("medium=udp drop");
    std::vector<std::pair<uint8_t, bool>> seq = {{0x10, false}, {0x11, false}, {0x10, true}, {0x03, false}, {0x10, true}, {0x10, false}};
    for (size_t i = 0; i < seq.size(); ++i) {
        auto m = plan.Arrive(seq[i].first, "rs232");
        bool dropped = false;
        for (const auto& r : m.rules) dropped |= r.action == SimFault::Drop;
        EXPECT_EQ(dropped, seq[i].second) << "request " << i;
    }
    EXPECT_EQ(plan.Fired(second), 2u);
    for (int i = 0; i < 5; ++i) plan.Arrive(0x30, "rs232");
    EXPECT_EQ(plan.Fired(always), 5u);
    EXPECT_EQ(plan.Fired(onlyUdp), 0u);
    plan.Arrive(0x10, "udp");
    EXPECT_EQ(plan.Fired(onlyUdp), 1u);
    plan.Remove(second);
    EXPECT_EQ(plan.Size(), 2u);
    plan.Clear();
    EXPECT_EQ(plan.Size(), 0u);
}

TEST(SimFaults, TextForm) {
    auto r = SimFaultRule::Parse("cmd=0x30 from=3 times=0 waitlonger=7,every=250,repeat=2");
    ASSERT_TRUE(r.command);
    EXPECT_EQ(*r.command, 0x30);
    EXPECT_EQ(r.from, 3u);
    EXPECT_EQ(r.times, 0u);
    EXPECT_EQ(r.action, SimFault::WaitLonger);
    EXPECT_EQ(r.waitSeconds, 7);
    EXPECT_EQ(r.delayMs, 250);
    EXPECT_EQ(r.repeat, 2u);
    EXPECT_EQ(r.Describe(), "cmd=30 from=3 times=0 waitlonger=7,every=250,repeat=2");
    EXPECT_EQ(SimFaultRule::Parse("cmd=1 status=b3,keepdata").Describe(), "cmd=01 status=B3,keepdata");
    EXPECT_EQ(SimFaultRule::Parse("unsolicited=05:FF").frame, SimHex("05 FF"));
    EXPECT_EQ(SimFaultRule::Parse("waitlonger").waitSeconds, -1);

    for (const char* bad : {"", "cmd=10", "drop delay=5", "cmd=1FF drop", "from=0 drop", "delay=abc",
                            "wobble", "unsolicited=", "garbage=XY", "waitlonger=300", "status"}) {
        EXPECT_THROW(SimFaultRule::Parse(bad), Exception) << bad;
    }
}

TEST(SimFaults, SwapIdentityMakesAnotherDriveAnswerTheStatus) {
    const SimBytes status = SimHex("03 00 18 80 39 30 01 00 41 10");
    ExpectEmissions(ShapeWith({"swapid"}, status, 0, 0x03), {{0, "03 00 18 80 C6 CF FE FF BE EF"}});
    ExpectEmissions(ShapeWith({"swapid=010002000300"}, status, 0, 0x03), {{0, "03 00 18 80 01 00 02 00 03 00"}});
    ExpectEmissions(ShapeWith({"swapid"}, kAnswer), {{0, "10 00 34 12"}}); // no status answer: untouched
    EXPECT_EQ(SimFaultRule::Parse("cmd=03 from=5 times=0 swapid").Describe(), "cmd=03 from=5 times=0 swapid");
    EXPECT_THROW(SimFaultRule::Parse("swapid=0102"), Exception);
}

} // namespace
} // namespace vo
