#include "kernel/PrgObjs.h"

#include <gtest/gtest.h>

#include "platform/Exception.h"
#include "tests/support/ExpectError.h"

namespace vo {
namespace {

struct FakeService {
    int id = 0;
};
struct OtherService {};

// The four program-wide entries of a normal start-up, in their order.
class ObjectRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        reg.RegisterObject(&debug, "DebugManager", "DebugManager", 1, 0);
        reg.RegisterObject(&storage, "StorageManager", "StorageManager", 1, 0);
        reg.RegisterObject(&scheduler, "MainScheduler", "MxScheduler", 1, 0);
        reg.RegisterObject(&factory, "OvraInterfaceFactory", "OvraInterfaceFactory", 1, 0);
    }
    TObjectRegistryManager reg;
    FakeService debug{1}, storage{2}, scheduler{3}, factory{4};
};

TEST_F(ObjectRegistryTest, EntriesKeepRegistrationOrderAndAnswerTheirObjects) {
    ASSERT_EQ(reg.GetCount(), 4);
    const char* names[] = {"DebugManager", "StorageManager", "MainScheduler", "OvraInterfaceFactory"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(reg.GetRegItem(i).Name(), names[i]);
    EXPECT_EQ(reg.GetRegItem(2).Type(), "MxScheduler");
    EXPECT_EQ(reg.GetObject("StorageManager").Item<FakeService>(), &storage);
    EXPECT_EQ(reg.GetObject("MainScheduler").Version(), 1);
    EXPECT_EQ(reg.GetObject("MainScheduler").Revision(), 0);
    // Asked as another type than registered, the entry does not hand the object out.
    EXPECT_EQ(reg.GetObject("StorageManager").Item<OtherService>(), nullptr);
    EXPECT_THROW(reg.GetRegItem(4), Exception);
    EXPECT_THROW(reg.GetRegItem(-1), Exception);
}

TEST_F(ObjectRegistryTest, DuplicateNameIsRefusedWithClassNameAndKeepsFirstEntry) {
    FakeService second{9};
    test::ExpectError([&] { reg.RegisterObject(&second, "DebugManager", "DebugManager", 1, 0); }, "TObjectRegistryManager:RegisterObject: object with name 'DebugManager' already registered");
    EXPECT_EQ(reg.GetCount(), 4);
    EXPECT_EQ(reg.GetObject("DebugManager").Item<FakeService>(), &debug);
}

TEST_F(ObjectRegistryTest, NamesCompareExactly) {
    EXPECT_TRUE(reg.ObjectExists("MainScheduler"));
    EXPECT_FALSE(reg.ObjectExists("mainscheduler"));
    test::ExpectError([&] { reg.GetObject("storagemanager"); }, "TObjectRegistryManager.GetObject: object with name 'storagemanager' not registered");
    // A name differing only in case is a different entry.
    FakeService other;
    EXPECT_NO_THROW(reg.RegisterObject(&other, "debugmanager", "DebugManager", 1, 0));
    EXPECT_EQ(reg.GetObject("debugmanager").Item<FakeService>(), &other);
}

TEST_F(ObjectRegistryTest, CheckVersionComparesVersionOnly) {
    for (int i = 0; i < reg.GetCount(); ++i) EXPECT_NO_THROW(reg.GetRegItem(i).CheckVersion(1));
    test::ExpectError([&] { reg.GetObject("MainScheduler").CheckVersion(2); }, "CheckVersion: requestet version (2) doesn't match available version (1) for object "
                                                                               "'MainScheduler' of type 'MxScheduler'");
    FakeService v;
    reg.RegisterObject(&v, "Rev", "T", 3, 7);
    EXPECT_NO_THROW(reg.GetObject("Rev").CheckVersion(3));
}

TEST(ObjectRegistryGlobal, IsOneProgramWideInstance) {
    EXPECT_EQ(&ObjectRegistryManager(), &ObjectRegistryManager());
}

} // namespace
} // namespace vo
