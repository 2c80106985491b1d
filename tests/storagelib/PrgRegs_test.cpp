// Settings registries: key paths into one dictionary, typed access, and
// reading and writing through the storage manager (files and archives).
#include "storagelib/PrgRegs.h"

#include "tests/storagelib/SL20StoTestUtil.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vo {
namespace {

using test::E;
using test::RawArchive;
using test::StorageTest;
using test::V;
using test::W;

using RegistryTest = StorageTest;

TEST_F(RegistryTest, PathsCreateAndFindNestedDictionaries) {
    TProgramRegistry r;
    r.AddStrKey("A\\B\\C", "value");
    EXPECT_EQ(W(r.GetRegData()), "[D /A [D /B [D /C 'value' ] ] ]");
    EXPECT_THROW_MSG(r.AddStrKey("A\\B\\C", "again"), Exception,
                     "TSLDictionary.AddObject: object with name 'C' already exists");
    r.AddIntKey("a\\b\\N", 5); // other letter case finds the same dictionaries
    EXPECT_EQ(r.GetIntKey("A\\B\\n"), 5);
    EXPECT_EQ(r.GetStrKey("a\\b\\c"), "value");
    EXPECT_EQ(r.GetKeyNames("A\\B"), (std::vector<MyAnsiString>{"C", "N"}));
    EXPECT_EQ(r.GetKeyNames("A\\B\\C"), std::vector<MyAnsiString>{});
    EXPECT_EQ(r.GetDictKey("A\\B\\C"), nullptr);
    // the dictionary handed out is the live one
    r.GetDictKey("A")->AddObject("Z", V("1").Get());
    EXPECT_EQ(r.GetIntKey("A\\Z"), 1);
    // an empty part names the entry with the empty name
    r.AddIntKey("E\\", 3);
    EXPECT_EQ(r.GetIntKey("E\\"), 3);
}

TEST_F(RegistryTest, MissingKeysAndWrongKinds) {
    TProgramRegistry r;
    r.AddIntKey("View\\Mode", 1);
    r.AddStrKey("View\\Name", "x");
    EXPECT_THROW_MSG(r.GetIntKey("Nope\\Mode"), Exception, "TProgramRegistry: key Nope\\Mode not found");
    EXPECT_THROW_MSG(r.GetIntKey("View\\Nope"), Exception, "TSLDictionary error: no object named Nope");
    EXPECT_THROW_MSG(r.SetIntKey("View\\Nope", 2), Exception, "TSLDictionary error: no object named Nope");
    EXPECT_THROW_MSG(r.SetIntKey("Nope\\Mode", 2), Exception, "TProgramRegistry: key Nope\\Mode not found");
    EXPECT_THROW(r.GetIntKey("View\\Name"), EInvalidCast);
    EXPECT_THROW(r.SetStrKey("View\\Mode", "y"), EInvalidCast);
    EXPECT_THROW(r.GetIntKey("View\\Mode\\Deeper"), EInvalidCast); // a folder part that is no dictionary
    EXPECT_THROW_MSG(r.SetDictKey("View\\Other", nullptr), Exception,
                     "TSLDictionary.RemoveObject: object with name 'Other' not found");
    EXPECT_EQ(W(r.GetRegData()), "[D /View [D /Mode 1 /Name 'x' ] ]");
}

TEST_F(RegistryTest, SettersChangeInPlaceAndDictionariesAreCopied) {
    TProgramRegistry r;
    r.AddIntKey("S\\I", 1);
    r.AddStrKey("S\\T", "a");
    TSLObject* held = r.GetObject("S\\I");
    r.SetIntKey("S\\I", 2);
    EXPECT_EQ(static_cast<TSLLongint*>(held)->GetLongintValue(), 2);
    r.SetStrKey("S\\T", "b");
    EXPECT_EQ(r.GetStrKey("S\\T"), "b");
    TRef<TSLDictionary> d = test::VAs<TSLDictionary>("[D /k 1 ]");
    r.SetDictKey("S", d.Get());
    d->AddObject("later", V("2").Get());
    EXPECT_EQ(W(r.GetRegData()), "[D /S [D /k 1 ] ]");
    // integers are cut to their lower 32 bits
    r.GetDictKey("S")->AddObject("big", MakeRef<TSLLongint>((int64_t{1} << 32) + 1).Get());
    r.GetDictKey("S")->AddObject("neg", MakeRef<TSLLongint>(int64_t{0xFFFFFFFF}).Get());
    EXPECT_EQ(r.GetIntKey("S\\big"), 1);
    EXPECT_EQ(r.GetIntKey("S\\neg"), -1);
}

TEST_F(RegistryTest, ReadsAndWritesThroughTheStorageManager) {
    Put("prog/Archives.sla",
        RawArchive({E("Config\\VendorInfo.stx", "[D /Company [D /HomePage 'www.example.com' ] ]")}));
    TProgramRegistry company;
    company.ReadFromFile("archive://Archives\\Config\\VendorInfo.stx");
    EXPECT_EQ(company.GetStrKey("Company\\HomePage"), "www.example.com");
    company.SetStrKey("Company\\HomePage", "www.example.org");
    company.WriteToFile("archive://Archives\\Config\\VendorInfo.stx");
    EXPECT_EQ(Get("prog/Archives.sla"),
              RawArchive({E("Config\\VendorInfo.stx", "[D /Company [D /HomePage 'www.example.org' ] ] ")}));

    TProgramRegistry view;
    view.AddIntKey("ViewConfig\\ExitWarning", 1);
    view.AddStrKey("ViewConfig\\UPIDDispMode", "HEX");
    view.WriteToFile("ViewConfig.ini");
    EXPECT_EQ(Get("cwd/ViewConfig.ini"), "[D /ViewConfig [D /ExitWarning 1 /UPIDDispMode 'HEX' ] ] ");
    TProgramRegistry again;
    again.ReadFromFile("ViewConfig.ini");
    EXPECT_EQ(again.GetIntKey("viewconfig\\exitwarning"), 1);
}

TEST_F(RegistryTest, FailedOrForeignReadsLeaveItEmpty) {
    TProgramRegistry r;
    r.AddIntKey("K", 1);
    Put("cwd/arr.ini", "[A 1 2 ]");
    r.ReadFromFile("arr.ini");
    EXPECT_EQ(r.GetRegData()->GetCount(), 0);
    r.AddIntKey("K", 1);
    EXPECT_THROW(r.ReadFromFile("missing.ini"), Exception);
    EXPECT_EQ(r.GetRegData()->GetCount(), 0);
    Put("cwd/bad.ini", "[D /K ");
    EXPECT_THROW(r.ReadFromFile("bad.ini"), Exception);
    EXPECT_EQ(r.GetRegData()->GetCount(), 0);
}

TEST(ProgramRegistries, SevenGlobalsExistAndDiffer) {
    TProgramRegistry* all[] = {&ProgramRegistry(), &CompanyRegistry(), &ViewConfigRegistry(),
                               &LoginConfigRegistry(), &InstallConfigRegistry(), &CANDriverConfigRegistry(),
                               &OscilloscopeSettingsRegistry()};
    for (std::size_t i = 0; i < std::size(all); ++i)
        for (std::size_t j = i + 1; j < std::size(all); ++j) EXPECT_NE(all[i], all[j]);
    EXPECT_EQ(&ProgramRegistry(), all[0]);
}

} // namespace
} // namespace vo
