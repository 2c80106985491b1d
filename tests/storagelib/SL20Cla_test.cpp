// Native script classes: instances created by name, methods called as
// inst.Method, native objects kept by handle for exactly as long as their
// instance lives.
#include "ScriptTestUtil.h"
#include "storagelib/SL20Cla.h"

namespace vo::test {
namespace {

struct TCounter {
    int64_t Value = 0;
    TContextInterface* Waiting = nullptr;
};

// Methods: Inc (n ->), Get (-> n), Fail, Await (waits until continued, then
// pushes 'done').
class TCounterClass : public TNativeScriptClass<TCounter> {
public:
    TCounterClass() : TNativeScriptClass("Counter") {}
    MyAnsiString GetMethodName(int32_t Id) override {
        static const char* names[] = {"Inc", "Get", "Fail", "Await"};
        return Id >= 0 && Id < 4 ? names[Id] : "";
    }
    int Created = 0;

protected:
    std::unique_ptr<TCounter> NewObject(TContextInterface&) override {
        ++Created;
        return std::make_unique<TCounter>();
    }
    void Execute(TCounter& Obj, int32_t Id, TContextInterface& Ctx) override {
        switch (Id) {
        case 0: Obj.Value += Ctx.PopLongint(); break;
        case 1: Ctx.PushLongint(Obj.Value); break;
        case 2: throw Exception("counter failed");
        case 3:
            if (Ctx.GetUserValue() == 0) {
                Ctx.SetUserValue(1);
                Obj.Waiting = &Ctx;
                Ctx.Wait(&Obj, 60000);
            } else {
                Ctx.SetUserValue(0);
                Ctx.PushString("done");
            }
            break;
        }
    }
};

// A class of the raw interface that records what happens to its handles.
class TRecordingClass : public TScriptClass {
public:
    std::vector<std::string> Names;
    std::vector<int32_t> Destroyed;
    int32_t NextHandle = 100;
    int32_t CreateObject(TContextInterface&) override { return NextHandle++; }
    void DestroyObject(int32_t Obj) override { Destroyed.push_back(Obj); }
    void ExecuteMethod(int32_t Obj, int32_t Id, TContextInterface& Ctx) override {
        Ctx.PushLongint(Obj * 10 + Id);
    }
    MyAnsiString GetMethodName(int32_t Id) override {
        return Id < static_cast<int32_t>(Names.size()) ? Names[static_cast<std::size_t>(Id)] : "";
    }
};

class ScriptClassTest : public ScriptTest {
protected:
    void SetUp() override {
        ScriptTest::SetUp();
        // A call returns only when the script finishes or waits, however slow
        // the machine: no time slice ends it before.
        Interp->TimeSlice = 600000;
        Manager->AnnounceScriptClass("Counter", &Counter, 3);
        Manager->AnnounceScriptClass("Rec", &Rec, 1);
    }
    TCounterClass Counter;
    TRecordingClass Rec;
};

TEST_F(ScriptClassTest, AClassIsInstantiatedByNameAndItsMethodsCalledThroughTheInstance) {
    EXPECT_TRUE(Manager->ScriptClassExists("counter"));
    auto* factory = SLCast<TSLScriptClassFactory>(Manager->GetScriptClassDict()->GetObjWithName("Counter"));
    EXPECT_EQ(factory->FClassVersion, 3);
    EXPECT_EQ(factory->FClassName, "Counter");

    EXPECT_EQ(Run("Counter /c exch def Counter /d exch def 5 c.Inc 2 c.inc 40 d.Inc c.Get d.GET Create:Counter count"),
              "7 40 4");
    EXPECT_EQ(Counter.Created, 3);
    EXPECT_EQ(Counter.ObjectCount(), 2u); // c and d; the third went when count popped it
    Ctx.Reset();
    PurgeAutoReleasePool();
    EXPECT_EQ(Counter.ObjectCount(), 0u); // each native object went with its instance
}

TEST_F(ScriptClassTest, ACopiedInstanceIsTheSameInstance) {
    EXPECT_EQ(Run("Rec /c exch def c dup /d exch def c d eq /dd 1 dict def dd /i c put dd dup /i get c eq"), "[D ] #1 [D /i [D ] ] #1");
    auto* c = SLCast<TSLClass>(Global("c"));
    EXPECT_EQ(Global("d"), c);
    Ctx.Reset();
    PurgeAutoReleasePool();
    EXPECT_EQ(Rec.Destroyed, std::vector<int32_t>{100}); // one native object, destroyed once
}

TEST_F(ScriptClassTest, MethodTablesEndAtTheFirstEmptyNameAndRefuseDuplicates) {
    EXPECT_EQ(Run("Rec count"), "0"); // no methods at all
    Rec.Names = {"A", "B", "", "D"};
    EXPECT_EQ(Run("Rec /r exch def r count r.B r.A"), "2 1011 1010");
    EXPECT_EQ(RunError("Rec /r exch def r.D"), "object with name 'r.D' not found");

    Ctx.Reset();
    Rec.Destroyed.clear();
    Rec.Names = {"A", "a"};
    EXPECT_EQ(RunError("[B Rec] [B /Msg get] tryexcept pop Rec"), "TSLClass.AddObject: object with name 'a' already exists");
    EXPECT_EQ(Stack(), "");
    PurgeAutoReleasePool();
    EXPECT_EQ(Rec.Destroyed.size(), 2u); // both half-made instances gave their native objects back
}

TEST_F(ScriptClassTest, NativeFailuresAndUnknownHandlesAreScriptErrors) {
    EXPECT_EQ(Run("Counter /c exch def [B c.Fail] [B /Msg get] tryexcept"), "'counter failed'");
    // A handle the class does not know (its object was destroyed behind the
    // instance's back) is refused, not followed.
    TRef<TSLClass> c(SLCast<TSLClass>(Global("c")));
    Counter.DestroyObject(c->FScrObjHandle);
    Start("[B 1 c.Inc] [B /Msg get] tryexcept");
    static_cast<TSLDictionary*>(Ctx->DictStack().GetObjAtIndex(0))->AddObject("c", c.Get());
    RunToEnd();
    EXPECT_EQ(Stack(), "'Counter.ExecuteMethod: unknown object handle " + std::to_string(c->FScrObjHandle) + "'");
}

TEST_F(ScriptClassTest, AMethodOutlivingItsInstanceNoLongerReachesIt) {
    Rec.Names = {"A"};
    EXPECT_EQ(RunError("Rec /r exch def /m r /A get def /r 0 def m"),
              "TSLScrObjMethod.Execute: the instance of this method no longer exists");
    EXPECT_EQ(Rec.Destroyed.size(), 1u);
}

TEST_F(ScriptClassTest, AWaitingMethodRunsAgainWhenItsEventContinuesTheScript) {
    Start("Counter /c exch def c.Await 'after'");
    EXPECT_FALSE(Interp->Run(Ctx.Get()));
    ASSERT_EQ(Ctx->GetState(), isWaiting);
    auto* obj = Counter.ObjectOf(SLCast<TSLClass>(Global("c"))->FScrObjHandle);
    ASSERT_NE(obj, nullptr);
    ASSERT_NE(obj->Waiting, nullptr);
    obj->Waiting->Continue(obj);
    EXPECT_THROW_MSG(obj->Waiting->Continue(obj), Exception, "continue called while not in wait state");
    EXPECT_TRUE(Interp->Run(Ctx.Get()));
    EXPECT_EQ(Stack(), "'done' 'after'");
}

TEST_F(ScriptClassTest, BoundMethodsGetTheInstanceDataAndRefuseNamesInUse) {
    struct TData : TSLClassData {
        int64_t Base = 40;
    };
    TRef<TSLClass> inst = MakeRef<TSLClass>();
    inst->FData = std::make_unique<TData>();
    inst->AddMethod([](TSLClassData* D, TContextInterface& Ctx) {
        Ctx.PushLongint(static_cast<TData*>(D)->Base + Ctx.PopLongint());
    },
                    "Plus");
    EXPECT_THROW_MSG(inst->AddMethod({}, "plus"), Exception, "TSLClass.AddMethod: name 'plus' is alreay in use");
    Start("2 obj.Plus");
    static_cast<TSLDictionary*>(Ctx->DictStack().GetObjAtIndex(0))->AddObject("obj", inst.Get());
    RunToEnd();
    EXPECT_EQ(Stack(), "42");
}

TEST(ScriptObjectTable, HandsOutDistinctNonZeroIdsAndRefusesUnknownOnes) {
    TScriptObjectTable<int> table;
    std::vector<int32_t> ids;
    for (int i = 0; i < 5; ++i) ids.push_back(table.Add(std::make_unique<int>(i)));
    for (int i = 0; i < 5; ++i) {
        EXPECT_NE(ids[static_cast<std::size_t>(i)], 0);
        EXPECT_EQ(*table.Find(ids[static_cast<std::size_t>(i)]), i);
    }
    EXPECT_EQ(table.Remove(ids[2]).operator*(), 2);
    EXPECT_EQ(table.Find(ids[2]), nullptr);
    EXPECT_EQ(table.Remove(ids[2]), nullptr);
    EXPECT_THROW_MSG(table.Get(12345, "C", "M"), Exception, "C.M: unknown object handle 12345");
    EXPECT_EQ(table.Count(), 4u);
    const int32_t again = table.Add(std::make_unique<int>(9));
    for (int32_t id : ids) EXPECT_NE(again, id); // a removed id is not handed out again soon
}

} // namespace
} // namespace vo::test
