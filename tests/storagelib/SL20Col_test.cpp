// Collections in general: structural equality, deep assignment and copies,
// typed accessors, the depth-first walk, structures that contain themselves,
// and that every value is freed when its last reference goes.
#include "storagelib/SL20Col.h"

#include "tests/storagelib/SLTestUtil.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vo {
namespace {

using test::V;
using test::ValueTest;
using test::VAs;
using test::W;

using CollectionTest = ValueTest;

TEST_F(CollectionTest, EqualityIsStructural) {
    struct Case {
        const char* A;
        const char* B;
        bool Equal;
    };
    const Case cases[] = {
        {"[A 1 2 ]", "[A 1 2 ]", true},
        {"[A 1 2 ]", "[A 1 2.0 ]", true},
        {"[A 1.5 ]", "[A 1 ]", false},
        {"[A 1 2 ]", "[A 2 1 ]", false},
        {"[A 1 ]", "[A 1 2 ]", false},
        {"[A 1 ]", "[B 1 ]", true}, // a block is an array
        {"[B 1 ]", "[A 1 ]", false}, // an array is not a block
        {"[A 1 ]", "[S 1 ]", true},
        {"[S 1 ]", "[A 1 ]", false},
        {"[B 1 ]", "[P 1 ]", true},
        {"[A:n 1 ]", "[A:m 1 ]", true}, // composite names are not compared
        {"[A @0 ]", "[A @0 ]", true},
        {"[A @0 ]", "[A 1 ]", false},
        {"[A 1 ]", "[A @0 ]", false},
        {"[A [A 1 [D /x 'y' ] ] ]", "[A [A 1 [D /x 'y' ] ] ]", true},
        {"[A [A 1 [D /x 'y' ] ] ]", "[A [A 1 [D /x 'Y' ] ] ]", false},
        {"[D /a 1 ]", "[D /a 1 ]", true},
        {"[D /a 1 ]", "[D /A 1 ]", false}, // names compare byte for byte here
        {"[D /a 1 /b 2 ]", "[D /b 2 /a 1 ]", false},
        {"[D /a 1 ]", "[A 1 ]", false},
        {"[A 1 ]", "[D /a 1 ]", false},
        {"[A 1 ]", "1", false},
        {"[R [D:P /x 0 /y 0 ] [A 1 2 ] ]", "[R [D:Q /x 0 /y 0 ] [A 1 2 ] ]", true},
        {"[R [D:P /x 0 /y 0 ] [A 1 2 ] ]", "[R [D:P /X 0 /y 0 ] [A 1 2 ] ]", false},
        {"[A @1 ]", "[A @1 ]", true},
        {"[A 1 @1 ]", "[A 1 @1 ]", true},
        {"[A 1 @1 ]", "[A 2 @1 ]", false},
        {"[A [A 1 @1 ] ]", "[A [A 1 @1 ] ]", true},
        {"[A [A 1 @1 ] ]", "[A [A 1 @2 ] ]", false}, // back to the outer array vs to itself
        {"[D /self @1 /v 1 ]", "[D /self @1 /v 1 ]", true},
        {"[D /self @1 /v 1 ]", "[D /self @1 /v 2 ]", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.A) + " vs " + c.B);
        TRef<TSLObject> a = V(c.A);
        TRef<TSLObject> b = V(c.B);
        EXPECT_EQ(a->IsEqual(b.Get()), c.Equal);
        test::Dissolve(a.Get()); // break cycles so that the values can go
        test::Dissolve(b.Get());
    }
}

TEST_F(CollectionTest, AssignmentMakesTheReceiverACopyOfTheSource) {
    struct Case {
        const char* Receiver;
        const char* Source;
        const char* Result; // nullptr: invalid type-cast, receiver unchanged
    };
    const Case cases[] = {
        {"[A 9 ]", "[A:n 1 [A 2 ] @0 ]", "[A:n 1 [A 2 ] @0 ]"},
        {"[A ]", "[D:d /a 1 /b 'x' ]", "[A:d 1 'x' ]"},
        {"[D /z 0 ]", "[D /a 1 /b [A ] ]", "[D /a 1 /b [A ] ]"},
        {"[D ]", "[R [D:P /x 0 /y 0 ] [A 1 2 ] ]", "[D /x 1 /y 2 ]"},
        {"[S ]", "[A 1 2 3 ]", "[S 1 2 3 ]"},
        {"[A ]", "[S 1 2 3 ]", "[A 1 2 3 ]"},
        {"[S 9 ]", "[S 1 2 3 ]", "[S 1 2 3 ]"},
        {"[B ]", "[A 1 ]", "[B 1 ]"},
        {"[A:keep 1 ]", "[A ]", "[A ]"},
        {"[D ]", "[A 1 ]", nullptr},
        {"[A ]", "5", nullptr},
        {"[D /a 1 ]", "'x'", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Receiver) + " := " + c.Source);
        TRef<TSLObject> r = V(c.Receiver);
        TRef<TSLObject> s = V(c.Source);
        const std::string before = W(r);
        const std::string source = W(s);
        if (c.Result) {
            r->AssignObject(s.Get());
            EXPECT_EQ(W(r), c.Result);
        } else {
            EXPECT_THROW_MSG(r->AssignObject(s.Get()), EInvalidCast, "Invalid class typecast");
            EXPECT_EQ(W(r), before);
        }
        EXPECT_EQ(W(s), source);
    }
}

TEST_F(CollectionTest, AssignedAndCopiedElementsAreCopiesNotShared) {
    TRef<TSLArray> src = VAs<TSLArray>("[A 1 [A 2 ] [D /k 'v' ] ]");
    TRef<TSLArray> dst = MakeRef<TSLArray>();
    dst->AssignObject(src.Get());
    TRef<TSLObject> copy = src->CopyRef();
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(dst->GetObjAtIndex(i), src->GetObjAtIndex(i));
        EXPECT_NE(static_cast<TSLArray*>(copy.Get())->GetObjAtIndex(i), src->GetObjAtIndex(i));
    }
    dst->SetIntAtIndex(0, 7);
    static_cast<TSLDictionary*>(dst->GetObjAtIndex(2))->SetStrWithName("k", "changed");
    EXPECT_EQ(W(src), "[A 1 [A 2 ] [D /k 'v' ] ]");
    // A shared inner composite is copied once per reference, as the source's
    // elements are copied one by one.
    TRef<TSLArray> shared = VAs<TSLArray>("[A [A 1 ] @2 ]");
    TRef<TSLObject> sharedCopy = shared->CopyRef();
    EXPECT_EQ(W(sharedCopy), "[A [A 1 ] [A 1 ] ]");
}

TEST_F(CollectionTest, AssignmentToItselfOrFromAValueItHoldsLosesNothing) {
    TRef<TSLArray> a = VAs<TSLArray>("[A:me 1 [A 2 ] 'three' ]");
    a->AssignObject(a.Get());
    EXPECT_EQ(W(a), "[A:me 1 [A 2 ] 'three' ]");

    TRef<TSLDictionary> d = VAs<TSLDictionary>("[D /a 1 /b 2 ]");
    d->AssignObject(d.Get());
    EXPECT_EQ(W(d), "[D /a 1 /b 2 ]");

    // The source is held only by the receiver: it must be read before the
    // receiver lets go of it.
    TRef<TSLArray> outer = MakeRef<TSLArray>();
    outer->AddObject(MakeRef<TSLArray>().Get());
    static_cast<TSLArray*>(outer->GetObjAtIndex(0))->AddObject(MakeRef<TSLString>("inner").Get());
    outer->AssignObject(outer->GetObjAtIndex(0));
    EXPECT_EQ(W(outer), "[A 'inner' ]");

    // The source holds the receiver: it is copied as it was before the
    // assignment.
    TRef<TSLArray> receiver = VAs<TSLArray>("[A 5 ]");
    TRef<TSLArray> holder = MakeRef<TSLArray>();
    holder->AddObject(receiver.Get());
    receiver->AssignObject(holder.Get());
    EXPECT_EQ(W(receiver), "[A [A 5 ] ]");
}

TEST_F(CollectionTest, CopiesAndAssignmentsOfSelfContainingStructuresReproduceTheCycle) {
    struct Case {
        const char* Source;
        const char* Written;
    };
    const Case cases[] = {
        {"[A @1 ]", "[A @1 ]"},
        {"[A 1 @1 [A @1 @2 ] ]", "[A 1 @1 [A @1 @2 ] ]"},
        {"[D /self @1 /n 2 ]", "[D /self @1 /n 2 ]"},
        {"[S 1 @1 ]", "[S 1 @1 ]"},
        {"[A [R [D:P /me 0 ] [A @1 ] ] ]", "[A [R [D:P /me 0 ] [A @1 ] ] ]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Source);
        TRef<TSLObject> src = V(c.Source);
        TRef<TSLObject> copy = src->CopyRef();
        EXPECT_EQ(W(copy), c.Written);
        EXPECT_TRUE(copy->IsEqual(src.Get()));
        auto* col = static_cast<TSLCollection*>(copy.Get());
        EXPECT_EQ(col->GetIndexOfObj(src.Get()), -1) << "the copy refers to the original";

        TRef<TSLObject> receiver = src->CopyRef();
        test::Dissolve(receiver.Get()); // empty, with no cycle left behind
        receiver->AssignObject(src.Get());
        EXPECT_EQ(W(receiver), c.Written);

        for (TSLObject* o : {src.Get(), copy.Get(), receiver.Get()}) test::Dissolve(o);
    }
}

TEST_F(CollectionTest, TypedAccessorsRequireTheirTypeAndSetInPlace) {
    TRef<TSLArray> a = VAs<TSLArray>("[A 'text' 5 2.5 #1 @0 ]");
    EXPECT_EQ(a->GetStrAtIndex(0), "text");
    EXPECT_EQ(a->GetIntAtIndex(1), 5);
    EXPECT_EQ(a->GetFloatAtIndex(2), 2.5);
    EXPECT_TRUE(a->GetBoolAtIndex(3));
    EXPECT_THROW_MSG(a->GetFloatAtIndex(1), EInvalidCast, "Invalid class typecast");
    EXPECT_THROW(a->GetIntAtIndex(2), EInvalidCast);
    EXPECT_THROW(a->GetStrAtIndex(4), EInvalidCast); // nil is no string
    EXPECT_THROW(a->GetIntAtIndex(9), Exception);

    TRef<TSLObject> five(a->GetObjAtIndex(1));
    a->SetIntAtIndex(1, 6); // in place: every holder sees it
    EXPECT_EQ(a->GetObjAtIndex(1), five.Get());
    EXPECT_EQ(static_cast<TSLLongint*>(five.Get())->GetLongintValue(), 6);

    a->SetIntAtIndex(0, 7); // over a string: a new integer replaces it
    EXPECT_STREQ(a->GetObjAtIndex(0)->ClassName(), "TSLLongint");
    a->SetIntAtIndex(a->GetCount(), 8); // at the count: appended
    a->SetStrAtIndex(4, "was nil");
    a->SetBoolAtIndex(3, false);
    a->SetFloatAtIndex(2, 0.5);
    EXPECT_EQ(W(a), "[A 7 6 0.5r #0 'was nil' 8 ]");
    EXPECT_THROW(a->SetIntAtIndex(10, 1), Exception);
    EXPECT_EQ(a->GetCount(), 6);

    TRef<TSLDictionary> d = VAs<TSLDictionary>("[D /i 1 /f 1.5 /s 'x' /b #0 ]");
    EXPECT_EQ(d->GetIntWithName("I"), 1);
    EXPECT_EQ(d->GetFloatWithName("f"), 1.5);
    EXPECT_EQ(d->GetStrWithName("S"), "x");
    EXPECT_FALSE(d->GetBoolWithName("b"));
    EXPECT_THROW_MSG(d->GetFloatWithName("i"), EInvalidCast, "Invalid class typecast");
    d->SetIntWithName("i", 2);
    d->SetBoolWithName("new", true);
    EXPECT_EQ(W(d), "[D /i 2 /f 1.5r /s 'x' /b #0 /new #1 ]");
}

TEST_F(CollectionTest, NamedCollectionsRefuseIndexBasedChanges) {
    TRef<TSLDictionary> d = VAs<TSLDictionary>("[D /a 1 ]");
    TRef<TSLLongint> v = MakeRef<TSLLongint>(1);
    EXPECT_THROW_MSG(d->SetCount(3), Exception, "TSLDictionary.SetCount: not allowed in named collection");
    EXPECT_THROW_MSG(d->SetObjAtIndex(0, v.Get()), Exception,
                     "TSLDictionary.SetObjAtIndex: not allowed in named collection");
    EXPECT_THROW_MSG(d->InsObjAtIndex(0, v.Get()), Exception,
                     "TSLDictionary.InsObjAtIndex: not allowed in named collection");
    EXPECT_THROW_MSG(d->DelObjAtIndex(0), Exception, "TSLDictionary.DelObjAtIndex: not allowed in named collection");
    EXPECT_THROW_MSG(d->AddObject(v.Get()), Exception, "TSLDictionary.SetObjAtIndex: not allowed in named collection");
    EXPECT_EQ(W(d), "[D /a 1 ]");
    EXPECT_EQ(v->GetRefCount(), 1);
}

struct Visit {
    std::string Obj;
    std::string Name;
    int Level;
    TSLCollection* Parent;
    int Index;
};

std::vector<Visit> Walk(TSLCollection* C, bool IncludeRoot, int StopAt = -1, bool* Result = nullptr) {
    std::vector<Visit> visits;
    const bool r = C->ForEach(
        [&](const TForEachInfo& info, bool& stop) {
            visits.push_back({info.Obj ? W(info.Obj) : "nil", info.Name, info.Level, info.Parent, info.Index});
            if (static_cast<int>(visits.size()) == StopAt) stop = true;
        },
        IncludeRoot);
    if (Result) *Result = r;
    return visits;
}

TEST_F(CollectionTest, WalkVisitsParentsBeforeChildrenDepthFirst) {
    TRef<TSLArray> a = VAs<TSLArray>("[A [D /a 1 /b [A 2 ] ] 3 ]");
    auto* d = static_cast<TSLCollection*>(a->GetObjAtIndex(0));
    bool result = false;
    std::vector<Visit> v = Walk(a.Get(), true, -1, &result);
    EXPECT_TRUE(result);
    ASSERT_EQ(v.size(), 6u);
    const int levels[] = {0, 1, 2, 2, 3, 1};
    const char* names[] = {"", "", "a", "b", "", ""};
    const int indices[] = {0, 0, 0, 1, 0, 1};
    for (std::size_t i = 0; i < v.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(v[i].Level, levels[i]);
        EXPECT_EQ(v[i].Name, names[i]);
        EXPECT_EQ(v[i].Index, indices[i]);
    }
    EXPECT_EQ(v[0].Parent, nullptr);
    EXPECT_EQ(v[1].Parent, a.Get());
    EXPECT_EQ(v[2].Parent, d);
    EXPECT_EQ(v[4].Obj, "2");
    EXPECT_EQ(v[5].Obj, "3");

    std::vector<Visit> noRoot = Walk(a.Get(), false);
    ASSERT_EQ(noRoot.size(), 5u);
    EXPECT_EQ(noRoot[0].Level, 0);
    EXPECT_EQ(noRoot[1].Level, 1);

    // An array holding a two-entry dictionary: four calls; a stop on the second.
    TRef<TSLArray> small = VAs<TSLArray>("[A [D /a 1 /b 2 ] ]");
    EXPECT_EQ(Walk(small.Get(), true).size(), 4u);
    std::vector<Visit> stopped = Walk(small.Get(), true, 2, &result);
    EXPECT_FALSE(result);
    EXPECT_EQ(stopped.size(), 2u);
    EXPECT_EQ(Walk(small.Get(), true, 1, &result).size(), 1u);
    EXPECT_FALSE(result);
}

TEST_F(CollectionTest, WalkDoesNotDescendIntoACollectionItIsInside) {
    TRef<TSLArray> a = VAs<TSLArray>("[A 1 @1 [A @1 @2 ] ]");
    std::vector<Visit> v = Walk(a.Get(), true);
    // root, 1, the self reference (not entered), the inner array, its two
    // references back (not entered)
    ASSERT_EQ(v.size(), 6u);
    EXPECT_EQ(v[2].Level, 1);
    EXPECT_EQ(v[3].Level, 1);
    EXPECT_EQ(v[4].Level, 2);
    EXPECT_EQ(v[5].Level, 2);
    test::Dissolve(a.Get());
}

TEST_F(CollectionTest, WalkSurvivesCallbacksThatChangeTheCollection) {
    TRef<TSLArray> a = VAs<TSLArray>("[A [A 1 2 ] [A 3 ] 4 ]");
    std::vector<std::string> seen;
    a->ForEach(
        [&](const TForEachInfo& info, bool&) {
            seen.push_back(W(info.Obj));
            if (info.Level == 1 && info.Index == 0) a->DelObjAtIndex(0); // drops the array being walked
            if (info.Level == 0 && info.Index == 1) a->SetObjAtIndex(1, MakeRef<TSLArray>().Get());
        },
        false);
    EXPECT_EQ(seen.front(), "[A 1 2 ]");
    EXPECT_EQ(W(a), "[A [A 3 ] [A ] ]");
}

TEST_F(CollectionTest, EveryValueIsFreedWhenItsLastReferenceGoes) {
    const int32_t objects = RefObjManager().GetObjCount();
    {
        TRef<TSLArray> root = VAs<TSLArray>(
            "[A [D:Cfg /Max 10 /Name 'n' /List [A 1 2.5 #1 /x y ] ] "
            "[R [D:Point /x 0 /y 0 ] [A 1 2 ] ] [R @5 [A 3 4 ] ] [S 1 2 ] [B a b ] [P [A /p ] p [A /p ] ] @2 @0 ]");
        EXPECT_GT(RefObjManager().GetObjCount(), objects + 20);
        TRef<TSLObject> copy = root->CopyRef();
        TSLObject* autoreleased = root->CopyObject();
        TRef<TSLArray> assigned = MakeRef<TSLArray>();
        assigned->AssignObject(autoreleased);
        static_cast<TSLCollection*>(copy.Get())->SetIntAtIndex(0, 1);
        assigned->DelObjAtIndex(1);
        TRef<TSLStack> stack = MakeRef<TSLStack>();
        stack->Push(root.Get());
        stack->Pop(true);
        stack->PushString("s");
    }
    PurgeAutoReleasePool();
    EXPECT_EQ(RefObjManager().GetObjCount(), objects);
}

} // namespace
} // namespace vo
