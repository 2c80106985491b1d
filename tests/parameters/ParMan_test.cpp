// The parameter class registry, its list settings, the parameter client and
// the set-up of the parameter model from the program's archived settings.
#include "parameters/ParMan.h"

#include "parameters/ParInit.h"
#include "parameters/UniMan.h"
#include "platform/FileNames.h"
#include "storagelib/SL20Arc.h"
#include "storagelib/SL20FileSto.h"
#include "storagelib/SL20Sto.h"
#include "tests/parameters/ParTestUtil.h"
#include "tests/support/KernelFixtures.h"
#include "tests/support/ScriptedPrompt.h"

#include <gtest/gtest.h>

#include <string>

namespace vo {
namespace {

using test::ExpectError;

TRef<TSLDictionary> Dict(const MyAnsiString& Text) {
    TRef<TSLObject> o = SLDecodeString(Text);
    return TRef<TSLDictionary>(dynamic_cast<TSLDictionary*>(o.Get()));
}

TEST(ParameterRegistry, NamesIgnoreCaseAndAreUnique) {
    TParameterManager m;
    m.RegisterParameterClass(ParameterClass<TDirectoryParameter>(), "Directory");
    m.RegisterParameterClass(ParameterClass<test::TTestIntParameter>(), "String");
    ExpectError([&] { m.RegisterParameterClass(ParameterClass<TClassDirParameter>(), "string"); },
                "TParameterManager.RegisterParameterClass: parameter class with name string already registered");
    EXPECT_TRUE(m.ParameterClassExists("DIRECTORY"));
    EXPECT_FALSE(m.ParameterClassExists("ClassDir"));
    EXPECT_EQ(m.GetParameterClass("directory"), ParameterClass<TDirectoryParameter>());
    ExpectError([&] { m.GetParameterClass("UInt16"); },
                "TParameterManager.GetParameterClass: parameter class with name UInt16 doesn't exist");
    EXPECT_EQ(m.GetName(ParameterClass<test::TTestIntParameter>()), "String");
    EXPECT_EQ(m.GetName(ParameterClass<TClassDirParameter>()), "");
    // a class under two names answers with the one that sorts first
    m.RegisterParameterClass(ParameterClass<TDirectoryParameter>(), "Alias");
    EXPECT_EQ(m.GetName(ParameterClass<TDirectoryParameter>()), "Alias");
}

TEST(ParameterRegistry, ListSettings) {
    const struct {
        const char* Widths;
        int Changed; // widths 0 .. Changed-1 are 100 + index
    } cases[] = {{"", 0}, {"[D /Width 100 ] [D /Width 101 ] [D /Width 102 ]", 3}};
    for (const auto& c : cases) {
        TParameterManager m;
        m.Initialize(*Dict(MyAnsiString("[D /DisplayInfo [D /ShowDetails #1 /WidthsArray [A ") + c.Widths + " ] ] ]"));
        EXPECT_TRUE(m.ShowDetails());
        for (int i = 0; i < ParColumnCount; ++i) EXPECT_EQ(m.GetColWidth(i), i < c.Changed ? 100 + i : 50) << i;
    }
    // twelve elements set all eleven widths; the twelfth is ignored
    MyAnsiString twelve;
    for (int i = 0; i < 12; ++i) twelve += "[D /Width " + std::to_string(200 + i) + " ] ";
    TParameterManager m;
    m.Initialize(*Dict("[D /DisplayInfo [D /ShowDetails #0 /WidthsArray [A " + twelve + "] ] ]"));
    EXPECT_FALSE(m.ShowDetails());
    EXPECT_EQ(m.GetColWidth(10), 210);
    ExpectError([&] { m.GetColWidth(11); }, "TParameterManager.GetColWidth: index out of bounds");

    // without "DisplayInfo" nothing changes; a missing key stops the reading
    TParameterManager partial;
    partial.Initialize(*Dict("[D /Other 1 ]"));
    EXPECT_FALSE(partial.ShowDetails());
    EXPECT_THROW(partial.Initialize(*Dict("[D /DisplayInfo [D /ShowDetails #1 /WidthsArray [A [D /Width 7 ] [D ] ] ] ]")),
                 Exception);
    EXPECT_TRUE(partial.ShowDetails());
    EXPECT_EQ(partial.GetColWidth(0), 7);
    EXPECT_EQ(partial.GetColWidth(1), 50);

    TParameterClient client;
    EXPECT_EQ(client.GetColWidth(3), 50);
    client.CopySettings(partial);
    EXPECT_TRUE(client.FShowDetails);
    EXPECT_EQ(client.GetColWidth(0), 7);
    client.SetColWidth(0, 9);
    EXPECT_EQ(client.GetColWidth(0), 9);
    EXPECT_EQ(partial.GetColWidth(0), 7);
    ExpectError([&] { client.SetColWidth(-1, 1); }, "TParameterClient.SetColWidth: index out of bounds");
}

// The program's set-up: the archived settings and units, the classes and the
// unit service.
class ParameterInit : public test::MainSchedulerFixture {
protected:
    void TearDown() override {
        PurgeAutoReleasePool();
        MainSchedulerFixture::TearDown();
    }
};

TEST_F(ParameterInit, FromTheProgramArchive) {
    test::TScriptedPromptScope prompt;
    TStorageManager storage(RealPathToStored(VO_PROGRAM_DIR) + "\\");
    storage.AnnounceStoragePlugin(std::make_unique<TFileStoragePlugin>(), true);
    storage.AnnounceStoragePlugin(std::make_unique<TArchiveStoragePlugin>(), true);
    TRef<TSLStorageObject> o = storage.GetObject("archive://Archives\\Config\\VelCmdr.ini", saRead);
    o->Read();
    TRef<TSLObject> settings = o->GetData();

    TRef<TSLObject> devices = SLDecodeString("[D /Profiles [D ] ]");
    TDeviceManager deviceManager(dynamic_cast<TSLDictionary*>(devices.Get()));
    TParameterManager parameters;
    TUnitManager units;
    InitParameters(deviceManager, dynamic_cast<TSLDictionary*>(settings.Get()), parameters, units);

    EXPECT_TRUE(prompt.Texts().empty());
    EXPECT_TRUE(deviceManager.ServiceClassExists("UnitService"));
    EXPECT_TRUE(deviceManager.ServiceClassExists("ParameterService"));
    for (const char* type : {"UInt8", "SInt8", "UInt16", "SInt16", "UInt32", "SInt32"})
        EXPECT_TRUE(parameters.ParameterClassExists(type)) << type;
    ASSERT_NE(units.GetBaseUnitWithName("Time"), nullptr);
    EXPECT_NE(units.GetBaseUnitWithName("Time")->GetUnitWithName("ns"), nullptr);
    EXPECT_TRUE(parameters.ParameterClassExists("Directory"));
    EXPECT_TRUE(parameters.ParameterClassExists("ClassDir"));
    EXPECT_FALSE(parameters.ShowDetails());
    EXPECT_EQ(parameters.GetColWidth(0), 160);
    EXPECT_EQ(parameters.GetColWidth(1), 100);
    for (int i = 0; i < ParColumnCount; ++i) EXPECT_GT(parameters.GetColWidth(i), 0);
}

// Broken settings leave the defaults (and say so in the log); the classes are
// registered all the same.
TEST_F(ParameterInit, BrokenSettingsKeepTheDefaults) {
    test::TScriptedPromptScope prompt;
    test::CapturedTrace trace;
    TStorageManager storage(RealPathToStored(VO_PROGRAM_DIR) + "\\");
    TRef<TSLObject> devices = SLDecodeString("[D /Profiles [D ] ]");
    TDeviceManager deviceManager(dynamic_cast<TSLDictionary*>(devices.Get()));
    TParameterManager parameters;
    TUnitManager units;
    TRef<TSLDictionary> settings = Dict("[D /Parameter [D /DisplayInfo [D /ShowDetails 'yes' ] ] ]");
    InitParameters(deviceManager, settings.Get(), parameters, units);
    EXPECT_EQ(prompt.Texts().size(), 1u); // no archive plug-in: the units are missing
    EXPECT_EQ(units.GetNumberOfBaseUnits(), 0);
    EXPECT_FALSE(parameters.ShowDetails());
    EXPECT_TRUE(parameters.ParameterClassExists("Directory"));
    EXPECT_TRUE(trace.Contains("InitParameters: settings \"Parameter\""));
}

} // namespace
} // namespace vo
