// The text, Boolean, enumerator and radio parameters end to end: the login
// read of the sample drives VX-41 (protocol 0x41: block telegrams for texts)
// and VX-31 (0x31: get/set telegrams) over a pseudo-terminal, writes and
// their telegram bytes, the device name, the guest switch and the flags a
// Boolean sets, and answers the drive cuts short.
#include "tests/parameters/ParLoginFixture.h"

#include "parameters/PtBool.h"
#include "parameters/PtDir.h"
#include "parameters/PtEnum.h"
#include "parameters/PtRadio.h"
#include "parameters/PtStr.h"
#include "parameters/PtRoot.h"

#include <gtest/gtest.h>

namespace vo {
namespace {

class PtLoginTest : public test::ParLoginTestBase {
protected:
    // Logs in to the drive of File; false when the start did not end.
    TParameterService* Login(const char* File, const char* User = "USER", const char* Password = "user") {
        Attach(File);
        TDevice& d = NewDevice("VelkorOnline", User, Password);
        Device = &d;
        if (!Start(d) || d.State() != dstStarted) {
            ADD_FAILURE() << "login to " << File << " failed" << (Prompt.Texts().empty() ? "" : ": " + Prompt.Texts()[0]);
            return nullptr;
        }
        return &Params(d);
    }

    // The parameter telegrams (88, 89, 15, 16) the drive received, in order.
    std::vector<std::string> ValueFrames() const {
        std::vector<std::string> out;
        for (const std::string& f : FramesIn())
            for (const char* cmd : {"88 ", "89 ", "15 ", "16 "})
                if (f.rfind(cmd, 0) == 0)
                    out.push_back(f);
        return out;
    }
    // The frames added since Before frames.
    std::vector<std::string> FramesSince(std::size_t Before) const {
        const std::vector<std::string> all = ValueFrames();
        return {all.begin() + static_cast<std::ptrdiff_t>(std::min(Before, all.size())), all.end()};
    }

    // Reads P again in one pass.
    bool Reread(TParameterService& S, TParameter& P) {
        return RunPass(
            S,
            [&](TServiceClient& C) {
                S.PrepareUpdate(C);
                P.Invalidate(C);
                P.Update(C);
            },
            [&](TServiceClient& C) { S.ExecuteUpdate(C); });
    }
    // Calls Change, then Modify of Queue (P when nullptr), in one write pass.
    bool WritePass(TParameterService& S, TParameter& P, const std::function<void()>& Change, TParameter* Queue = nullptr) {
        return RunPass(
            S,
            [&](TServiceClient& C) {
                S.PrepareModify(C);
                Change();
                (Queue ? *Queue : P).Modify(C);
            },
            [&](TServiceClient& C) { S.ExecuteModify(C); });
    }
    // The value the drive keeps for a UPID (RAM and ROM).
    void SetDriveValue(std::uint16_t Upid, const std::string& Hex) {
        Runner->WithDrive([&](SimDrive& D) {
            SimParameter* p = D.FindParameter(Upid);
            EXPECT_NE(p, nullptr) << Upid;
            if (p)
                p->ram = p->rom = SimHex(Hex);
            return 0;
        });
    }
    std::string DriveValue(std::uint16_t Upid) {
        return Runner->WithDrive([&](SimDrive& D) { return SimToHex(D.FindParameter(Upid)->ram); });
    }

    template <class T>
    static T& Node(TParameterService& S, std::int32_t Upid) {
        auto* p = dynamic_cast<T*>(S.FindParameterWithDeviceUPID(Upid));
        EXPECT_NE(p, nullptr) << Upid;
        return *p;
    }

    TDevice* Device = nullptr;
};

TEST_F(PtLoginTest, BothProtocolsReadEveryTypeInItsWidth) {
    struct Case {
        const char* file;
        const char* caption; // the device-name text of the drive
        std::vector<std::string> textReads; // name, 64, 80, 32 strings, caption directory
        const char* firstRead; // the parameter service's first read
    };
    const Case cases[] = {
        {"vx41.drive", "VX41 axis 1", {"15 00 E8 03 20", "15 00 00 20 40", "15 00 01 20 50", "15 00 02 20 20", "15 00 03 20"}, "88 00 00 10"},
        {"vx31.drive", "VX31 axis", {"88 00 E8 03", "88 00 00 20", "88 00 01 20", "88 00 02 20", "88 00 03 20"}, "88 00 E8 03"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TParameterService* s = Login(c.file);
        ASSERT_NE(s, nullptr);
        for (const std::string& f : c.textReads) EXPECT_EQ(CountFrames(f), 1u) << f;
        if (std::string(c.file) == "vx31.drive") {
            for (const std::string& f : ValueFrames()) EXPECT_NE(f.substr(0, 3), "15 ") << f;
        }
        EXPECT_EQ(Node<TStringParameter>(*s, 1000).GetStrValue(), c.caption);
        EXPECT_EQ(Node<TStringParameter>(*s, 0x2001).GetStrValue(), "Linear axis");
        EXPECT_EQ(Node<TCapDirParameter>(*s, 0x2003).GetStrValue(), "Carriage");
        EXPECT_TRUE(Node<TBoolParameter>(*s, 3274).GetBoolValue());
        EXPECT_TRUE(Node<TBoolParameter>(*s, 0x2011).GetBoolValue());
        EXPECT_FALSE(Node<TBoolParameter>(*s, 0x2012).GetBoolValue());
        EXPECT_EQ(Node<TEnumDir16Parameter>(*s, 0x2020).GetValue(), 3);
        EXPECT_EQ(Node<TEnumDir8Parameter>(*s, 0x2021).GetValue(), 2);
        EXPECT_EQ(Node<TEnumDir32Parameter>(*s, 0x2022).GetValue(), 0);
        EXPECT_EQ(Node<TRadioDir16Parameter>(*s, 0x2030).GetValue(), 1);
        EXPECT_EQ(Node<TRadioDir32Parameter>(*s, 0x2031).GetValue(), -1);
        EXPECT_EQ(Node<TRadioDirBitParameter>(*s, 0x2032).GetValue(), 0);
        // The drive holds each value in the width the program reads.
        Runner->WithDrive([](SimDrive& D) {
            const std::pair<std::uint16_t, std::size_t> widths[] = {
                {0x03E8, 32}, {0x2000, 64}, {0x2001, 80}, {0x2003, 32}, {0x0CCA, 2}, {0x2020, 2}, {0x2021, 1}, {0x2022, 2}, {0x2030, 2}, {0x2031, 4}, {0x2032, 2}};
            for (const auto& [upid, width] : widths) EXPECT_EQ(D.FindParameter(upid)->size, width) << upid;
            return 0;
        });
        // One read per node with a value, each valid; the children send
        // nothing and are valid with their directory.
        std::size_t values = 0;
        s->ForEachParameter([&](TParameter& P, bool&) {
            if (P.UPID() < 0xFFFF && (P.AddrUsage() & (AddrRomRead | AddrRamRead)) && !dynamic_cast<TRadioChildParameter*>(&P)) {
                ++values;
                EXPECT_TRUE(P.GetValid()) << P.Caption();
            }
        });
        const std::vector<std::string> frames = ValueFrames();
        const auto first = std::find(frames.begin(), frames.end(), c.firstRead);
        EXPECT_EQ(static_cast<std::size_t>(frames.end() - first), values);
        // The radio children with UPIDs of their own (0x2033, 0x2034) sent nothing.
        EXPECT_EQ(CountFrames("88 00 33 20") + CountFrames("88 00 34 20"), 0u);
        std::vector<TRadioChildBitParameter*> bits;
        Node<TRadioDirBitParameter>(*s, 0x2032).GetChildList(bits);
        ASSERT_EQ(bits.size(), 2u);
        EXPECT_TRUE(bits[0]->GetValid());
        EXPECT_TRUE(bits[0]->GetBoolValue());
        EXPECT_TRUE(Prompt.Texts().empty());
        Manager->DestroyDevice(*Device);
        Line.reset();
        Runner.reset();
    }
}

TEST_F(PtLoginTest, TheDeviceNameParameterRenamesTheDevice) {
    TParameterService* s = Login("vx41.drive");
    ASSERT_NE(s, nullptr);
    TDevice& d = *Device;
    EXPECT_EQ(d.Caption(), "VX41 axis 1");
    auto& name = Node<TStringParameter>(*s, 1000);

    // The same text again: nothing is renamed (the model caption set here stays).
    d.Model().SetCaption("marker");
    ASSERT_TRUE(Reread(*s, name));
    EXPECT_EQ(d.Model().Caption(), "marker");

    // Another text on the drive renames the device at the next read.
    SetDriveValue(0x03E8, SimToHex(std::string("Gantry X") + std::string(24, '\0')));
    ASSERT_TRUE(Reread(*s, name));
    EXPECT_EQ(d.Caption(), "Gantry X");
    EXPECT_NE(d.Model().Caption(), "marker");

    // An accepted write renames it too.
    ASSERT_TRUE(WritePass(*s, name, [&] { name.SetStrValue("Gantry Y"); }));
    EXPECT_EQ(d.Caption(), "Gantry Y");
    EXPECT_EQ(DriveValue(0x03E8).substr(0, 26), "47 61 6E 74 72 79 20 59 00");
}

TEST_F(PtLoginTest, AnOfflineDeviceIsNamedByTheDefault) {
    TDevice& d = NewDevice("VelkorOffline");
    d.SetStrVar("ConfigFile", RealPathToStored(DataPath("Configs/VX41-Sample.vkc")));
    ASSERT_TRUE(Start(d));
    ASSERT_EQ(d.State(), dstStarted) << (Prompt.Texts().empty() ? "" : Prompt.Texts()[0]);
    TParameterService& s = Params(d);
    EXPECT_EQ(Node<TStringParameter>(s, 1000).GetStrValue(), "VX axis");
    EXPECT_EQ(d.Caption(), "VX axis");
    EXPECT_EQ(Node<TEnumDir16Parameter>(s, 0x2020).GetValue(), 3);
    EXPECT_EQ(Node<TRadioDir32Parameter>(s, 0x2031).GetValue(), -1);
    EXPECT_TRUE(Node<TBoolParameter>(s, 3274).GetBoolValue());
}

TEST_F(PtLoginTest, StringWritesAreCutToWhatTheDriveKeeps) {
    const std::string c64(64, 'a'), c70(70, 'b'), c40(40, 'c');
    auto hex = [](const std::string& Text) { return SimToHex(Text); };
    struct Case {
        const char* drive;
        std::int32_t upid;
        std::string text;
        std::string frame;
    };
    const Case cases[] = {
        {"vx41.drive", 0x2001, c64, "16 02 01 20 " + hex(c64) + " 00"}, // MaxSize 80: the NUL follows
        {"vx41.drive", 0x2000, c64, "16 02 00 20 " + hex(c64)}, // MaxSize 64: no NUL
        {"vx41.drive", 0x2000, c70, "16 02 00 20 " + hex(c70.substr(0, 64))}, // the entry keeps 64
        {"vx41.drive", 0x2002, c40, "16 02 02 20 " + hex(c40.substr(0, 32))}, // MaxSize 32
        {"vx41.drive", 0x2003, "Slide", "16 02 03 20 " + hex("Slide") + " 00"}, // caption directory
        {"vx31.drive", 0x2001, "Carriage", "89 02 01 20 " + hex("Carriage")},
        {"vx31.drive", 0x2002, c40, "89 02 02 20 " + hex(c40.substr(0, 32))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frame.substr(0, 11) + " " + std::to_string(c.text.size()));
        TParameterService* s = Login(c.drive);
        ASSERT_NE(s, nullptr);
        TParameter& p = *s->FindParameterWithDeviceUPID(c.upid);
        const std::size_t before = ValueFrames().size();
        ASSERT_TRUE(WritePass(*s, p, [&] { p.SetScaledValue(c.text, usSI, "SCALED"); }));
        EXPECT_EQ(FramesSince(before), std::vector<std::string>{c.frame});
        EXPECT_TRUE(s->WriteFailures().empty());
        EXPECT_EQ(p.GetStrValue(), c.text.substr(0, 64));
        Manager->DestroyDevice(*Device);
        Line.reset();
        Runner.reset();
    }
}

TEST_F(PtLoginTest, ATextEndsAtItsFirstNul) {
    TParameterService* s = Login("vx41.drive");
    ASSERT_NE(s, nullptr);
    SetDriveValue(0x2002, "41 42 00 43 44");
    auto& p = Node<TStringParameter>(*s, 0x2002);
    ASSERT_TRUE(Reread(*s, p));
    EXPECT_EQ(p.GetStrValue(), "AB");
}

TEST_F(PtLoginTest, BooleansReadAnyNonZeroWordAsTrue) {
    TParameterService* s = Login("vx41.drive");
    ASSERT_NE(s, nullptr);
    auto& b = Node<TBoolParameter>(*s, 0x2012);
    for (const auto& [word, value] : {std::pair{"02 00", true}, std::pair{"00 00", false}, std::pair{"00 01", true}}) {
        SCOPED_TRACE(word);
        SetDriveValue(0x2012, word);
        ASSERT_TRUE(Reread(*s, b));
        EXPECT_EQ(b.GetBoolValue(), value);
    }
    const std::size_t before = ValueFrames().size();
    ASSERT_TRUE(WritePass(*s, b, [&] { b.SetScaledValue("on", usSI, "SCALED"); }));
    ASSERT_TRUE(WritePass(*s, b, [&] { b.SetBoolValue(false); }));
    EXPECT_EQ(FramesSince(before), (std::vector<std::string>{"89 02 12 20 01 00", "89 02 12 20 00 00"}));
    EXPECT_FALSE(b.GetBoolValue());
}

TEST_F(PtLoginTest, TheGuestSwitchShowsOrHidesTheTree) {
    for (const char* word : {"01 00", "00 00"}) {
        SCOPED_TRACE(word);
        SimDriveDescription drive = SimLoadDrive(SimDataDir() + "/vx41.drive");
        Attach(std::move(drive));
        SetDriveValue(0x0CCA, word);
        TDevice& d = NewDevice("VelkorOnline", "GUEST", "");
        ASSERT_TRUE(Start(d));
        ASSERT_EQ(d.State(), dstStarted);
        TParameterService& s = Params(d);
        EXPECT_EQ(s.TreeRoot().Model().GetVisible(), std::string(word) == "01 00");
        Manager->DestroyDevice(d);
        Line.reset();
        Runner.reset();
    }
}

TEST_F(PtLoginTest, ABooleanSetsTheFlagsThatGovernVisibility) {
    TParameterService* s = Login("vx41.drive");
    ASSERT_NE(s, nullptr);
    auto& tuning = Node<TBoolParameter>(*s, 0x2010);
    TParameter& governed = *s->FindParameterWithDeviceUPID(0x1004); // "Phase Trim", flag ShowTuning
    TParameter& plain = *s->FindParameterWithDeviceUPID(0x1000);
    EXPECT_FALSE(governed.GetAttrFlag(AttrVisible));
    EXPECT_TRUE(plain.GetAttrFlag(AttrVisible));

    ASSERT_TRUE(WritePass(*s, tuning, [&] { tuning.SetBoolValue(true); }));
    EXPECT_TRUE(governed.GetAttrFlag(AttrVisible));
    TParameter* dir = nullptr;
    s->ForEachParameter([&](TParameter& P, bool& Stop) {
        if (P.Caption() == "Tuning") {
            dir = &P;
            Stop = true;
        }
    });
    ASSERT_NE(dir, nullptr);
    EXPECT_TRUE(dir->GetAttrFlag(AttrVisible));

    ASSERT_TRUE(WritePass(*s, tuning, [&] { tuning.SetBoolValue(false); }));
    EXPECT_FALSE(governed.GetAttrFlag(AttrVisible));
    EXPECT_FALSE(dir->GetAttrFlag(AttrVisible));
    EXPECT_TRUE(plain.GetAttrFlag(AttrVisible));
}

TEST_F(PtLoginTest, EnumeratorsWriteTheirWidthThroughTheirChildren) {
    TParameterService* s = Login("vx41.drive");
    ASSERT_NE(s, nullptr);
    auto& mode = Node<TEnumDir16Parameter>(*s, 0x2020);
    auto& filter = Node<TEnumDir8Parameter>(*s, 0x2021);
    auto& feedback = Node<TEnumDir32Parameter>(*s, 0x2022);
    std::vector<TEnumChild16Parameter*> children;
    mode.GetChildList(children);
    ASSERT_EQ(children.size(), 4u);

    const std::size_t before = ValueFrames().size();
    // A child's Modify queues its directory.
    ASSERT_TRUE(WritePass(
        *s, mode, [&] { mode.SetValue(children[3]->ChildValue()); }, children[3]));
    ASSERT_TRUE(WritePass(*s, filter, [&] { filter.SetScaledValue("0", usSI, "SCALED"); }));
    ASSERT_TRUE(WritePass(*s, feedback, [&] { feedback.SetScaledValue("1", usSI, "SCALED"); }));
    ASSERT_TRUE(WritePass(*s, mode, [&] { mode.SetScaledValue("4660", usSI, "SCALED"); }));
    EXPECT_EQ(FramesSince(before), (std::vector<std::string>{"89 02 20 20 05 00", "89 02 21 20 00", "89 02 22 20 01 00", "89 02 20 20 34 12"}));
    EXPECT_EQ(filter.GetSelectedChild()->Caption(), "None");
    EXPECT_EQ(feedback.GetSelectedChild()->Caption(), "Resolver");
    // A value no child names.
    EXPECT_EQ(mode.GetSelectedChild(), nullptr);
    EXPECT_EQ(mode.GetRawDataStr("HEX"), "1234h");
    EXPECT_EQ(mode.GetRawDataStr("SCALED"), "");
    EXPECT_EQ(mode.SelectedEntryCaption(), "");
    EXPECT_EQ(DriveValue(0x2020), "34 12");
}

TEST_F(PtLoginTest, ARadioChoiceIsWrittenThroughItsChild) {
    TParameterService* s = Login("vx41.drive");
    ASSERT_NE(s, nullptr);
    auto& homing = Node<TRadioDir16Parameter>(*s, 0x2030);
    std::vector<TRadioChildParameter*> choices;
    homing.GetChildList(choices);
    ASSERT_EQ(choices.size(), 2u);
    EXPECT_TRUE(choices[0]->GetBoolValue());

    const std::size_t before = ValueFrames().size();
    ASSERT_TRUE(WritePass(*s, *choices[1], [&] { choices[1]->SetScaledValue("TRUE", usSI, "SCALED"); }));
    EXPECT_FALSE(choices[0]->GetBoolValue());
    EXPECT_TRUE(choices[1]->GetBoolValue());
    EXPECT_EQ(homing.GetSelectedChild(), choices[1]);

    // -1 in the signed 32-bit family: four bytes.
    auto& direction = Node<TRadioDir32Parameter>(*s, 0x2031);
    EXPECT_EQ(direction.GetRawDataStr("HEX"), "FFFFFFFFh");
    EXPECT_EQ(direction.GetRawDataStr("DEC"), "-1");
    EXPECT_EQ(direction.GetIntValue(), -1);
    EXPECT_EQ(direction.GetSelectedChild()->Caption(), "Reverse");
    ASSERT_TRUE(WritePass(*s, direction, [&] { direction.SetScaledValue("-1", usSI, "SCALED"); }));
    EXPECT_EQ(FramesSince(before), (std::vector<std::string>{"89 02 30 20 02 00", "89 02 31 20 FF FF FF FF"}));

    // The bit directory compares the whole word: 0x0101 selects nothing.
    auto& brake = Node<TRadioDirBitParameter>(*s, 0x2032);
    SetDriveValue(0x2032, "01 01");
    ASSERT_TRUE(Reread(*s, brake));
    EXPECT_EQ(brake.GetValue(), 0x0101);
    EXPECT_EQ(brake.GetSelectedChild(), nullptr);
    EXPECT_EQ(brake.GetRawDataStr("HEX"), "101h");
}

TEST_F(PtLoginTest, AShortAnswerLeavesTheEnumeratorInvalidAndTheLoginGoesOn) {
    SimDriveDescription drive = SimLoadDrive(SimDataDir() + "/vx41.drive");
    Attach(std::move(drive));
    Runner->Faults().Add("cmd=88 upid=2020 truncate=3");
    TDevice& d = NewDevice();
    Device = &d;
    ASSERT_TRUE(Start(d));
    ASSERT_EQ(d.State(), dstStarted);
    TParameterService& s = Params(d);
    auto& mode = Node<TEnumDir16Parameter>(s, 0x2020);
    EXPECT_FALSE(mode.GetValid());
    EXPECT_THROW(mode.GetValue(), Exception);
    EXPECT_TRUE(Node<TEnumDir8Parameter>(s, 0x2021).GetValid());
    EXPECT_TRUE(Node<TRadioDirBitParameter>(s, 0x2032).GetValid());
    // The next read takes the whole answer.
    ASSERT_TRUE(Reread(s, mode));
    EXPECT_EQ(mode.GetValue(), 3);
}

} // namespace
} // namespace vo
