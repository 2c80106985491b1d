// Debug manager: log lines, trace format, filter rules, groups, and the
// hand-over of lines from other threads.
#include "kernel/Debug.h"
#include "platform/Exception.h"
#include "tests/support/KernelFixtures.h"

#include <gtest/gtest.h>

#include <thread>

using namespace vo;

namespace {

TEST(Debug, LogLinesPassTheDefaultFilterAndStatusTrafficIsHidden) {
    vo::test::CapturedTrace trace;
    LogInfo("hello");
    trace.Manager().DebugMessage(3, 0x0103, "status request");
    trace.Manager().DebugMessage(3, 0x0203, "status answer");
    LogWarning("careful");
    LogError("broken");
    trace.Manager().DebugMessage(3, 0x01AB, "A5 03 ");
    EXPECT_EQ(trace.Lines(), (std::vector<std::string>{
                                 "[0000] ***INFO: hello",
                                 "[0001] ***WARNING: careful",
                                 "[0002] ***ERROR: broken",
                                 "[01AB] A5 03 ",
                             }));
}

TEST(Debug, StatusRulesToggleTogether) {
    vo::test::CapturedTrace trace;
    auto& m = trace.Manager();
    m.Filter().DenyAllowStatusFilter();
    m.DebugMessage(1, 0x0103, "req");
    m.DebugMessage(1, 0x0203, "resp");
    m.Filter().DenyAllowStatusFilter();
    m.DebugMessage(1, 0x0103, "req2");
    m.DebugMessage(1, 0x0001, "w");
    EXPECT_EQ(trace.Lines(), (std::vector<std::string>{"[0103] req", "[0203] resp", "[0001] w"}));
}

TEST(Debug, NothingIsKeptWhileDisabledOrWithoutTheWindow) {
    TDebugManager m;
    TDebugLineSink sink;
    SetDebugManager(&m);
    LogInfo("no window, not enabled");
    m.SetDebugMemo(&sink);
    LogInfo("window, not enabled");
    m.SetDebugingEnabled(true);
    m.SetDebugMemo(nullptr);
    LogInfo("enabled, no window");
    m.SetDebugMemo(&sink);
    LogInfo("shown");
    SetDebugManager(nullptr);
    LogInfo("no manager");
    EXPECT_EQ(sink.Drain(), (std::vector<std::string>{"[0000] ***INFO: shown"}));
}

TEST(Debug, FilterRuleLists) {
    struct Case {
        const char* Name;
        std::vector<TDebugFilter> Rules;
        uint16_t Code;
        TFilterAction Expected;
    };
    const Case cases[] = {
        {"empty list shows nothing", {}, 0x0000, faNone},
        {"deny everything", {{"d", 0, 0, faDeny}}, 0x0000, faDeny},
        {"last matching rule decides", {{"a", 0, 0, faAllow}, {"d", 0x0100, 0xFF00, faDeny}}, 0x01FF, faDeny},
        {"a rule without action does not override",
         {{"a", 0, 0, faAllow}, {"n", 0x0100, 0xFF00, faNone}},
         0x0105,
         faAllow},
        {"mask selects the compared bits", {{"a", 0x12FF, 0xFF00, faAllow}}, 0x1200, faAllow},
        {"no rule matches", {{"a", 0x0200, 0xFF00, faAllow}}, 0x0100, faNone},
    };
    for (const auto& c : cases) {
        TFilterRules rules;
        rules.SetRules(c.Rules);
        EXPECT_EQ(rules.Filter(c.Code), c.Expected) << c.Name;
    }
}

TEST(Debug, RuleListEditing) {
    TFilterRules rules;
    ASSERT_EQ(rules.Count(), 3u);
    EXPECT_EQ(rules.Rule(0).FDescription, "allow all debug messages");
    EXPECT_EQ(rules.Rule(1).FDescription, "allow status request");
    EXPECT_EQ(FilterHex(rules.Rule(2).FCode), "0203");
    EXPECT_EQ(FilterHex(rules.Rule(2).FMask), "FFFF");
    EXPECT_STREQ(FilterActionText(rules.Rule(2).FAction), "Deny");
    EXPECT_STREQ(FilterActionText(static_cast<TFilterAction>(7)), "Unknown");

    rules.Insert(1, {"New Filter", 0, 0, faNone});
    EXPECT_EQ(rules.Rule(1).FDescription, "New Filter");
    EXPECT_EQ(rules.Delete(3), 2); // last row deleted: the new last row is selected
    EXPECT_EQ(rules.Delete(0), 0);
    EXPECT_EQ(rules.Count(), 2u);
    // With the status rules gone the toggle touches what is second and third
    // only when there are three rules.
    rules.DenyAllowStatusFilter();
    EXPECT_EQ(rules.Rule(1).FAction, faDeny);
    EXPECT_THROW(rules.Replace(5, {}), Exception);

    EXPECT_EQ(FilterParseHex("0103"), 0x0103);
    EXPECT_EQ(FilterParseHex("$ffff"), 0xFFFF);
    EXPECT_EQ(FilterParseHex(" 0"), 0);
    EXPECT_THROW(FilterParseHex("12G4"), Exception);
    EXPECT_THROW(FilterParseHex(""), Exception);
    EXPECT_THROW(FilterParseHex("10000"), Exception);
}

TEST(Debug, GroupsHandTheirMessageMethodToRegisteredComponents) {
    vo::test::CapturedTrace trace;
    auto& m = trace.Manager();
    TDebugHandler h1, h2, h3, other;
    int calls = 0;
    m.Assign(0, [&](TDebugHandler) { ++calls; });
    m.Assign(9, [&](TDebugHandler) { ++calls; });
    m.Assign(1, [&](TDebugHandler h) { h1 = std::move(h); });
    m.Assign(1, [&](TDebugHandler h) { h2 = std::move(h); });
    m.Assign(2, [&](TDebugHandler h) { other = std::move(h); });
    EXPECT_FALSE(h1);
    m.Enable(0);
    m.Enable(9);
    EXPECT_EQ(calls, 0);
    m.Enable(1);
    ASSERT_TRUE(h1);
    ASSERT_TRUE(h2);
    EXPECT_FALSE(other);
    m.Assign(1, [&](TDebugHandler h) { h3 = std::move(h); }); // late: gets it at once
    ASSERT_TRUE(h3);
    h2(0x0281, "rx");
    EXPECT_EQ(trace.Lines().back(), "[0281] rx");
    m.Disable(1);
    EXPECT_FALSE(h1);
    EXPECT_FALSE(h3);
    EXPECT_FALSE(m.IsEnabled(1));
}

TEST(Debug, LinesFromOtherThreadsAreHandedOverInOrder) {
    vo::test::CapturedTrace trace;
    std::atomic<int> notified{0};
    trace.Sink().SetOnLinesPending([&] { ++notified; });
    constexpr int kThreads = 4, kLines = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i)
                LogInfo(std::to_string(t) + ":" + std::to_string(i));
        });
    for (auto& th : threads)
        th.join();
    auto lines = trace.Lines();
    ASSERT_EQ(lines.size(), size_t(kThreads * kLines));
    std::vector<int> next(kThreads, 0);
    for (const auto& l : lines) {
        auto body = l.substr(std::string("[0000] ***INFO: ").size());
        int t = std::stoi(body.substr(0, body.find(':')));
        int i = std::stoi(body.substr(body.find(':') + 1));
        EXPECT_EQ(i, next[t]) << l;
        next[t] = i + 1;
    }
    EXPECT_GE(notified.load(), 1);
}

TEST(Debug, SinkKeepsTheNewestLinesWhenTheWindowFallsBehind) {
    TDebugLineSink sink(3);
    for (int i = 0; i < 5; ++i)
        sink.Append(std::to_string(i));
    EXPECT_EQ(sink.Dropped(), 2u);
    EXPECT_EQ(sink.Drain(), (std::vector<std::string>{"2", "3", "4"}));
    EXPECT_EQ(sink.Pending(), 0u);
}

TEST(Debug, HexTextAndSecondsFromStart) {
    EXPECT_EQ(StrToHexStr("\xA5\x03"), "A5 03 ");
    EXPECT_EQ(StrToHexStr(std::string("\x00\xff", 2)), "00 FF ");
    EXPECT_EQ(StrToHexStr(""), "");
    EXPECT_EQ(StrToHexStr(std::string(300, '\x11')).size(), 900u); // longer than 255: nothing cut
    EXPECT_EQ(FormatSecondsFromStart(1500000), "     1.500");
    EXPECT_EQ(FormatSecondsFromStart(1234567891), "  1234.568");
    const auto now = MillisecondsFromStart();
    EXPECT_EQ(now.size(), 10u);
    EXPECT_EQ(now[now.size() - 4], '.');
}

} // namespace
