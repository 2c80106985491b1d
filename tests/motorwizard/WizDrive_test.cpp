// The motor wizard on the simulated drive vx41 over a pseudo-terminal: the
// definition file found by the drive's actuator name, the values read from
// the drive, and the writing pass (stop first, one batch, refusals
// reported).
#include <gtest/gtest.h>

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

TEST_F(WizDriveTest, LogsIn) { Login(); }

} // namespace
} // namespace vo::test
