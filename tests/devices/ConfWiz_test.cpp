// The offline configuration wizard's model: controllers offered, and the tree
// names, versions and release built from firmware scripts of versions 2, 3
// and 4.
#include "devices/ConfWiz.h"

#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Sto.h"
#include "tests/support/KernelFixtures.h"

#include <gtest/gtest.h>

namespace vo {
namespace {

using test::ExpectError;

const std::string Common = R"(
  Controllers [A
    [D /Name 'Unsupported' /TypeSupported 0 /ZezTypeExt 'U' ]
    [D /Name 'C1' /TypeSupported 1 /ZezTypeExt 'Z' /IntfTypeExt 'IX' /ApplTypeExt 'AX' /PowerExtension 'P'
       /SupportedQTRVersions [A 2 10 ] /Interfaces [A 'I1' 'I0' ] /Applications [A 'A1' ] ]
    [D /Name 'Hidden' /TypeSupported 1 /HideOffline 1 /ZezTypeExt 'H' ]
    [D /Name 'Bare' /TypeSupported 1 /ZezTypeExt 'Z' /SupportedQTRVersions [A ] /PowerExtension '' ]
  ]
  I1 [D /Caption 'Io' /IntfTreeFileName 'If_' /IntfTreeVersion 2 /IntfTreeSubVersion 3 /IntfTreeBetaInfo 'b' ]
  I0 [D /Caption 'None' ]
  A1 [D /Caption 'App' /ApplTreeFileName 'Ap_' /ApplTreeVersion 1 /ApplTreeSubVersion 0 /ApplTreeBetaInfo '' ]
)";

const std::string Version2 = R"(
  OSTreeFileName 'Os_' OSTreeVersion 1 OSTreeSubVersion 4 OSTreeBetaInfo ''
  MCTreeFileName 'Mc_' MCTreeVersion 3 MCTreeSubVersion 1 MCTreeBetaInfo 'B2'
  ReleaseVersion 5 ReleaseSubVersion 6 ReleaseBuildInfo 'x'
)";

const std::string Version3 = R"(
  OSInfoDict [D /Z [D /TreeFileName 'Os_' /TreeVersion 1 /TreeSubVersion 4 /TreeBetaInfo '' ] ]
  MCInfoDict [D /Z [D /TreeFileName 'Mc_' /TreeVersion 3 /TreeSubVersion 1 /TreeBetaInfo 'B2' ] ]
  RelInfoDict [D /Z [D /RelVersion 5 /RelSubVersion 6 /RelBuildInfo 'x' /RelString 'R5.6' ] ]
)";

class ConfWizardTest : public ::testing::Test {
protected:
    TRef<TSLBlock> Block(const std::string& Body) {
        TRef<TSLObject> o = Storage.DecodeStringToObject("[B " + Body + " ]");
        return TRef<TSLBlock>(dynamic_cast<TSLBlock*>(o.Get()));
    }
    TStorageManager Storage;
    TConfWizard Wizard;
};

struct TNamesCase {
    int Version;
    const std::string* Body;
    int Interface;
    std::vector<MyAnsiString> Names;
    MyAnsiString Release;
};

TEST_F(ConfWizardTest, BuildsTheTreeNamesOfTheChoice) {
    const TNamesCase cases[] = {
        {2, &Version2, 0, {"Os_Z_V1S4", "Mc_SAP_V3S1_B2", "If_Z_V2S3_b", "Ap_Z_V1S0"}, ""},
        {2, &Version2, 1, {"Os_Z_V1S4", "Mc_SAP_V3S1_B2", "Ap_Z_V1S0"}, ""},
        {3, &Version3, 0, {"Os_Z_V1S4_", "Mc_SAP_V3S1_B2", "If_IX_V2S3_b", "Ap_AX_V1S0"}, "R5.6"},
        {4, &Version3, 1, {"Os_Z_V1S4_", "Mc_SAP_V3S1_B2", "Ap_AX_V1S0"}, "R5.6"},
        {5, &Version3, 0, {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Version << " " << c.Interface);
        Wizard.FFirmwareRelease.clear();
        Wizard.Initialize(Block(Common + *c.Body).Get(), c.Version);
        EXPECT_EQ(Wizard.Controllers(), (std::vector<MyAnsiString>{"C1", "Bare"}));
        EXPECT_EQ(Wizard.Interfaces(), (std::vector<MyAnsiString>{"Io", "None"}));
        Wizard.SelectInterface(c.Interface);
        Wizard.BuildNames();
        std::vector<MyAnsiString> names;
        for (int i = 0; i < Wizard.GetNumberOfIniFile(); ++i)
            names.push_back(Wizard.GetNameAtIndex(i));
        EXPECT_EQ(names, c.Names);
        if (c.Version > 4)
            continue;
        EXPECT_EQ(Wizard.FOSMainVersion, 1);
        EXPECT_EQ(Wizard.FOSSubVersion, 4);
        EXPECT_EQ(Wizard.FMCMainVersion, 3);
        EXPECT_EQ(Wizard.FIntfMainVersion, c.Interface == 0 ? 2 : 0);
        EXPECT_EQ(Wizard.FApplMainVersion, 1);
        EXPECT_EQ(Wizard.FReleaseVersion, 5);
        EXPECT_EQ(Wizard.FReleaseSubVersion, 6);
        EXPECT_EQ(Wizard.FReleaseBuildInfo, "x");
        EXPECT_EQ(Wizard.FDeviceType, "C1");
        EXPECT_EQ(Wizard.FFirmwareRelease, c.Release);
    }
}

TEST_F(ConfWizardTest, MissingEntriesAreAWrongFile) {
    ExpectError([&] { Wizard.Initialize(Block("OSInfoDict [D ]").Get(), 3); }, "Wrong file type!");
    ExpectError([&] { Wizard.Initialize(Block("Controllers 'x'").Get(), 3); }, "Wrong file type!");

    // An empty list of QTR versions: the names built so far stay.
    Wizard.Initialize(Block(Common + Version3).Get(), 3);
    Wizard.SelectController(1);
    EXPECT_FALSE(Wizard.InterfacesEnabled());
    EXPECT_EQ(Wizard.InterfaceIndex(), -1);
    ExpectError([&] { Wizard.BuildNames(); }, "Wrong file type!");
    ASSERT_EQ(Wizard.GetNumberOfIniFile(), 1);
    EXPECT_EQ(Wizard.GetNameAtIndex(0), "Os_Z_V1S4_");

    // A version 3 script without its release dictionary.
    Wizard.Initialize(Block(Common + "OSInfoDict [D /Z [D /TreeFileName 'Os_' /TreeVersion 1 /TreeSubVersion 4 /TreeBetaInfo '' ] ] MCInfoDict [D ]").Get(), 3);
    ExpectError([&] { Wizard.BuildNames(); }, "Wrong file type!");
    // A name listed under "Interfaces" without its entry.
    ExpectError([&] { Wizard.Initialize(Block(R"(Controllers [A [D /Name 'C' /TypeSupported 1 /Interfaces [A 'Nowhere' ] ] ])").Get(), 3); },
                "Wrong file type!");
    ExpectError([&] { Wizard.GetNameAtIndex(7); }, "TConfWizard.GetNameAtIndex: index out of bounds");
}

} // namespace
} // namespace vo
