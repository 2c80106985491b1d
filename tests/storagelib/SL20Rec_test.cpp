// Records over shared definition dictionaries, and the built-in "getrectype".
#include "storagelib/SL20Rec.h"

#include "tests/storagelib/SLTestUtil.h"

#include <gtest/gtest.h>

#include <string>

namespace vo {
namespace {

using test::V;
using test::ValueTest;
using test::VAs;
using test::W;

class RecordTest : public ValueTest {
protected:
    void SetUp() override {
        ValueTest::SetUp();
        Point = VAs<TSLDictionary>("[D:Point /x 0 /y 0 ]");
    }
    void TearDown() override {
        Point.Reset();
        ValueTest::TearDown();
    }
    TRef<TSLRecord> NewPoint() { return MakeRef<TSLRecord>(Point.Get()); }
    TRef<TSLDictionary> Point;
};

TEST_F(RecordTest, NewRecordHoldsCopiesOfTheDefaults) {
    TRef<TSLRecord> r = NewPoint();
    EXPECT_EQ(r->GetTypeName(), "Point");
    EXPECT_EQ(r->GetCount(), 2);
    EXPECT_EQ(r->GetRecDef(), Point.Get());
    EXPECT_EQ(Point->GetRefCount(), 2);
    EXPECT_EQ(r->GetNameAtIndex(1), "y");
    EXPECT_EQ(r->GetIntWithName("X"), 0);
    EXPECT_NE(r->GetObjAtIndex(0), Point->GetObjAtIndex(0));
    r->SetIntWithName("x", 5);
    EXPECT_EQ(Point->GetIntWithName("x"), 0);
    EXPECT_EQ(W(r), "[R [D:Point /x 0 /y 0 ] [A 5 0 ] ]");

    TRef<TSLRecord> empty = MakeRef<TSLRecord>(nullptr);
    EXPECT_EQ(empty->GetCount(), 0);
    EXPECT_EQ(empty->GetTypeName(), "");
    EXPECT_EQ(empty->GetData(), nullptr);
    EXPECT_EQ(W(empty), "[R @0 @0 ]");
}

TEST_F(RecordTest, FieldsByNameIgnoreCaseAndRefuseUnknownNames) {
    TRef<TSLRecord> r = NewPoint();
    r->SetIntWithName("X", 5);
    EXPECT_EQ(r->GetIntWithName("x"), 5);
    EXPECT_THROW_MSG(r->SetIntWithName("z", 1), Exception, "TSLRecord.SetObjWithName: object with name 'z' not found");
    EXPECT_THROW_MSG(r->GetObjWithName("z"), Exception, "TSLRecord.GetObjWithName: object with name 'z' not found");
    EXPECT_THROW_MSG(r->DelObjWithName("z"), Exception, "TSLRecord.DelObjWithName: object with name 'z' not found");
    EXPECT_THROW_MSG(r->GetNameAtIndex(2), Exception, "TSLRecord.GetNameAtIndex: index (2) out of bounds (2)");
    EXPECT_THROW_MSG(r->GetObjAtIndex(2), Exception, "TSLArray.ObjectAtIndex: no object to fetch at index 2");
    EXPECT_THROW_MSG(r->AddObject("x", nullptr), Exception, "TSLRecord.AddObject: object with name 'x' already exists");
    EXPECT_THROW_MSG(r->AddObject("z", nullptr), Exception, "TSLRecord.SetObjWithName: object with name 'z' not found");
    EXPECT_THROW_MSG(r->SetCount(3), Exception, "TSLRecord.SetCount: not allowed in named collection");
    EXPECT_TRUE(r->NameExists("Y"));
    EXPECT_EQ(r->IndexOfName("Y"), 1);
    EXPECT_EQ(W(r), "[R [D:Point /x 0 /y 0 ] [A 5 0 ] ]");

    // A field of another type is replaced by the typed setter.
    r->SetStrWithName("y", "text");
    EXPECT_EQ(r->GetStrWithName("Y"), "text");
    TSLObject* y = r->GetObjWithName("y");
    EXPECT_EQ(r->GetIndexOfObj(y), 1);
    r->SetObjWithName("y", MakeRef<TSLLongint>(9).Get());
    EXPECT_EQ(r->GetIndexOfObj(y), -1);
}

TEST_F(RecordTest, DeletingAFieldLeavesItNilAndClearRestoresTheDefaults) {
    TRef<TSLRecord> r = NewPoint();
    r->DelObjWithName("y");
    EXPECT_EQ(r->GetCount(), 2);
    EXPECT_EQ(r->GetObjWithName("y"), nullptr);
    EXPECT_EQ(W(r), "[R [D:Point /x 0 /y 0 ] [A 0 @0 ] ]");
    r->SetIntWithName("x", 3);
    r->RemoveObject("X"); // empties the field as well
    EXPECT_EQ(W(r), "[R [D:Point /x 0 /y 0 ] [A @0 @0 ] ]");
    r->SetIntWithName("y", 8);
    r->Clear();
    EXPECT_EQ(W(r), "[R [D:Point /x 0 /y 0 ] [A 0 0 ] ]");
    EXPECT_NE(r->GetObjAtIndex(0), Point->GetObjAtIndex(0));
}

TEST_F(RecordTest, EqualityComparesFieldNamesAndValuesNotTypeNames) {
    struct Case {
        const char* A;
        const char* B;
        bool Equal;
    };
    const Case cases[] = {
        {"[R [D:Point /x 0 /y 0 ] [A 1 2 ] ]", "[R [D:Other /x 5 /y 5 ] [A 1 2 ] ]", true},
        {"[R [D:Point /x 0 /y 0 ] [A 1 2 ] ]", "[R [D:Point /X 0 /y 0 ] [A 1 2 ] ]", false},
        {"[R [D:Point /x 0 /y 0 ] [A 1 2 ] ]", "[R [D:Point /x 0 /y 0 ] [A 1 3 ] ]", false},
        {"[R [D:Point /x 0 /y 0 ] [A 1 @0 ] ]", "[R [D:Point /x 0 /y 0 ] [A 1 @0 ] ]", true},
        {"[R [D:Point /x 0 /y 0 ] [A 1 2 ] ]", "[D /x 1 /y 2 ]", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.A) + " vs " + c.B);
        EXPECT_EQ(V(c.A)->IsEqual(V(c.B).Get()), c.Equal);
    }
}

TEST_F(RecordTest, CopiesShareTheDefinitionWhichIsWrittenOnce) {
    TRef<TSLRecord> r = NewPoint();
    r->SetIntWithName("x", 1);
    r->SetIntWithName("y", 2);
    TSLRecord* copy = r->CopyRecord();
    EXPECT_EQ(copy->GetRefCount(), 1);
    EXPECT_EQ(copy->GetRecDef(), Point.Get());
    EXPECT_NE(copy->GetData(), r->GetData());
    EXPECT_TRUE(copy->IsEqual(r.Get()));
    copy->SetIntWithName("x", 3);
    copy->SetIntWithName("y", 4);
    EXPECT_EQ(r->GetIntWithName("x"), 1);
    TRef<TSLArray> both = MakeRef<TSLArray>();
    both->AddObject(r.Get());
    both->AddObject(copy);
    EXPECT_EQ(W(both), "[A [R [D:Point /x 0 /y 0 ] [A 1 2 ] ] [R @3 [A 3 4 ] ] ]");
}

TEST_F(RecordTest, BuildingFromTheReaderTakesDefinitionAndData) {
    TRef<TSLArray> a = VAs<TSLArray>("[A [R [D:P /x 0 /y 0 ] [A 1 2 ] ] [R @3 [A 3 4 ] ] ]");
    auto* r1 = static_cast<TSLRecord*>(a->GetObjAtIndex(0));
    auto* r2 = static_cast<TSLRecord*>(a->GetObjAtIndex(1));
    EXPECT_EQ(r1->GetRecDef(), r2->GetRecDef());
    EXPECT_EQ(r2->GetIntWithName("Y"), 4);
    EXPECT_EQ(r2->GetTypeName(), "P");

    struct Case {
        const char* Elements; // the elements as an array fixture
        const char* Error;
    };
    const Case cases[] = {
        {"[A [A ] [A ] ]", "Invalid class typecast"},
        {"[A [D ] [D ] ]", "Invalid class typecast"},
        {"[A [D ] ]", "Internal error: no more objects on stack"},
        {"[A ]", "Internal error: no more objects on stack"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Elements);
        TRef<TSLArray> items = VAs<TSLArray>(c.Elements);
        TRef<TSLListCompData> data = MakeRef<TSLListCompData>();
        for (int i = 0; i < items->GetCount(); ++i) data->Add(items->GetObjAtIndex(i));
        TRef<TSLRecord> rec = MakeRef<TSLRecord>();
        EXPECT_THROW_MSG(rec->InitComposite(data.Get()), Exception, c.Error);
        EXPECT_EQ(rec->GetRecDef(), nullptr);
        EXPECT_EQ(rec->GetData(), nullptr);
    }
    // Further elements are ignored.
    TRef<TSLRecord> extra = VAs<TSLRecord>("[R [D:P /x 0 ] [A 1 ] 5 ]");
    EXPECT_EQ(W(extra), "[R [D:P /x 0 ] [A 1 ] ]");
}

TEST_F(RecordTest, AssignmentTakesTheSourcesFieldsAndRefusesUnknownNames) {
    TRef<TSLRecord> r = NewPoint();
    r->SetIntWithName("x", 7);

    TRef<TSLRecord> same = NewPoint();
    same->SetIntWithName("y", 9);
    r->AssignObject(same.Get());
    EXPECT_EQ(W(r), "[R [D:Point /x 0 /y 0 ] [A 0 9 ] ]");
    EXPECT_NE(r->GetObjAtIndex(1), same->GetObjAtIndex(1));

    TRef<TSLDictionary> partial = VAs<TSLDictionary>("[D /Y 'two' ]");
    r->AssignObject(partial.Get());
    EXPECT_EQ(W(r), "[R [D:Point /x 0 /y 0 ] [A 0 'two' ] ]");

    TRef<TSLDictionary> unknown = VAs<TSLDictionary>("[D /x 1 /z 2 ]");
    EXPECT_THROW_MSG(r->AssignObject(unknown.Get()), Exception,
                     "TSLRecord.AssignObject: object with name 'z' not found");
    EXPECT_EQ(W(r), "[R [D:Point /x 0 /y 0 ] [A 0 'two' ] ]");
    EXPECT_THROW(r->AssignObject(MakeRef<TSLArray>().Get()), EInvalidCast);

    r->AssignObject(r.Get());
    EXPECT_EQ(W(r), "[R [D:Point /x 0 /y 0 ] [A 0 'two' ] ]");

    // An empty record takes a record's definition and values.
    TRef<TSLRecord> blank = MakeRef<TSLRecord>();
    blank->AssignObject(r.Get());
    EXPECT_EQ(blank->GetRecDef(), Point.Get());
    EXPECT_TRUE(blank->IsEqual(r.Get()));
}

TEST_F(RecordTest, GetRecTypePushesTheTypeNameAsALiteralName) {
    TRef<test::TTestContext> context = MakeRef<test::TTestContext>();
    TRef<TSLGetRecordTypeProcedure> proc = MakeRef<TSLGetRecordTypeProcedure>();
    EXPECT_TRUE(proc->GetExecutable());
    context->Operands.Push(NewPoint().Get());
    proc->Execute(context.Get());
    ASSERT_EQ(context->Operands.GetCount(), 1);
    auto* id = dynamic_cast<TSLIdent*>(context->Operands.GetObjAtIndex(0));
    ASSERT_NE(id, nullptr);
    EXPECT_EQ(id->GetIdentValue(), "Point");
    EXPECT_FALSE(id->GetExecutable());

    EXPECT_THROW_MSG(proc->Execute(context.Get()), EInvalidCast, "Invalid class typecast");
    EXPECT_EQ(context->Operands.GetCount(), 1); // unchanged
    EXPECT_EQ(context->Operands.GetObjAtIndex(0), id);
}

} // namespace
} // namespace vo
