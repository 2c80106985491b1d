// The motor wizard on the simulated drive vx41 over a pseudo-terminal: the
// definition file found by the drive's actuator name, the values read from
// the drive, and the writing pass (stop first, one batch, refusals
// reported).
#include <gtest/gtest.h>

#include <algorithm>

#include "motorwizard/MotWizMan.h"
#include "tests/motorwizard/WizFakes.h"
#include "tests/parameters/ParLoginFixture.h"

namespace vo::test {
namespace {

class WizDriveTest : public ParLoginTestBase {
protected:
    void SetUp() override {
        ParLoginTestBase::SetUp();
        LoadLanguageTexts();
        RegisterWizardClasses(man);
        man.SetMotorsFolder(DataPath("Motors"));
        man.SetDialog(&dialog);
    }
    void TearDown() override {
        man.SetDialog(nullptr);
        man.ReleaseTree();
        ParLoginTestBase::TearDown();
    }
    TDevice& Login() {
        Attach("vx41.drive");
        TDevice& d = NewDevice();
        EXPECT_TRUE(Start(d));
        std::string frames;
        for (const auto& f : FramesIn()) frames += f + "\n";
        for (const auto& f : Runner->Transcript().Frames(SimDirection::Out)) frames += "out " + SimToHex(f) + "\n";
        EXPECT_EQ(d.State(), dstStarted) << frames;
        return d;
    }

    FakeDialog dialog;
    TMotWizManager man;
};

TEST_F(WizDriveTest, TheDrivesActuatorNameFindsItsFile) {
    TDevice& d = Login();
    man.FInitializing = true;
    ASSERT_TRUE(man.Init(d, false));
    EXPECT_TRUE(Prompt.Texts().empty());
    EXPECT_EQ(man.ADFName(), "LM-1205");
    EXPECT_TRUE(man.FLastPageVisited); // an ordinary start may finish on any page
    // The drive keeps its values; the file recommends its own.
    auto& stroke = dynamic_cast<TWizParDouble&>(*man.GetWizParWithName("Stroke"));
    EXPECT_DOUBLE_EQ(stroke.FTreeValue, 0.1);
    auto& peak = dynamic_cast<TWizParDouble&>(*man.GetWizParWithName("Peak_Current"));
    EXPECT_DOUBLE_EQ(peak.FTreeValue, 2.0);
    EXPECT_DOUBLE_EQ(peak.FRuleValue, 2.5);
}

// The frames of the writing pass: parameter writes and the stop.
std::vector<std::string> WriteFrames(const std::vector<std::string>& Frames) {
    std::vector<std::string> out;
    for (const std::string& f : Frames)
        if (f.rfind("89 ", 0) == 0 || f == "21")
            out.push_back(f);
    return out;
}

class WizWriteTest : public WizDriveTest {
protected:
    void SetUp() override {
        WizDriveTest::SetUp();
        device = &Login();
        shell.openDialogAnswer = DataPath("Motors/Linear/LM-1205.adf");
        ASSERT_TRUE(man.Init(*device, true));
    }
    TWizParDouble& D(const char* n) { return dynamic_cast<TWizParDouble&>(*man.GetWizParWithName(n)); }
    bool WaitClosed() {
        return RunUntil([&] { return dialog.closed > 0; }, std::chrono::seconds(10));
    }

    TestShell shell;
    TDevice* device = nullptr;
};

TEST_F(WizWriteTest, ValuesComeFromTheDriveAndTheFile) {
    EXPECT_EQ(man.ADFName(), "LM-1205");
    EXPECT_EQ(man.GetPageCount(), 9);
    EXPECT_DOUBLE_EQ(D("Hall_Offset").FTreeValue, 30); // read-only: the drive's value
    EXPECT_DOUBLE_EQ(D("Hall_Offset").FRuleValue, 30);
    EXPECT_DOUBLE_EQ(D("Stroke").FMaxValue, 0.5);
    EXPECT_DOUBLE_EQ(D("Stroke").FTreeValue, 0.1); // a new actuator starts from its defaults
    EXPECT_EQ(D("Stroke").FUUID, 2);
    auto& slider = dynamic_cast<TWizParEnum&>(*man.GetWizParWithName("Slider"));
    EXPECT_EQ(slider.FRuleValue, 3 * 65536 + 7);
    EXPECT_FALSE(man.GetWizParWithName("Spare")->FFoundInTree);
    EXPECT_EQ(dynamic_cast<TWizParString&>(*man.GetWizParWithName("Motor_Name")).FTreeValue, "LM-1205");
    auto& kind = dynamic_cast<TWizParEnum&>(*man.GetWizParWithName("Motor_Kind"));
    EXPECT_EQ(kind.GetCaptionAt(0), "Linear Motor"); // the radio child's caption
    EXPECT_TRUE(kind.GetHide(2)); // the drive has no kind 4
}

TEST_F(WizWriteTest, RunningDriveIsStoppedThenOneBatchIsWritten) {
    TScopedTimeOverride slow(MotWizStopTimeout, 30000);
    D("Stroke").FTreeValue = 0.1234567; // written as the unit's 123457 steps
    D("Peak_Current").FRuleValue = D("Peak_Current").FTreeValue + 0.0004; // below one step of 1 mA
    D("Hall_Offset").FRuleValue = 45;
    man.BuildChangesList();
    std::vector<MyAnsiString> listed;
    for (int i = 0; i < man.GetChangedWizParCount(); ++i) listed.push_back(man.GetChangedWizParAtIndex(i).FName);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), "Peak_Current"), 0);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), "Hall_Offset"), 1);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), "Spare"), 0);

    Runner->WithDrive([](SimDrive& D) {
        D.SetRunning(true);
        return 0;
    });
    ASSERT_TRUE(RunUntil([&] { return Status(*device).GetRunning(); }, std::chrono::seconds(5)));
    const std::size_t before = FramesIn().size();
    man.Finish();
    ASSERT_TRUE(WaitClosed());
    std::vector<std::string> frames = FramesIn();
    frames.erase(frames.begin(), frames.begin() + static_cast<std::ptrdiff_t>(before));
    const std::vector<std::string> writes = WriteFrames(frames);
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.front(), "21");
    // In list order; the read-only and the absent parameter are not written.
    const std::vector<std::string> upids = {"6D 18", "6E 18", "68 10", "69 10", "6A 10", "6B 10", "6C 10", "6E 10", "70 10"};
    ASSERT_EQ(writes.size(), upids.size() + 1);
    for (std::size_t i = 0; i < upids.size(); ++i)
        EXPECT_EQ(writes[i + 1].substr(6, 5), upids[i]) << writes[i + 1];
    EXPECT_EQ(writes[3], "89 02 68 10 41 E2 01 00");
    // Texts go as blocks: the file name in use and the motor name.
    EXPECT_EQ(CountFrames("16 02 4C 18 4C 4D 2D 31 32 30 35 00"), 1u);
    EXPECT_EQ(CountFrames("16 02 6D 10 4C 4D 2D 31 32 30 35 00"), 1u);
    // The drive refuses the pole pitch: reported before the dialog closes.
    ASSERT_EQ(Prompt.Texts().size(), 1u);
    EXPECT_NE(Prompt.Texts()[0].find("Pole Pitch"), std::string::npos);
    EXPECT_EQ(man.WorkState(), TWizWorkState::wsReady);
}

TEST_F(WizWriteTest, StopThatIsNeverDoneWritesNothing) {
    TScopedTimeOverride fast(MotWizStopTimeout, 300);
    Runner->WithDrive([](SimDrive& D) {
        D.SetRunning(true);
        D.SetStopIgnored(true);
        return 0;
    });
    ASSERT_TRUE(RunUntil([&] { return Status(*device).GetRunning(); }, std::chrono::seconds(5)));
    man.Finish();
    ASSERT_TRUE(RunUntil([&] { return !Prompt.Texts().empty(); }, std::chrono::seconds(10)));
    EXPECT_NE(Prompt.Texts()[0].find("Nothing was written"), std::string::npos);
    EXPECT_EQ(man.WorkState(), TWizWorkState::wsReady);
    EXPECT_EQ(dialog.closed, 0);
    EXPECT_EQ(dialog.busy.back(), false);
    EXPECT_EQ(CountFrames("21"), 1u);
    for (const std::string& f : FramesIn()) EXPECT_NE(f.rfind("89 ", 0), 0u) << f;
}


} // namespace
} // namespace vo::test
