#pragma once
// The fixture of the parameter model tests: a main scheduler, a device
// manager with the unit service registered, one online device (user SERVICE)
// with its unit service, a parameter service of that device, and a class
// registry with the directories and two test types:
//  - "TestInt" (TTestIntParameter): an integer whose value and width the test
//    sets; record keys of the base, "DEVICE_UPID" and "UUID";
//  - "TestBool" (TTestBoolParameter): a Boolean whose value the test sets;
//    record keys of the base and "SetVFlag".
// BuildTree hangs a "ParameterArray" in text notation into the tree by the
// records' levels.
#include "devices/DevMan.h"
#include "parameters/ParMan.h"
#include "parameters/ParSrv.h"
#include "parameters/PtClass.h"
#include "parameters/PtDir.h"
#include "parameters/PtGen.h"
#include "parameters/PtRoot.h"
#include "parameters/UniSrv.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20Rec.h"
#include "tests/support/KernelFixtures.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace vo::test {

inline constexpr const char* ParameterTestRegistry = R"(
[D /Devices [D /Profiles [D
    /Online [D /DeviceType 'Online' /DevVars [D /UserName 'SERVICE' ]
               /Services [A [D /Name 'UnitService' /Profile 'Services\Units' ] ] ] ] ]
   /Services [D /Units [D /Name 'UnitService' ]
                /Parameters [D /Name 'ParameterService' /Caption 'Parameters' /Visible #1 ] ] ]
)";

class TTestIntParameter : public TGenericIntParameter {
public:
    TTestIntParameter(TParameterService& AOwner, TSLRecord* ARecord) : TGenericIntParameter(AOwner, ARecord) {
        FTypeStr = "TestInt";
    }
    std::int64_t GetIntValue() const override { return Value; }
    void SetWidth(int Width) { FSize = Width; }
    void SetValid() { SetAttrFlag(AttrValid); }
    std::int64_t Value = 0;
};

class TTestBoolParameter : public TGenericBoolParameter {
public:
    TTestBoolParameter(TParameterService& AOwner, TSLRecord* ARecord) : TGenericBoolParameter(AOwner, ARecord) {
        FTypeStr = "TestBool";
    }
    bool GetBoolValue() const override { return Value; }
    void SetBoolValue(bool B) override { Value = B; }
    // Stores the value as read from the drive.
    void Commit(bool B) {
        Value = B;
        SetAttrFlag(AttrValid);
    }
    bool Value = false;
};

// Record definitions of the test types (the first row of each type carries
// its definition; later rows refer to it by name).
inline constexpr const char* DirDef =
    "[D:Directory /UPID 65535 /Level 1 /Caption '' /Permission 85 /AddrUsage 0 /UseVFlag '' ]";
inline constexpr const char* ClassDirDef =
    "[D:ClassDir /UPID 65535 /Level 1 /Caption '' /Permission 85 /AddrUsage 0 /UseVFlag '' ]";
inline constexpr const char* IntDef =
    "[D:TestInt /UPID 0 /DEVICE_UPID 0 /Level 1 /Caption '' /Permission 85 /AddrUsage 5 /UseVFlag '' /UUID 0 ]";
inline constexpr const char* BoolDef =
    "[D:TestBool /UPID 0 /Level 1 /Caption '' /Permission 85 /AddrUsage 5 /UseVFlag '' /SetVFlag [A ] ]";

class ParameterFixture : public MainSchedulerFixture {
protected:
    void SetUp() override {
        MainSchedulerFixture::SetUp();
        FRegistry = SLDecodeString(ParameterTestRegistry);
        auto* root = dynamic_cast<TSLDictionary*>(FRegistry.Get());
        ASSERT_NE(root, nullptr);
        FManager = std::make_unique<TDeviceManager>(DictionaryAtPath(root, "Devices"),
                                                    [root](const MyAnsiString& Path) { return DictionaryAtPath(root, Path); });
        FManager->RegisterServiceClass("UnitService", DeviceServiceClass<TUnitService>());
        FDevice = &FManager->CreateDevice("Drive", "Online");
        FDevice->CreateServices();
        FManager->ModelManager().Root().AddChild(FDevice->Model());
        Classes.RegisterParameterClass(ParameterClass<TDirectoryParameter>(), "Directory");
        Classes.RegisterParameterClass(ParameterClass<TClassDirParameter>(), "ClassDir");
        Classes.RegisterParameterClass(ParameterClass<TTestIntParameter>(), "TestInt");
        Classes.RegisterParameterClass(ParameterClass<TTestBoolParameter>(), "TestBool");
    }
    void TearDown() override {
        FService.reset();
        FManager.reset();
        MainSchedulerFixture::TearDown();
    }

    TDevice& Device() { return *FDevice; }
    TUnitService& Units() { return *FDevice->FindService<TUnitService>("UnitService"); }
    TParameterService& Service() {
        if (!FService) {
            FService = std::make_unique<TParameterService>(*FDevice, DictionaryAtPath(dynamic_cast<TSLDictionary*>(FRegistry.Get()), "Services\\Parameters"));
            FService->Initialize();
        }
        return *FService;
    }

    // Builds the nodes of Records (text notation of an array of records)
    // through the class registry and hangs them in by their levels (a record
    // one level deeper than the last goes under it, any other under the
    // nearest shallower node); then the nodes are indexed. The tree name is
    // added first when given. Returns the nodes in record order.
    std::vector<TParameter*> BuildTree(const MyAnsiString& Records, const MyAnsiString& TreeName = "Tree-1") {
        TParameterService& s = Service();
        if (!TreeName.empty())
            s.AddTree(TreeName);
        TRef<TSLObject> arr = SLDecodeString(Records);
        auto* a = dynamic_cast<TSLArray*>(arr.Get());
        EXPECT_NE(a, nullptr);
        std::vector<TParameter*> nodes;
        if (!a)
            return nodes;
        TParameter* at = &s.TreeRoot();
        for (int i = 0; i < a->GetCount(); ++i) {
            auto* rec = dynamic_cast<TSLRecord*>(a->GetObjAtIndex(i));
            EXPECT_NE(rec, nullptr);
            std::unique_ptr<TParameter> node = Classes.GetParameterClass(rec->GetTypeName()).Create(s, rec);
            const int level = node->Level();
            while (at->Level() >= level && at->Parent()) at = at->Parent();
            at = &at->AddChild(std::move(node));
            nodes.push_back(at);
        }
        s.IndexParameters();
        return nodes;
    }

    TRef<TSLObject> FRegistry;
    std::unique_ptr<TDeviceManager> FManager;
    TDevice* FDevice = nullptr;
    std::unique_ptr<TParameterService> FService;
    TParameterManager Classes;
};

} // namespace vo::test
