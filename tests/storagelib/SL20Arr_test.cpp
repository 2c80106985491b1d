// Arrays, stacks, blocks and procedures.
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Stk.h"

#include "tests/storagelib/SLTestUtil.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace vo {
namespace {

using test::V;
using test::ValueTest;
using test::VAs;
using test::W;

using ArrayTest = ValueTest;

TEST_F(ArrayTest, IndexOperationsFollowTheBoundsAndTexts) {
    struct Case {
        const char* Start;
        std::function<void(TSLArray&, TSLObject* X)> Op;
        const char* Result; // the array afterwards
        const char* Error; // nullptr: no error
    };
    const Case cases[] = {
        {"[A 1 2 ]", [](TSLArray& a, TSLObject* x) { a.SetObjAtIndex(2, x); }, "[A 1 2 'x' ]", nullptr},
        {"[A 1 2 ]", [](TSLArray& a, TSLObject* x) { a.SetObjAtIndex(0, x); }, "[A 'x' 2 ]", nullptr},
        {"[A 1 2 ]", [](TSLArray& a, TSLObject* x) { a.SetObjAtIndex(3, x); }, "[A 1 2 ]",
         "TSLArray.SetObjAtIndex: index (3) out of bounds (2)"},
        {"[A 1 2 ]", [](TSLArray& a, TSLObject* x) { a.SetObjAtIndex(-1, x); }, "[A 1 2 ]",
         "TSLArray.SetObjAtIndex: index (-1) out of bounds (2)"},
        {"[A 1 2 ]", [](TSLArray& a, TSLObject* x) { a.InsObjAtIndex(0, x); }, "[A 'x' 1 2 ]", nullptr},
        {"[A 1 2 ]", [](TSLArray& a, TSLObject* x) { a.InsObjAtIndex(2, x); }, "[A 1 2 'x' ]", nullptr},
        {"[A 1 2 ]", [](TSLArray& a, TSLObject* x) { a.InsObjAtIndex(3, x); }, "[A 1 2 ]",
         "TSLArray.InsObjAtIndex: index (3) out of bounds (2)"},
        {"[A 1 2 ]", [](TSLArray& a, TSLObject*) { a.DelObjAtIndex(0); }, "[A 2 ]", nullptr},
        {"[A 1 2 ]", [](TSLArray& a, TSLObject*) { a.DelObjAtIndex(2); }, "[A 1 2 ]",
         "TSLArray.DelObjAtIndex: index (2) out of bounds (2)"},
        {"[A 1 2 ]", [](TSLArray& a, TSLObject*) { a.GetObjAtIndex(2); }, "[A 1 2 ]",
         "TSLArray.ObjectAtIndex: no object to fetch at index 2"},
        {"[A 1 2 ]", [](TSLArray& a, TSLObject* x) { a.AddObject(x); }, "[A 1 2 'x' ]", nullptr},
        {"[A ]", [](TSLArray& a, TSLObject*) { a.SetCount(5); }, "[A @0 @0 @0 @0 @0 ]", nullptr},
        {"[A 1 2 3 ]", [](TSLArray& a, TSLObject*) { a.SetCount(1); }, "[A 1 ]", nullptr},
        {"[A 1 2 3 ]", [](TSLArray& a, TSLObject*) { a.SetCount(-1); }, "[A 1 2 3 ]",
         "TSLArray.SetCount: count (-1) out of bounds"},
        {"[A 0 1 2 3 ]", [](TSLArray& a, TSLObject*) { a.MoveObject(0, 2); }, "[A 1 2 0 3 ]", nullptr},
        {"[A 0 1 2 3 ]", [](TSLArray& a, TSLObject*) { a.MoveObject(3, 1); }, "[A 0 3 1 2 ]", nullptr},
        {"[A 0 1 2 3 ]", [](TSLArray& a, TSLObject*) { a.MoveObject(2, 2); }, "[A 0 1 2 3 ]", nullptr},
        {"[A 0 1 2 3 ]", [](TSLArray& a, TSLObject*) { a.MoveObject(1, 4); }, "[A 0 1 2 3 ]",
         "TSLArray.MoveObject: Index out of bounds (Elements: 4 FromIndex: 1 ToIndex: 4)"},
        {"[A @0 1 @0 @0 2 @0 ]", [](TSLArray& a, TSLObject*) { a.Pack(); }, "[A 1 2 ]", nullptr},
        {"[A 1 [A 2 ] ]", [](TSLArray& a, TSLObject*) { a.Clear(); }, "[A ]", nullptr},
        {"[B 1 ]", [](TSLArray& a, TSLObject* x) { a.SetObjAtIndex(5, x); }, "[B 1 ]",
         "TSLBlock.SetObjAtIndex: index (5) out of bounds (1)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Start) + " -> " + c.Result);
        TRef<TSLArray> a = VAs<TSLArray>(c.Start);
        TRef<TSLString> x = MakeRef<TSLString>("x");
        if (c.Error) {
            EXPECT_THROW_MSG(c.Op(*a, x.Get()), Exception, c.Error);
        } else {
            c.Op(*a, x.Get());
        }
        EXPECT_EQ(W(a), c.Result);
    }
}

TEST_F(ArrayTest, ElementsAreRetainedAndReleasedAfterTheyLeave) {
    TRef<TSLArray> a = MakeRef<TSLArray>();
    TRef<TSLLongint> v = MakeRef<TSLLongint>(1);
    a->AddObject(v.Get());
    a->AddObject(v.Get());
    EXPECT_EQ(v->GetRefCount(), 3);
    EXPECT_EQ(a->GetIndexOfObj(v.Get()), 0);
    EXPECT_EQ(a->GetIndexOfObj(MakeRef<TSLLongint>(1).Get()), -1); // identity, not equality
    a->SetObjAtIndex(0, v.Get()); // replacing by itself keeps it alive
    EXPECT_EQ(v->GetRefCount(), 3);
    a->SetObjAtIndex(0, nullptr);
    EXPECT_EQ(v->GetRefCount(), 2);
    a->SetCount(0);
    EXPECT_EQ(v->GetRefCount(), 1);

    // A value held only by the array, replaced by one of its own elements.
    a->AddObject(MakeRef<TSLArray>().Get());
    static_cast<TSLArray*>(a->GetObjAtIndex(0))->AddObject(MakeRef<TSLString>("deep").Get());
    a->SetObjAtIndex(0, static_cast<TSLArray*>(a->GetObjAtIndex(0))->GetObjAtIndex(0));
    EXPECT_EQ(W(a), "[A 'deep' ]");
    a->SetCapacity(100);
    EXPECT_GE(a->GetCapacity(), 100);
}

TEST_F(ArrayTest, CopiesOfBlocksAndProceduresArePlainArrays) {
    for (const char* text : {"[A:n 1 [A 2 ] @0 ]", "[B:n 1 [A 2 ] @0 ]", "[P:n [A /a ] a [A /a ] ]"}) {
        SCOPED_TRACE(text);
        TRef<TSLArray> a = VAs<TSLArray>(text);
        if (dynamic_cast<TSLBlock*>(a.Get())) a->SetExecutable(true);
        TSLArray* copy = a->CopyArray();
        EXPECT_STREQ(copy->ClassName(), "TSLArray");
        EXPECT_FALSE(copy->GetExecutable());
        EXPECT_EQ(copy->GetIdent(), "n");
        EXPECT_EQ(W(copy).substr(2), W(a).substr(2));
        EXPECT_TRUE(copy->IsEqual(a.Get()));
        EXPECT_EQ(a->IsEqual(copy), text[1] == 'A'); // a block is not equal to an array
    }
}

TEST_F(ArrayTest, BlocksAndProceduresAreNotExecutableUntilSet) {
    TRef<TSLBlock> b = VAs<TSLBlock>("[B 1 add ]");
    TRef<TSLProcedure> p = VAs<TSLProcedure>("[P [A /x ] x [A /x ] ]");
    EXPECT_FALSE(b->GetExecutable());
    EXPECT_FALSE(p->GetExecutable());
    EXPECT_FALSE(MakeRef<TSLBlock>()->GetExecutable());
    b->SetExecutable(true);
    p->SetExecutable(true);
    EXPECT_TRUE(b->GetExecutable());
    EXPECT_TRUE(p->GetExecutable());
    EXPECT_EQ(b->AGetCompositeType(), 'B');
    EXPECT_EQ(p->AGetCompositeType(), 'P');
    EXPECT_TRUE(p->InheritsFrom(TSLBlock::ClassInfo));
    TRef<TSLArray> a = VAs<TSLArray>("[A ]");
    EXPECT_THROW_MSG(a->SetExecutable(true), Exception, "TSLArray.SetExecutable: method not implemented");
}

TEST_F(ArrayTest, ExecutingABlockOrProcedurePushesItsFrame) {
    TRef<test::TTestContext> context = MakeRef<test::TTestContext>();
    TRef<TSLBlock> b = VAs<TSLBlock>("[B 1 ]");
    TRef<TSLProcedure> p = VAs<TSLProcedure>("[P [A ] [A ] ]");
    b->Execute(context.Get());
    p->Execute(context.Get());
    TSLStack* exec = context->Execution.Stack.Get();
    ASSERT_EQ(exec->GetCount(), 2);
    auto* top = dynamic_cast<test::TTestFrame*>(exec->GetObjAtIndex(0));
    auto* below = dynamic_cast<test::TTestFrame*>(exec->GetObjAtIndex(1));
    ASSERT_TRUE(top && below);
    EXPECT_EQ(top->Block.Get(), p.Get());
    EXPECT_TRUE(top->IsProcedure);
    EXPECT_EQ(below->Block.Get(), b.Get());
    EXPECT_FALSE(below->IsProcedure);
    EXPECT_EQ(top->GetRefCount(), 1); // owned by the execution stack
}

using StackTest = ValueTest;

TEST_F(StackTest, IndexZeroIsTheTopAndInsertionGoesBeneath) {
    TRef<TSLStack> s = MakeRef<TSLStack>();
    TRef<TSLString> a = MakeRef<TSLString>("a"), b = MakeRef<TSLString>("b"), c = MakeRef<TSLString>("c");
    s->Push(a.Get());
    s->Push(b.Get());
    s->Push(c.Get());
    EXPECT_EQ(s->GetObjAtIndex(0), c.Get());
    EXPECT_EQ(s->GetObjAtIndex(2), a.Get());
    EXPECT_EQ(s->GetIndexOfObj(a.Get()), 2);
    EXPECT_EQ(s->GetIndexOfObj(MakeRef<TSLString>("z").Get()), -1);
    s->InsObjAtIndex(1, c.Get()); // the exch pattern: c beneath b
    EXPECT_EQ(W(s), "[S 'c' 'b' 'c' 'a' ]");
    s->Pop(false);
    EXPECT_EQ(W(s), "[S 'b' 'c' 'a' ]");
    s->InsObjAtIndex(0, a.Get()); // under the top, not on top
    EXPECT_EQ(W(s), "[S 'b' 'a' 'c' 'a' ]");
    s->SetObjAtIndex(s->GetCount(), b.Get()); // at the bottom
    s->AddObject(c.Get()); // also at the bottom
    EXPECT_EQ(W(s), "[S 'b' 'a' 'c' 'a' 'b' 'c' ]");
    s->SetObjAtIndex(0, c.Get());
    s->DelObjAtIndex(5);
    EXPECT_EQ(W(s), "[S 'c' 'a' 'c' 'a' 'b' ]");
    EXPECT_THROW_MSG(s->SetObjAtIndex(6, a.Get()), Exception, "TSLStack.SetObjAtIndex: index (6) out of bounds (5)");
    EXPECT_THROW_MSG(s->SetObjAtIndex(-1, a.Get()), Exception, "TSLStack.SetObjAtIndex: index (-1) out of bounds (5)");
    EXPECT_THROW_MSG(s->GetObjAtIndex(5), Exception, "TSLStack.ObjectAtIndex: no object to fetch at index -1");
    s->SetCount(7); // nil elements at the bottom
    EXPECT_EQ(W(s), "[S 'c' 'a' 'c' 'a' 'b' @0 @0 ]");
    s->SetCount(2); // removed from the bottom
    EXPECT_EQ(W(s), "[S 'c' 'a' ]");
}

TEST_F(StackTest, PopWithResultKeepsTheValueAliveUntilThePurge) {
    TRef<TSLStack> s = MakeRef<TSLStack>();
    s->PushString("only on the stack");
    TSLObject* top = s->Pop(true);
    EXPECT_EQ(s->GetCount(), 0);
    EXPECT_EQ(top->GetRefCount(), 1);
    EXPECT_EQ(static_cast<TSLString*>(top)->GetStringValue(), "only on the stack");
    const int32_t objects = RefObjManager().GetObjCount();
    PurgeAutoReleasePool();
    EXPECT_EQ(RefObjManager().GetObjCount(), objects - 1);

    s->PushLongint(1);
    EXPECT_EQ(s->Pop(false), nullptr);
    EXPECT_THROW_MSG(s->Pop(true), Exception, "TSLStack.ObjectAtIndex: no object to fetch at index -1");
    EXPECT_THROW_MSG(s->Pop(false), Exception, "TSLStack.DelObjAtIndex: index (-1) out of bounds (0)");
}

TEST_F(StackTest, TypedPushAndPop) {
    TRef<TSLStack> s = MakeRef<TSLStack>();
    s->PushLongint(-5);
    s->PushDouble(2.75); // keeps its fraction
    s->PushString("s");
    EXPECT_EQ(W(s), "[S 's' 2.75r -5 ]");
    EXPECT_THROW_MSG(s->PopLongint(), EInvalidCast, "Invalid class typecast");
    EXPECT_EQ(s->GetCount(), 3); // nothing popped
    EXPECT_EQ(s->PopString(), "s");
    EXPECT_THROW(s->PopLongint(), EInvalidCast);
    EXPECT_EQ(s->PopDouble(), 2.75);
    EXPECT_EQ(s->PopLongint(), -5);
    EXPECT_THROW(s->PopString(), Exception);
}

TEST_F(StackTest, ReadFromTopDownAndCopiedInTheSameOrder) {
    TRef<TSLStack> s = VAs<TSLStack>("[S 1 2 3 ]");
    EXPECT_EQ(s->GetIntAtIndex(0), 1);
    EXPECT_EQ(W(s), "[S 1 2 3 ]");
    TSLObject* copy = s->CopyObject();
    EXPECT_STREQ(copy->ClassName(), "TSLStack");
    EXPECT_EQ(W(copy), "[S 1 2 3 ]");
    EXPECT_TRUE(copy->IsEqual(s.Get()));
    static_cast<TSLStack*>(copy)->Push(MakeRef<TSLLongint>(0).Get());
    EXPECT_EQ(W(s), "[S 1 2 3 ]");
}

} // namespace
} // namespace vo
