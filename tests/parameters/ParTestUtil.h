#pragma once
// The fixture of the parameter model tests: a main scheduler, a device
// manager with the unit service registered, and one online device whose
// profile lists its unit service.
#include "devices/DevMan.h"
#include "parameters/UniSrv.h"
#include "storagelib/SL20Dec.h"
#include "tests/support/KernelFixtures.h"

#include <gtest/gtest.h>

#include <memory>

namespace vo::test {

inline constexpr const char* ParameterTestRegistry = R"(
[D /Devices [D /Profiles [D
    /Online [D /DeviceType 'Online' /DevVars [D /UserName 'SERVICE' ]
               /Services [A [D /Name 'UnitService' /Profile 'Services\Units' ] ] ] ] ]
   /Services [D /Units [D /Name 'UnitService' ]
                /Parameters [D /Name 'ParameterService' /Caption 'Parameters' /Visible #1 ] ] ]
)";

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
    }
    void TearDown() override {
        FManager.reset();
        MainSchedulerFixture::TearDown();
    }

    TDevice& Device() { return *FDevice; }
    TUnitService& Units() { return *FDevice->FindService<TUnitService>("UnitService"); }
    TSLDictionary* ServiceProfile(const char* Path) {
        return DictionaryAtPath(dynamic_cast<TSLDictionary*>(FRegistry.Get()), Path);
    }

    TRef<TSLObject> FRegistry;
    std::unique_ptr<TDeviceManager> FManager;
    TDevice* FDevice = nullptr;
};

} // namespace vo::test
