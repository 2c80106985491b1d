// Reference counting, the autorelease pool and the handle that owners use.
#include "storagelib/AutoReleaseTask.h"
#include "storagelib/RefObj.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"

#include "tests/support/KernelFixtures.h"
#include "tests/storagelib/SLTestUtil.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace vo {
namespace {

using test::ValueTest;

// Counts its own destruction.
class TProbe : public TRefObj {
    VO_REFOBJ_CLASS(TProbe, TRefObj)
public:
    explicit TProbe(int* Destroyed = nullptr) : FDestroyed(Destroyed) {}

protected:
    ~TProbe() override {
        if (FDestroyed) ++*FDestroyed;
    }

private:
    int* FDestroyed;
};

// Queues a new probe from its destructor (a destructor that autoreleases).
class TQueuingProbe : public TRefObj {
    VO_REFOBJ_CLASS(TQueuingProbe, TRefObj)
public:
    explicit TQueuingProbe(int* Destroyed) : FDestroyed(Destroyed) {}

protected:
    ~TQueuingProbe() override { NewRefObj<TProbe>(true, FDestroyed); }

private:
    int* FDestroyed;
};

class TFailingProbe : public TRefObj {
    VO_REFOBJ_CLASS(TFailingProbe, TRefObj)
public:
    TFailingProbe() { throw std::runtime_error("constructor failed"); }
};

using RefObjTest = ValueTest;

TEST_F(RefObjTest, AutoreleasedObjectDiesAtThePurgeUnlessRetained) {
    int destroyed = 0;
    const int32_t before = RefObjManager().GetObjCount();
    TProbe* kept = NewRefObj<TProbe>(true, &destroyed);
    NewRefObj<TProbe>(true, &destroyed);
    EXPECT_EQ(kept->GetRefCount(), 1);
    EXPECT_EQ(RefObjManager().GetObjCount(), before + 2);
    EXPECT_EQ(RefObjManager().GetPoolCount(), 2u);
    kept->Retain();

    PurgeAutoReleasePool();
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(kept->GetRefCount(), 1);
    EXPECT_EQ(RefObjManager().GetPoolCount(), 0u);
    kept->Release();
    EXPECT_EQ(destroyed, 2);
    EXPECT_EQ(RefObjManager().GetObjCount(), before);
}

TEST_F(RefObjTest, ValueStoredInADictionarySurvivesThePurgeAndDiesWithTheDictionary) {
    TRef<TSLDictionary> dict = MakeRef<TSLDictionary>();
    TSLLongint* value = NewRefObj<TSLLongint>(true, 5);
    dict->AddObject("Count", value);
    PurgeAutoReleasePool();
    EXPECT_EQ(value->GetRefCount(), 1);
    const int32_t objects = RefObjManager().GetObjCount();
    dict->RemoveObject("Count");
    EXPECT_EQ(RefObjManager().GetObjCount(), objects - 1);
}

TEST_F(RefObjTest, RetainAndAutoReleaseKeepsTheObjectUntilThePurge) {
    TRef<TSLString> s = MakeRef<TSLString>("x");
    s->RetainAndAutoRelease();
    EXPECT_EQ(s->GetRefCount(), 2);
    EXPECT_EQ(RefObjManager().GetPoolCount(), 1u);
    PurgeAutoReleasePool();
    EXPECT_EQ(s->GetRefCount(), 1);
}

TEST_F(RefObjTest, ObjectQueuedTwiceIsReleasedTwiceByOnePurge) {
    int destroyed = 0;
    TProbe* p = NewRefObj<TProbe>(false, &destroyed);
    p->Retain();
    p->Retain();
    p->Retain();
    p->AutoRelease();
    p->AutoRelease();
    PurgeAutoReleasePool();
    EXPECT_EQ(p->GetRefCount(), 1);
    EXPECT_EQ(destroyed, 0);
    p->Release();
    EXPECT_EQ(destroyed, 1);
}

TEST_F(RefObjTest, RefusalsRaiseTheirTextsAndChangeNothing) {
    int destroyed = 0;
    TProbe* p = NewRefObj<TProbe>(false, &destroyed);
    const int32_t refs = RefObjManager().GetRefCount();
    EXPECT_THROW_MSG(p->Release(), Exception, "TProbe.Release: reference counter is zero");
    EXPECT_THROW_MSG(p->AutoRelease(), Exception, "TProbe.AutoRelease: reference counter is zero");
    EXPECT_EQ(p->GetRefCount(), 0);
    EXPECT_EQ(RefObjManager().GetRefCount(), refs);
    EXPECT_EQ(RefObjManager().GetPoolCount(), 0u);

    p->Retain();
    p->Retain();
    EXPECT_THROW_MSG(p->Destroy(), Exception, "Error using reference counting");
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(p->GetRefCount(), 2);
    p->Release();
    p->Release();
    EXPECT_EQ(destroyed, 1);

    // An object nobody retained may be destroyed directly.
    NewRefObj<TProbe>(false, &destroyed)->Destroy();
    EXPECT_EQ(destroyed, 2);
}

TEST_F(RefObjTest, ObjectsQueuedByDestructorsDuringAPurgeWaitForTheNextPurge) {
    int destroyed = 0;
    NewRefObj<TQueuingProbe>(true, &destroyed);
    PurgeAutoReleasePool();
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(RefObjManager().GetPoolCount(), 1u);
    PurgeAutoReleasePool();
    EXPECT_EQ(destroyed, 1);
}

TEST_F(RefObjTest, FailingConstructorLeavesNothingQueuedOrCounted) {
    const int32_t objects = RefObjManager().GetObjCount();
    EXPECT_THROW(NewRefObj<TFailingProbe>(true), std::runtime_error);
    EXPECT_EQ(RefObjManager().GetPoolCount(), 0u);
    EXPECT_EQ(RefObjManager().GetObjCount(), objects);
}

TEST_F(RefObjTest, PoolKeepsItsRoomBetweenPurges) {
    EXPECT_GE(RefObjManager().GetPoolCapacity(), 2000u);
    for (int i = 0; i < 5000; ++i) NewRefObj<TSLLongint>(true, i);
    const std::size_t grown = RefObjManager().GetPoolCapacity();
    EXPECT_GE(grown, 5000u);
    PurgeAutoReleasePool();
    EXPECT_EQ(RefObjManager().GetPoolCapacity(), grown);
}

TEST_F(RefObjTest, HandleHoldsExactlyOneReference) {
    int destroyed = 0;
    TRef<TProbe> a = MakeRef<TProbe>(&destroyed);
    EXPECT_EQ(a->GetRefCount(), 1);
    {
        TRef<TProbe> b = a;
        EXPECT_EQ(a->GetRefCount(), 2);
        TRef<TProbe> c = std::move(b);
        EXPECT_FALSE(b);
        EXPECT_EQ(a->GetRefCount(), 2);
        c = c; // self-assignment keeps the reference
        EXPECT_EQ(a->GetRefCount(), 2);
    }
    EXPECT_EQ(a->GetRefCount(), 1);
    TRef<TRefObj> base = a; // converts to a handle of a base class
    EXPECT_EQ(a->GetRefCount(), 2);
    base.Reset();
    TProbe* raw = a.Detach();
    EXPECT_EQ(raw->GetRefCount(), 1);
    TRef<TProbe> adopted = TRef<TProbe>::Adopt(raw);
    EXPECT_EQ(raw->GetRefCount(), 1);
    adopted = nullptr;
    EXPECT_EQ(destroyed, 1);
}

TEST_F(RefObjTest, ClassInformationNamesTheClassAndItsAncestors) {
    TRef<TSLLongint> v = MakeRef<TSLLongint>(1);
    EXPECT_STREQ(v->ClassName(), "TSLLongint");
    EXPECT_TRUE(v->InheritsFrom(TSLNumber::ClassInfo));
    EXPECT_TRUE(v->InheritsFrom(TRefObj::ClassInfo));
    EXPECT_FALSE(v->InheritsFrom(TSLDouble::ClassInfo));
}

class AutoReleaseTaskTest : public test::MainSchedulerFixture {};

TEST_F(AutoReleaseTaskTest, PurgesThePoolPeriodicallyOnTheMainScheduler) {
    PurgeAutoReleasePool();
    TAutoReleaseTask task(20);
    EXPECT_EQ(task.Caption(), "AutoReleaseTask");
    EXPECT_EQ(TAutoReleaseTask().Interval(), 1000);
    int destroyed = 0;
    task.Start();
    NewRefObj<TProbe>(true, &destroyed);
    ASSERT_TRUE(RunUntil([&] { return destroyed == 1; }));
    NewRefObj<TProbe>(true, &destroyed);
    ASSERT_TRUE(RunUntil([&] { return destroyed == 2; }));
    EXPECT_GE(task.PurgeCount(), 2u);
    task.Kill();
}

} // namespace
} // namespace vo
