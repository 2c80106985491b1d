// RS232 framing of the drive simulator: frames out, and the receiver's state
// machine for frames in.
#include "tools/drivesim/SimRs232.h"

#include "platform/Exception.h"

#include <gtest/gtest.h>

namespace vo {
namespace {

using Kind = SimRs232Event::Kind;

TEST(SimRs232, FramesCarryLengthAndSum) {
    EXPECT_EQ(SimToHex(SimRs232Frame(SimHex("10 01 00"))), "A5 03 11 10 01 00");
    EXPECT_EQ(SimToHex(SimRs232Frame(SimHex("10 34 12 00"))), "A5 04 56 10 34 12 00");
    EXPECT_EQ(SimToHex(SimRs232Frame("")), "A5 00 00");
    EXPECT_EQ(SimRs232Frame(SimBytes(255, '\x01')).substr(0, 3), SimHex("A5 FF FF"));
    EXPECT_THROW(SimRs232Frame(SimBytes(256, 'x')), Exception);

    SimWireEffects fx;
    fx.garbageBefore = SimHex("00 13");
    fx.zeroLengthHeaderBefore = true;
    fx.corruptChecksum = true;
    EXPECT_EQ(SimToHex(SimRs232Frame(SimHex("10 01 00"), fx)), "00 13 A5 00 00 A5 03 4B 10 01 00");
}

struct ReceiveCase {
    const char* name;
    std::vector<const char*> pieces; // fed one after the other
    std::vector<std::pair<Kind, const char*>> events; // kind and payload (garbage: its bytes)
};

TEST(SimRs232, ReceiverTable) {
    const ReceiveCase cases[] = {
        {"plain", {"A5 02 35 30 05"}, {{Kind::Frame, "30 05"}}},
        {"leading garbage", {"00 A5 02 35 30 05"}, {{Kind::Garbage, "00"}, {Kind::Frame, "30 05"}}},
        {"bad sum", {"A5 02 FF 30 05"}, {{Kind::ChecksumError, "30 05"}}},
        {"bad sum then resend", {"A5 02 FF 30 05 A5 02 35 30 05"}, {{Kind::ChecksumError, "30 05"}, {Kind::Frame, "30 05"}}},
        {"byte by byte", {"A5", "02", "35", "30", "05"}, {{Kind::Frame, "30 05"}}},
        {"split inside the payload", {"A5 03 11 10", "01 00 A5"}, {{Kind::Frame, "10 01 00"}}},
        {"empty frame", {"A5 00 00 A5 01 02 02"}, {{Kind::Frame, ""}, {Kind::Frame, "02"}}},
        {"empty frame with a sum", {"A5 00 07"}, {{Kind::ChecksumError, ""}}},
        {"0xA5 inside the payload", {"A5 02 4A A5 A5"}, {{Kind::Frame, "A5 A5"}}},
        {"trailing garbage", {"A5 01 02 02 11 13"}, {{Kind::Frame, "02"}, {Kind::Garbage, "11 13"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimRs232Receiver rx;
        std::vector<SimRs232Event> got;
        for (const char* piece : c.pieces)
            for (auto& e : rx.Feed(SimHex(piece), 0)) got.push_back(std::move(e));
        ASSERT_EQ(got.size(), c.events.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].kind, c.events[i].first) << i;
            const SimBytes& bytes = got[i].kind == Kind::Garbage ? got[i].wire : got[i].payload;
            EXPECT_EQ(SimToHex(bytes), SimToHex(SimHex(c.events[i].second))) << i;
        }
    }
}

TEST(SimRs232, ChecksumErrorReportsBothSums) {
    SimRs232Receiver rx;
    auto e = rx.Feed(SimHex("A5 02 FF 30 05"), 0);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].receivedSum, 255);
    EXPECT_EQ(e[0].computedSum, 53);
    EXPECT_EQ(e[0].wire, SimHex("A5 02 FF 30 05"));
}

TEST(SimRs232, PauseInsideAFrameStartsOver) {
    // A lost byte would otherwise make the receiver take the next frame's
    // header as payload.
    SimRs232Receiver rx;
    rx.SetGapMs(50);
    EXPECT_TRUE(rx.Feed(SimHex("A5 03 11 10 01"), 0).empty()); // one byte lost
    auto e = rx.Feed(SimHex("A5 02 35 30 05"), 200);
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].kind, Kind::Resync);
    EXPECT_EQ(e[0].wire, SimHex("A5 03 11 10 01"));
    EXPECT_EQ(e[1].kind, Kind::Frame);
    EXPECT_EQ(e[1].payload, SimHex("30 05"));

    // Without a gap setting, or within it, pieces join up.
    SimRs232Receiver patient;
    patient.Feed(SimHex("A5 02 35 30"), 0);
    auto joined = patient.Feed(SimHex("05"), 10000);
    ASSERT_EQ(joined.size(), 1u);
    EXPECT_EQ(joined[0].kind, Kind::Frame);
    rx.Feed(SimHex("A5 02 35 30"), 1000);
    auto within = rx.Feed(SimHex("05"), 1040);
    ASSERT_EQ(within.size(), 1u);
    EXPECT_EQ(within[0].kind, Kind::Frame);
    EXPECT_TRUE(rx.Idle());
}

TEST(SimRs232, LargestFrameArrivesInPieces) {
    SimBytes payload;
    for (int i = 0; i < 255; ++i) payload.push_back(char(i));
    SimBytes wire = SimRs232Frame(payload);
    SimRs232Receiver rx;
    std::vector<SimRs232Event> got;
    for (size_t i = 0; i < wire.size(); i += 7)
        for (auto& e : rx.Feed(std::string_view(wire).substr(i, 7), 0)) got.push_back(std::move(e));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].kind, Kind::Frame);
    EXPECT_EQ(got[0].payload, payload);
}

} // namespace
} // namespace vo
