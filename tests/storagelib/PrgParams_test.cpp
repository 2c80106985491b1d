// The command line as switches by name and plain arguments in order.
#include "storagelib/PrgParams.h"

#include "tests/support/ScriptedPrompt.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vo {
namespace {

std::vector<std::string> Plain() {
    std::vector<std::string> out;
    for (int i = 0; i < ProgParamArray()->GetCount(); ++i) out.push_back(ProgParamArray()->GetStrAtIndex(i));
    return out;
}

std::vector<std::string> Switches() {
    std::vector<std::string> out;
    TSLDictionary* d = ProgParamDict();
    for (int i = 0; i < d->GetCount(); ++i) out.push_back(d->GetNameAtIndex(i) + "=" + d->GetStrAtIndex(i));
    return out;
}

TEST(ProgramParameters, SwitchesValuesAndPlainArguments) {
    test::TScriptedPromptScope prompt;
    ReadProgramParameters({"DEVELOP", "-QP2BAUD:115200", "-NoLogin", "C:\\Work\\Axis.VKC",
                           "-script:C:\\a:b.sct", "-", "second"});
    EXPECT_EQ(Switches(), (std::vector<std::string>{"QP2BAUD=115200", "NoLogin=", "script=C:\\a:b.sct", "="}));
    EXPECT_EQ(Plain(), (std::vector<std::string>{"DEVELOP", "C:\\Work\\Axis.VKC", "second"}));
    EXPECT_TRUE(ProgParamDict()->NameExists("qp2baud"));
    EXPECT_EQ(ProgParamDict()->GetStrWithName("QP2BAUD"), "115200");
    EXPECT_TRUE(ProgParamDict()->NameExists("NOLOGIN"));
    EXPECT_EQ(ProgParamDict()->GetStrWithName("NoLogin"), "");
    EXPECT_EQ(prompt.Count(), 0u);
}

TEST(ProgramParameters, LoneConfigurationFileIsThePlainArgument) {
    ReadProgramParameters({"Axis.vkc"});
    EXPECT_EQ(ProgParamDict()->GetCount(), 0);
    EXPECT_EQ(Plain(), (std::vector<std::string>{"Axis.vkc"}));
}

TEST(ProgramParameters, DuplicateSwitchIsReportedAndTheFirstKept) {
    test::TScriptedPromptScope prompt;
    ReadProgramParameters({"-Debug:1", "x", "-debug:2", "-NoAuto"});
    EXPECT_EQ(Switches(), (std::vector<std::string>{"Debug=1", "NoAuto="}));
    EXPECT_EQ(Plain(), (std::vector<std::string>{"x"}));
    ASSERT_EQ(prompt.Count(), 1u);
    EXPECT_EQ(prompt.Texts()[0], "Error: Command Line Parameter Duplication of '-debug'");
}

TEST(ProgramParameters, EmptyArgumentEndsTheListAndEachCallStartsAfresh) {
    ReadProgramParameters({"a", "", "-Debug"});
    EXPECT_EQ(Plain(), (std::vector<std::string>{"a"}));
    EXPECT_EQ(ProgParamDict()->GetCount(), 0);
    TSLArray* before = ProgParamArray();
    ReadProgramParameters({});
    EXPECT_NE(ProgParamArray(), nullptr);
    EXPECT_EQ(ProgParamArray()->GetCount(), 0);
    EXPECT_EQ(ProgParamDict()->GetCount(), 0);
    (void)before;
    // main's arguments: the program itself is no argument; UTF-8 becomes code page 1252
    const char* argv[] = {"/opt/velkor/velkor", "-INIFile:M\xC3\xBC"
                                                "ller.ini",
                          "\xE2\x82\xAC"};
    ReadProgramParameters(3, argv);
    EXPECT_EQ(ProgParamDict()->GetStrWithName("INIFile"), "M\xFCller.ini");
    EXPECT_EQ(Plain(), (std::vector<std::string>{"\x80"}));
}

} // namespace
} // namespace vo
