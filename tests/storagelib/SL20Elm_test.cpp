// Scalar values: conversions, equality, assignment, copies, writing, and the
// debug records and their helpers.
#include "storagelib/SL20DbgHlp.h"
#include "storagelib/SL20Elm.h"

#include "tests/storagelib/SLTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <string>

namespace vo {
namespace {

using test::V;
using test::ValueTest;
using test::W;

using ScalarTest = ValueTest;

TEST_F(ScalarTest, IntegerTextReadsDecimalAndHexadecimalForms) {
    struct Case {
        const char* Text;
        std::optional<int64_t> Expected; // nullopt: refused
    };
    const Case cases[] = {
        {"42", 42},
        {" 42", 42},
        {"   -7", -7},
        {"+7", 7},
        {"0", 0},
        {"-0", 0},
        {"$10", 16},
        {"x10", 16},
        {"X10", 16},
        {"0x10", 16},
        {"0X1f", 31},
        {"-$10", -16},
        {"$FFFFFFFFFFFFFFFF", -1},
        {"$0000FFFFFFFFFFFFFFFF", -1},
        {"$8000000000000000", std::numeric_limits<int64_t>::min()},
        {"9223372036854775807", std::numeric_limits<int64_t>::max()},
        {"-9223372036854775808", std::numeric_limits<int64_t>::min()},
        {"9223372036854775808", std::nullopt},
        {"-9223372036854775809", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"$1FFFFFFFFFFFFFFFF", std::nullopt},
        {"42 ", std::nullopt},
        {"", std::nullopt},
        {"  ", std::nullopt},
        {"-", std::nullopt},
        {"$", std::nullopt},
        {"0x", std::nullopt},
        {"1.5", std::nullopt},
        {"12abc", std::nullopt},
        {"$G", std::nullopt},
        {"\t1", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        if (c.Expected) {
            EXPECT_EQ(SLStrToInt64(c.Text), *c.Expected);
        } else {
            EXPECT_THROW_MSG(SLStrToInt64(c.Text), EConvertError,
                             std::string("'") + c.Text + "' is not a valid integer value");
        }
    }
}

TEST_F(ScalarTest, RealTextReadsFixedAndExponentForms) {
    struct Case {
        const char* Text;
        std::optional<double> Expected;
    };
    const Case cases[] = {
        {"1.5", 1.5},
        {" 2.5 ", 2.5},
        {"-3", -3.0},
        {"+.5", 0.5},
        {"5.", 5.0},
        {"1e3", 1000.0},
        {"1E-2", 0.01},
        {"12", 12.0},
        {"1e-400", 0.0},
        {"1e", std::nullopt},
        {"abc", std::nullopt},
        {"", std::nullopt},
        {"1,5", std::nullopt},
        {"1e400", std::nullopt},
        {".", std::nullopt},
        {"1.5x", std::nullopt},
        {"INF", std::nullopt},
        {"NAN", std::nullopt},
        {"0x10", std::nullopt},
        {"- 1", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        if (c.Expected) {
            EXPECT_DOUBLE_EQ(SLStrToFloat(c.Text), *c.Expected);
        } else {
            EXPECT_THROW_MSG(SLStrToFloat(c.Text), EConvertError,
                             std::string("'") + c.Text + "' is not a valid floating point value");
        }
    }
}

TEST_F(ScalarTest, GeneralNotationUsesFifteenSignificantDigits) {
    struct Case {
        double Value;
        const char* Text;
    };
    const Case cases[] = {
        {1e20, "1E20"},
        {0.1, "0.1"},
        {1.0 / 3.0, "0.333333333333333"},
        {2.0 / 3.0, "0.666666666666667"},
        {1.5e-7, "1.5E-7"},
        {0.0001, "0.0001"},
        {0.00001, "0.00001"},
        {0.000001, "1E-6"},
        {123.456, "123.456"},
        {0.0, "0"},
        {-2.5, "-2.5"},
        {2.0, "2"},
        {100.0, "100"},
        {123456789012345.0, "123456789012345"},
        {1e15, "1E15"},
        {999999999999999.9, "1E15"},
        {-1.25e-10, "-1.25E-10"},
        {std::numeric_limits<double>::quiet_NaN(), "NAN"},
        {std::numeric_limits<double>::infinity(), "INF"},
        {-std::numeric_limits<double>::infinity(), "-INF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(SLFloatToStrGeneral(c.Value), c.Text);
    }
}

TEST_F(ScalarTest, ProgramWideFloatFormatReplacesTheGeneralNotation) {
    EXPECT_EQ(TSLNumber::GetFloatFormatString(), "");
    struct Case {
        const char* Format;
        double Value;
        const char* Text;
    };
    const Case cases[] = {
        {"0.00", 2.5, "2.50"},
        {"0.##", 2.5, "2.5"},
        {"#.##", 0.5, ".5"},
        {"000", 7.0, "007"},
        {"#,##0", 1234567.0, "1,234,567"},
        {"0.0E+00", 12345.0, "1.2E+04"},
        {"0.00;(0.00)", -1.5, "(1.50)"},
        {"0.0;-0.0;'zero'", 0.0, "zero"},
        {"'x='0.0", 3.25, "x=3.2"},
        {"0.0", -3.25, "-3.2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Format);
        EXPECT_EQ(SLFormatFloat(c.Format, c.Value), c.Text);
    }
    TSLNumber::SetFloatFormatString("0.00");
    EXPECT_EQ(MakeRef<TSLDouble>(2.5)->GetStringValue(), "2.50");
    EXPECT_EQ([] { TRef<TSLString> s = MakeRef<TSLString>(); s->SetDoubleValue(1.0); return s->GetStringValue(); }(),
              "1.00");
    TSLNumber::SetFloatFormatString("");
    EXPECT_EQ(MakeRef<TSLDouble>(2.5)->GetStringValue(), "2.5");
}

TEST_F(ScalarTest, GettersConvertAsTheValueTableSays) {
    // value fixture, getter, expected text of the result
    using Getter = std::function<std::string(TSLObject*)>;
    const Getter asInt = [](TSLObject* o) {
        if (auto* n = dynamic_cast<TSLNumber*>(o)) return std::to_string(n->GetLongintValue());
        return std::to_string(SLCast<TSLString>(o)->GetLongintValue());
    };
    const Getter asDouble = [](TSLObject* o) {
        if (auto* n = dynamic_cast<TSLNumber*>(o)) return SLFloatToStrGeneral(n->GetDoubleValue());
        return SLFloatToStrGeneral(SLCast<TSLString>(o)->GetDoubleValue());
    };
    const Getter asString = [](TSLObject* o) -> std::string {
        if (auto* n = dynamic_cast<TSLNumber*>(o)) return n->GetStringValue();
        if (auto* b = dynamic_cast<TSLBoolean*>(o)) return b->GetStringValue();
        return SLCast<TSLString>(o)->GetStringValue();
    };
    const Getter asBool = [](TSLObject* o) -> std::string {
        bool v;
        if (auto* n = dynamic_cast<TSLNumber*>(o))
            v = n->GetBooleanValue();
        else
            v = SLCast<TSLString>(o)->GetBooleanValue();
        return v ? "true" : "false";
    };
    struct Case {
        const char* Value;
        const Getter* Get;
        const char* Expected;
    };
    const Case cases[] = {
        {"-42", &asInt, "-42"},
        {"-42", &asDouble, "-42"},
        {"-42", &asString, "-42"},
        {"-42", &asBool, "true"},
        {"0", &asBool, "false"},
        {"9007199254740993", &asDouble, "9.00719925474099E15"},
        {"5.7", &asInt, "5"},
        {"-5.7", &asInt, "-5"},
        {"5.7", &asString, "5.7"},
        {"0.0", &asBool, "false"},
        {"0.5", &asBool, "true"},
        {"1e20", &asString, "1E20"},
        {"'$10'", &asInt, "16"},
        {"' 42'", &asInt, "42"},
        {"'2.5'", &asDouble, "2.5"},
        {"'True'", &asBool, "true"},
        {"'tRuE'", &asBool, "true"},
        {"'FALSE'", &asBool, "false"},
        {"#1", &asString, "true"},
        {"#0", &asString, "false"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Value);
        TRef<TSLObject> v = V(c.Value);
        EXPECT_EQ((*c.Get)(v.Get()), c.Expected);
    }
}

TEST_F(ScalarTest, SettersConvertAsTheValueTableSays) {
    struct Case {
        const char* Receiver;
        std::function<void(TSLObject*)> Set;
        const char* Written;
    };
    auto num = [](TSLObject* o) { return SLCast<TSLNumber>(o); };
    auto str = [](TSLObject* o) { return SLCast<TSLString>(o); };
    const Case cases[] = {
        {"0", [&](TSLObject* o) { num(o)->SetDoubleValue(2.5); }, "2"},
        {"0", [&](TSLObject* o) { num(o)->SetDoubleValue(-2.5); }, "-2"},
        {"0", [&](TSLObject* o) { num(o)->SetDoubleValue(3.5); }, "4"},
        {"0", [&](TSLObject* o) { num(o)->SetDoubleValue(2.6); }, "3"},
        {"0", [&](TSLObject* o) { num(o)->SetBooleanValue(true); }, "-1"},
        {"7", [&](TSLObject* o) { num(o)->SetBooleanValue(false); }, "0"},
        {"0", [&](TSLObject* o) { num(o)->SetStringValue("$FF"); }, "255"},
        {"0.0", [&](TSLObject* o) { num(o)->SetLongintValue(-3); }, "-3r"},
        {"0.0", [&](TSLObject* o) { num(o)->SetBooleanValue(true); }, "1r"},
        {"0.0", [&](TSLObject* o) { num(o)->SetStringValue(" 1.5e2 "); }, "150r"},
        {"''", [&](TSLObject* o) { str(o)->SetLongintValue(-12); }, "'-12'"},
        {"''", [&](TSLObject* o) { str(o)->SetDoubleValue(1.0 / 3.0); }, "'0.333333333333333'"},
        {"''", [&](TSLObject* o) { str(o)->SetBooleanValue(true); }, "'true'"},
        {"''", [&](TSLObject* o) { str(o)->SetBooleanValue(false); }, "'false'"},
        {"#0", [&](TSLObject* o) { SLCast<TSLBoolean>(o)->SetStringValue("TrUe"); }, "#1"},
        {"#1", [&](TSLObject* o) { SLCast<TSLBoolean>(o)->SetStringValue("false"); }, "#0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Written);
        TRef<TSLObject> v = V(c.Receiver);
        c.Set(v.Get());
        EXPECT_EQ(W(v), c.Written);
    }
}

TEST_F(ScalarTest, ConversionFailuresRaiseAndKeepTheValue) {
    TRef<TSLString> yes = MakeRef<TSLString>("yes");
    EXPECT_THROW_MSG(yes->GetBooleanValue(), Exception, "TSLString.GetBooleanValue: can't convert 'yes' to boolean value");
    EXPECT_THROW_MSG(yes->GetLongintValue(), EConvertError, "'yes' is not a valid integer value");
    EXPECT_THROW_MSG(yes->GetDoubleValue(), EConvertError, "'yes' is not a valid floating point value");

    TRef<TSLBoolean> b = MakeRef<TSLBoolean>(true);
    EXPECT_THROW_MSG(b->SetStringValue("yes"), Exception, "TSLBoolean.SetStringValue: wrong value: yes");
    EXPECT_TRUE(b->GetBooleanValue());

    TRef<TSLLongint> l = MakeRef<TSLLongint>(9);
    EXPECT_THROW(l->SetStringValue("9x"), EConvertError);
    EXPECT_THROW(l->SetDoubleValue(1e300), EConvertError);
    EXPECT_THROW(l->SetDoubleValue(std::nan("")), EConvertError);
    EXPECT_EQ(l->GetLongintValue(), 9);

    TRef<TSLDouble> d = MakeRef<TSLDouble>(1e300);
    EXPECT_THROW(d->GetLongintValue(), EConvertError);
    EXPECT_THROW(d->SetStringValue("x"), EConvertError);
    EXPECT_EQ(d->GetDoubleValue(), 1e300);
}

TEST_F(ScalarTest, EqualityFollowsTheValueTable) {
    struct Case {
        const char* A;
        const char* B; // nullptr: nil
        bool Equal;
    };
    const Case cases[] = {
        {"5", "5.7", true},
        {"5.7", "5", false},
        {"5", "5", true},
        {"5.0", "5", true},
        {"5", "6", false},
        {"-5", "-5.9", true},
        {"5", "1e300", false},
        {"5", "'5'", false},
        {"'5'", "5", false},
        {"'abc'", "'abc'", true},
        {"'abc'", "'ABC'", false},
        {"'a'", "/a", false},
        {"#1", "#1", true},
        {"#1", "#0", false},
        {"#1", "1", false},
        {"abc", "/abc", true},
        {"abc", "ABC", false},
        {"/x", "'x'", false},
        {"5", nullptr, false},
        {"'x'", nullptr, false},
        {"2.5", "2.5", true},
        {"0.1", "0.1", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.A) + " vs " + (c.B ? c.B : "nil"));
        TRef<TSLObject> a = V(c.A);
        TRef<TSLObject> b = c.B ? V(c.B) : nullptr;
        EXPECT_EQ(a->IsEqual(b.Get()), c.Equal);
    }
    TRef<TSLDouble> nan = MakeRef<TSLDouble>(std::nan(""));
    EXPECT_FALSE(nan->IsEqual(nan.Get()));
}

TEST_F(ScalarTest, AssignmentCopiesTheValueFromTheSameClassOnly) {
    struct Case {
        const char* Receiver;
        const char* Source;
        const char* Result; // nullptr: invalid type-cast, receiver unchanged
    };
    const Case cases[] = {
        {"1", "2", "2"},
        {"1", "2.0", nullptr},
        {"1.5", "2.5", "2.5r"},
        {"1.5", "2", nullptr},
        {"'a'", "'b'", "'b'"},
        {"'a'", "b", nullptr},
        {"#0", "#1", "#1"},
        {"#0", "1", nullptr},
        {"/a", "b", "/b"},
        {"a", "/b", "b"},
        {"a", "'b'", nullptr},
        {"1", "[A ]", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Receiver) + " := " + c.Source);
        TRef<TSLObject> r = V(c.Receiver);
        TRef<TSLObject> s = V(c.Source);
        const std::string before = W(r);
        if (c.Result) {
            r->AssignObject(s.Get());
            EXPECT_EQ(W(r), c.Result);
        } else {
            EXPECT_THROW_MSG(r->AssignObject(s.Get()), EInvalidCast, "Invalid class typecast");
            EXPECT_EQ(W(r), before);
        }
    }
    TRef<TSLString> self = MakeRef<TSLString>("same");
    self->AssignObject(self.Get());
    EXPECT_EQ(self->GetStringValue(), "same");
    EXPECT_THROW(self->AssignObject(nullptr), EInvalidCast);
}

TEST_F(ScalarTest, CopiesAreNewEqualAutoreleasedValuesWithoutDebugRecord) {
    for (const char* text : {"-3", "2.5", "'it@'s'", "#1", "name", "/lit"}) {
        SCOPED_TRACE(text);
        TRef<TSLObject> v = V(text);
        v->SetDbgInfo(std::make_unique<TElmDbgInfo>(1, 2, 3, 4));
        const std::size_t pool = RefObjManager().GetPoolCount();
        TSLObject* copy = v->CopyObject();
        EXPECT_NE(copy, v.Get());
        EXPECT_STREQ(copy->ClassName(), v->ClassName());
        EXPECT_EQ(copy->GetRefCount(), 1);
        EXPECT_EQ(RefObjManager().GetPoolCount(), pool + 1);
        EXPECT_TRUE(copy->IsEqual(v.Get()));
        EXPECT_EQ(copy->GetExecutable(), v->GetExecutable());
        EXPECT_EQ(copy->GetDbgInfo(), nullptr);
        EXPECT_EQ(W(copy), W(v));
    }
    TRef<TSLLongint> l = MakeRef<TSLLongint>(8);
    EXPECT_EQ(l->CopyLongint()->GetLongintValue(), 8);
    EXPECT_EQ(MakeRef<TSLDouble>(0.5)->CopyDouble()->GetDoubleValue(), 0.5);
    EXPECT_EQ(MakeRef<TSLString>("s")->CopyString()->GetStringValue(), "s");
    EXPECT_TRUE(MakeRef<TSLBoolean>(true)->CopyBoolean()->GetBooleanValue());
    EXPECT_TRUE(MakeRef<TSLIdent>("x", true)->CopyIdent()->GetExecutable());
}

TEST_F(ScalarTest, EachValueWritesItselfThroughTheEncoder) {
    struct Case {
        const char* Value;
        const char* Written;
    };
    const Case cases[] = {{"-3", "-3"}, {"2.5", "2.5r"}, {"'a@'b'", "'a@'b'"}, {"#0", "#0"}, {"exec", "exec"}, {"/lit", "/lit"}, {"a.b:c", "a.b:c"}};
    for (const Case& c : cases) {
        TRef<TSLObject> v = V(c.Value);
        EXPECT_EQ(W(v), c.Written);
    }
}

TEST_F(ScalarTest, IdentifierFlagBelongsToTheReceiver) {
    TRef<TSLIdent> lit = MakeRef<TSLIdent>("a", false);
    TRef<TSLIdent> exe = MakeRef<TSLIdent>("b", true);
    lit->AssignObject(exe.Get());
    EXPECT_EQ(lit->GetIdentValue(), "b");
    EXPECT_FALSE(lit->GetExecutable());
    lit->SetExecutable(true);
    EXPECT_TRUE(lit->GetExecutable());
}

TEST_F(ScalarTest, OperationsAClassLacksAreRefusedByName) {
    TRef<TSLString> s = MakeRef<TSLString>("x");
    EXPECT_FALSE(s->GetExecutable());
    EXPECT_THROW_MSG(s->SetExecutable(true), Exception, "TSLString.SetExecutable: method not implemented");
    EXPECT_THROW_MSG(s->Execute(nullptr), Exception, "TSLString.Execute: method not implemented");
    EXPECT_EQ(s->DepthIncrement(), 0);
    TRef<TSLInternalProcedure> p = MakeRef<TSLInternalProcedure>();
    EXPECT_TRUE(p->GetExecutable());
    EXPECT_THROW_MSG(p->CopyObject(), Exception, "TSLInternalProcedure.CopyObject: method not implemented");
    EXPECT_THROW_MSG(p->IsEqual(s.Get()), Exception, "TSLInternalProcedure.IsEqual: method not implemented");
    EXPECT_THROW_MSG(p->AssignObject(s.Get()), Exception, "TSLInternalProcedure.AssignObject: method not implemented");
    EXPECT_THROW_MSG(W(p.Get()), Exception, "TSLInternalProcedure.Encode: method not implemented");
}

TEST_F(ScalarTest, DebugRecordsAndTheirHelpers) {
    TDbgInfo base;
    EXPECT_THROW_MSG(base.GetTokLine(), Exception, "TDbgInfo.GetTokLine: method not implemented");
    EXPECT_THROW_MSG(base.SetBreakpoint(true), Exception, "TDbgInfo.SetBreakpoint: method not implemented");

    TRef<TSLIdent> plain = MakeRef<TSLIdent>("x", true);
    EXPECT_EQ(GetDbgInfo(nullptr), nullptr);
    EXPECT_EQ(GetDbgLine(plain.Get()), "");
    EXPECT_EQ(GetDbgFile(plain.Get()), "");
    EXPECT_EQ(GetDbgFile(nullptr), "");

    TRef<TSLIdent> read = MakeRef<TSLIdent>("y", true);
    read->SetDbgInfo(std::make_unique<TElmDbgInfo>(10, 1, 3, 7));
    EXPECT_EQ(GetDbgLine(read.Get()), "3");
    EXPECT_EQ(GetDbgFile(read.Get()), ""); // no id table installed
    SetStorageNameLookup([](uint16_t id) -> MyAnsiString { return id == 7 ? "archive://Archives\\Lib\\Util.sct" : ""; });
    EXPECT_EQ(GetDbgFile(read.Get()), "Util.sct");
    read->GetDbgInfo()->SetStorageID(0);
    EXPECT_EQ(GetDbgFile(read.Get()), "");
    read->GetDbgInfo()->SetBreakpoint(true);
    EXPECT_TRUE(read->GetDbgInfo()->GetBreakpoint());
    SetStorageNameLookup(nullptr);
}

} // namespace
} // namespace vo
