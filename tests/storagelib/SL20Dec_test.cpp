// The text notation reader: every kind of value, composites, back references,
// constants, comments and escapes; the reader's exact error texts with their
// "[file, line]" prefix; debug records; scanner order; and that failed or
// partly discarded reads leave nothing behind.
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20DbgHlp.h"
#include "storagelib/SL20Enc.h"

#include "tests/fuzz/FuzzSupport.h"
#include "tests/storagelib/SLTestUtil.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vo {
namespace {

using test::ValueTest;
using test::W;

using ReaderTest = ValueTest;

TRef<TSLObject> Read(std::string_view Text, bool Debug = false) { return SLDecodeString(Text, Debug); }

// The message of the syntax error that reading Text raises.
std::string ReadError(std::string_view Text) {
    try {
        TRef<TSLObject> v = Read(Text);
        SLBreakReferenceCycles(v.Get());
    } catch (const ESLSyntaxError& e) {
        return e.what();
    }
    return "(no error)";
}

template <class T>
T* As(TSLObject* Obj) {
    T* t = dynamic_cast<T*>(Obj);
    EXPECT_NE(t, nullptr) << (Obj ? Obj->ClassName() : "nil");
    return t;
}

TEST_F(ReaderTest, ReadsEveryScalarKindInAnArray) {
    TRef<TSLObject> v = Read("[A 1 -2 $FF 1.5 2. 1e3 'x' #1 /lit exe ]");
    auto* a = As<TSLArray>(v.Get());
    ASSERT_EQ(a->GetCount(), 10);
    EXPECT_EQ(As<TSLLongint>(a->GetObjAtIndex(0))->GetLongintValue(), 1);
    EXPECT_EQ(As<TSLLongint>(a->GetObjAtIndex(1))->GetLongintValue(), -2);
    EXPECT_EQ(As<TSLLongint>(a->GetObjAtIndex(2))->GetLongintValue(), 255);
    EXPECT_EQ(As<TSLDouble>(a->GetObjAtIndex(3))->GetDoubleValue(), 1.5);
    EXPECT_EQ(As<TSLDouble>(a->GetObjAtIndex(4))->GetDoubleValue(), 2.0);
    EXPECT_EQ(As<TSLDouble>(a->GetObjAtIndex(5))->GetDoubleValue(), 1000.0);
    EXPECT_EQ(As<TSLString>(a->GetObjAtIndex(6))->GetStringValue(), "x");
    EXPECT_TRUE(As<TSLBoolean>(a->GetObjAtIndex(7))->GetBooleanValue());
    auto* lit = As<TSLIdent>(a->GetObjAtIndex(8));
    EXPECT_EQ(lit->GetIdentValue(), "lit");
    EXPECT_FALSE(lit->GetExecutable());
    auto* exe = As<TSLIdent>(a->GetObjAtIndex(9));
    EXPECT_EQ(exe->GetIdentValue(), "exe");
    EXPECT_TRUE(exe->GetExecutable());
}

TEST_F(ReaderTest, NumbersAtTheirLimitsAndInEveryForm) {
    struct Case {
        const char* Text;
        const char* Written; // the value as the writer gives it back
    };
    const Case cases[] = {
        {"9223372036854775807", "9223372036854775807 "},
        {"-9223372036854775808", "-9223372036854775808 "},
        {"+17", "17 "},
        {"007", "7 "},
        {"$FFFFFFFFFFFFFFFF", "-1 "},
        {"$7fffffffffffffff", "9223372036854775807 "},
        {"1E20", "1E20 "},
        {"-1.5e-3", "-0.0015 "},
        {"12.", "12.0 "},
        {"0.5E+1", "5.0 "},
        {"1e-400", "0.0 "},
    };
    for (const Case& c : cases) {
        TRef<TSLObject> v = Read(c.Text);
        EXPECT_EQ(SLEncodeToString(v.Get()), c.Written) << c.Text;
    }
}

TEST_F(ReaderTest, CompositesOfEveryLetter) {
    TRef<TSLObject> v = Read("[A [A] [A ] [B 1 add ] [P [A /x ] x [A ] ] [S 3 2 1 ] [D /a 1 /B 'two' ] "
                             "[R [D:Point /x 0 /y 0 ] [A 3 4 ] ] ]");
    auto* a = As<TSLArray>(v.Get());
    ASSERT_EQ(a->GetCount(), 7);
    EXPECT_EQ(As<TSLArray>(a->GetObjAtIndex(0))->GetCount(), 0);
    EXPECT_EQ(As<TSLArray>(a->GetObjAtIndex(1))->GetCount(), 0);
    EXPECT_EQ(As<TSLBlock>(a->GetObjAtIndex(2))->GetCount(), 2);
    EXPECT_EQ(As<TSLProcedure>(a->GetObjAtIndex(3))->GetCount(), 3);
    auto* stack = As<TSLStack>(a->GetObjAtIndex(4));
    EXPECT_EQ(stack->GetIntAtIndex(0), 3); // listed from the top down
    EXPECT_EQ(stack->GetIntAtIndex(2), 1);
    auto* d = As<TSLDictionary>(a->GetObjAtIndex(5));
    EXPECT_EQ(d->GetIntWithName("A"), 1);
    EXPECT_EQ(d->GetStrWithName("b"), "two");
    auto* r = As<TSLRecord>(a->GetObjAtIndex(6));
    EXPECT_EQ(r->GetTypeName(), "Point");
    EXPECT_EQ(r->GetIntWithName("y"), 4);
}

TEST_F(ReaderTest, StringEscapes) {
    struct Case {
        const char* Text;
        std::string Value;
    };
    const Case cases[] = {
        {"'It@'s'", "It's"},
        {"'a@l@nb'", "a\n\rb"},
        {"'@41@42'", "AB"},
        {"'@@'", "@"},
        {"'@x@-'", "x-"},
        {"'@ff@00'", std::string("\xff\0", 2)},
        {"'line\rbreak'", "line\rbreak"},
        {"''", ""},
    };
    for (const Case& c : cases) {
        TRef<TSLObject> v = Read(c.Text);
        EXPECT_EQ(As<TSLString>(v.Get())->GetStringValue(), c.Value) << c.Text;
    }
}

TEST_F(ReaderTest, BackReferencesByNumberAndByName) {
    TRef<TSLObject> v = Read("[A [A:x 1 ] @x @2 @0 ]");
    auto* a = As<TSLArray>(v.Get());
    ASSERT_EQ(a->GetCount(), 4);
    EXPECT_EQ(a->GetObjAtIndex(0), a->GetObjAtIndex(1));
    EXPECT_EQ(a->GetObjAtIndex(0), a->GetObjAtIndex(2));
    EXPECT_EQ(a->GetObjAtIndex(3), nullptr);

    TRef<TSLObject> self = Read("[A @1 ]");
    auto* s = As<TSLArray>(self.Get());
    EXPECT_EQ(s->GetObjAtIndex(0), s);
    SLBreakReferenceCycles(self.Get());

    // a composite refers to its parent, by name and by number
    TRef<TSLObject> parent = Read("[D:top /child [D /up @top /again @1 ] ]");
    auto* top = As<TSLDictionary>(parent.Get());
    auto* child = As<TSLDictionary>(top->GetObjWithName("child"));
    EXPECT_EQ(child->GetObjWithName("up"), top);
    EXPECT_EQ(child->GetObjWithName("again"), top);
    SLBreakReferenceCycles(parent.Get());

    // records of one type share their definition
    TRef<TSLObject> recs = Read("[A [R [D:Point /x 0 /y 0 ] [A 1 2 ] ] [R @3 [A 3 4 ] ] ]");
    auto* ra = As<TSLArray>(recs.Get());
    EXPECT_EQ(As<TSLRecord>(ra->GetObjAtIndex(0))->GetRecDef(), As<TSLRecord>(ra->GetObjAtIndex(1))->GetRecDef());
}

TEST_F(ReaderTest, ConstantsAfterTheirDictionary) {
    // reading stops after the first value
    TRef<TSLObject> first = Read("[D:CONST /Max 10 ] [A *Max ]");
    EXPECT_NE(dynamic_cast<TSLDictionary*>(first.Get()), nullptr);

    TRef<TSLObject> v = Read("[A [D:CONST /Max 10 /Name 'n' /On #1 /Pi 3.5 /Arr [A ] ] *Max *Name *On *Pi *Arr ]");
    auto* a = As<TSLArray>(v.Get());
    ASSERT_EQ(a->GetCount(), 5); // the array constant pushes nothing
    auto* consts = As<TSLDictionary>(a->GetObjAtIndex(0));
    EXPECT_EQ(a->GetIntAtIndex(1), 10);
    EXPECT_NE(a->GetObjAtIndex(1), consts->GetObjWithName("Max")); // a new value
    EXPECT_EQ(a->GetStrAtIndex(2), "n");
    EXPECT_TRUE(a->GetBoolAtIndex(3));
    EXPECT_EQ(a->GetFloatAtIndex(4), 3.5);

    // a constant ended by a carriage return: the line goes on counting
    TRef<TSLObject> cr = Read("[A [D:CONST /Max 10 ] *Max\r*Max ]");
    EXPECT_EQ(As<TSLArray>(cr.Get())->GetCount(), 3);

    EXPECT_EQ(ReadError("[A [D:CONST /Max 10 *Max ] ]"), "[, 1] Syntax error: Object with name Max doesn't exist");
    EXPECT_EQ(ReadError("[A [D:CONST ] *Min\r]"), "[, 2] Syntax error: Object with name Min\r doesn't exist");
    EXPECT_EQ(ReadError("[A *Max ]"), "[, 1] Syntax error: Constant dictionary doesn't exist");
    EXPECT_EQ(ReadError("[A [A:CONST ] *Max ]"), "[, 1] Syntax error: Invalid class typecast");
}

TEST_F(ReaderTest, SeparatorsCommentsAndTokensWithoutSeparators) {
    EXPECT_EQ(Read(" \t\r\n% only a comment\r  %another").Get(), nullptr);
    EXPECT_EQ(Read("").Get(), nullptr);
    EXPECT_EQ(As<TSLLongint>(Read("12abc").Get())->GetLongintValue(), 12);
    EXPECT_EQ(W(Read("[A 12abc 'a''b'[A]%c\r#0]")), "[A 12 abc 'a' 'b' [A ] #0 ]");
    EXPECT_EQ(W(Read("[A 12]")), "[A 12 ]");
    EXPECT_EQ(W(Read(std::string("[A\0 1\x08\t2 ]", 11))), "[A 1 2 ]");
    // Unix line ends: a comment ends at the line feed, not with the text.
    EXPECT_EQ(W(Read("% settings\n[D /a 1 % one\n/b 2 ]\n")), "[D /a 1 /b 2 ]");
    EXPECT_EQ(W(Read("% settings\r\n[A 1 ]")), "[A 1 ]");
}

TEST_F(ReaderTest, IdentifiersWithSeparators) {
    EXPECT_EQ(W(Read("[A a.b:c x. /p.q ]")), "[A a.b:c x. /p.q ]");
    TRef<TSLObject> withDot = Read("[A x. ]");
    auto* exe = As<TSLIdent>(As<TSLArray>(withDot.Get())->GetObjAtIndex(0));
    EXPECT_EQ(exe->GetIdentValue(), "x.");
    EXPECT_TRUE(exe->GetExecutable());
    // a literal name may end with a separator only at the very end of the text
    EXPECT_EQ(As<TSLIdent>(Read("/lit.").Get())->GetIdentValue(), "lit.");
    EXPECT_EQ(ReadError("[A /lit. ]"), "[, 1] Syntax error: invalid ident AnsiCharacter ' ' after '/'");
    EXPECT_EQ(ReadError("[A /1 ]"), "[, 1] Syntax error: invalid ident AnsiCharacter '1' after '/'");
}

TEST_F(ReaderTest, ErrorTextsNameTheFileLineAndCause) {
    struct Case {
        const char* Text;
        const char* Message;
    };
    const Case cases[] = {
        {"]", "composite not opened"},
        {"[A 1", "illegal nesting (check number of opening and closing square brackets)"},
        {"[A [A ]", "illegal nesting (check number of opening and closing square brackets)"},
        {"[A", "illegal nesting (check number of opening and closing square brackets)"},
        {"[D:x %open", "illegal nesting (check number of opening and closing square brackets)"},
        {"[X ]", "unknown composite type 'X'"},
        {"[a ]", "invalid composite type 'a'"},
        {"[A:1 ]", "invalid composite ident '1'"},
        {"{", "illegal AnsiCharacter '{'"},
        {"[A . ]", "illegal AnsiCharacter '.'"},
        {"[A \xe9 ]", "illegal AnsiCharacter '\xe9'"},
        {"#2", "invalid boolean '#2'"},
        {"[A @- ]", "invalid pointer '@-'"},
        {"[A @2 ]", "pointer index (2) is out of bounds (2)"},
        {"[A @99999999999999999999999 ]", "pointer index (9223372036854775807) is out of bounds (2)"},
        {"[A @y ]", "no composite object named 'y' found"},
        {"[A [A:x ] [D:X ] ]", "TSLDictionary.AddObject: object with name 'X' already exists"},
        {"'ab@", "missing MyAnsiString termination in MyAnsiString 'ab'"},
        {"'abc", "missing MyAnsiString termination in MyAnsiString 'abc'"},
        {"'0123456789A", "missing MyAnsiString termination in MyAnsiString '0123456789...'"},
        {"'0123456789", "missing MyAnsiString termination in MyAnsiString '0123456789'"},
        {"'ab@4G'", "illegal escape sequence in MyAnsiString 'ab@...'"},
        {"'0123456789AB@4G'", "illegal escape sequence in MyAnsiString '0123456789...@...'"},
        {"99999999999999999999", "'99999999999999999999' is not a valid integer value"},
        {"1e999", "'1e999' is not a valid floating point value"},
        {"1e5-3", "'1e5-3' is not a valid floating point value"},
        {"[D 1 2 ]", "illegal key (TSLLongint) in dictionary "},
        {"[R [A ] [A ] ]", "Invalid class typecast"},
        {"[R [D ] ]", "Internal error: no more objects on stack"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadError(c.Text), std::string("[, 1] Syntax error: ") + c.Message) << c.Text;
}

TEST_F(ReaderTest, InvalidNumberTokensAreErrors) {
    // a lone sign, "$" without digits, an exponent without digits: the token
    // is refused instead of being dropped silently
    const char* cases[][2] = {
        {"[A - ]", "-"},
        {"[A + 1 ]", "+"},
        {"[A $ ]", "$"},
        {"[A $G ]", "$"},
        {"[A 1e ]", "1e"},
        {"[A 1E+ ]", "1E+"},
        {"[A 2.5e- ]", "2.5e-"},
        {"[A 12else ]", "12e"},
        {"-abc", "-"},
    };
    for (auto& c : cases)
        EXPECT_EQ(ReadError(c[0]), std::string("[, 1] Syntax error: invalid number '") + c[1] + "'") << c[0];
}

TEST_F(ReaderTest, ErrorPrefixNamesTheFileAndCountsCarriageReturns) {
    EXPECT_EQ(ReadError("[A\r\n1\r\n2 {"), "[, 3] Syntax error: illegal AnsiCharacter '{'");
    EXPECT_EQ(ReadError("[A\n\n\n{"), "[, 1] Syntax error: illegal AnsiCharacter '{'"); // line feeds do not count
    EXPECT_EQ(ReadError("[A 'a\rb\r' { ]"), "[, 3] Syntax error: illegal AnsiCharacter '{'");
    EXPECT_EQ(ReadError("[A %c\r%d\r"), "[, 3] Syntax error: illegal nesting (check number of opening and closing square brackets)");

    SetStorageNameLookup([](uint16_t Id) { return Id == 7 ? MyAnsiString("C:\\Data\\Config\\View.ini") : MyAnsiString(); });
    TRef<TSLStringStream> s = MakeRef<TSLStringStream>();
    s->SetBuffer("[D\r/a 1\r/b ]");
    s->FStorageID = 7;
    TRef<TSLLookaheadStream> look = MakeRef<TSLLookaheadStream>(s.Get());
    TRef<TSLStreamDecoder> decoder = TSLStreamDecoder::CreateStandard();
    EXPECT_THROW_MSG(decoder->ReadSingleObject(look.Get(), false), ESLSyntaxError,
                     "[View.ini, 3] Syntax error: odd number of objects in dictionary ");
    SetStorageNameLookup(nullptr);
}

TEST_F(ReaderTest, DebugRecordsGivePositionsLengthsAndLines) {
    SetStorageNameLookup(nullptr);
    TRef<TSLStringStream> s = MakeRef<TSLStringStream>();
    //          0         1          2           3
    //          0123456789012345678 9012345 678901234567
    s->SetBuffer("[A:n 12 'ab' #1 /x\r'c\rd' y.z -1.5 ]");
    s->FStorageID = 3;
    TRef<TSLLookaheadStream> look = MakeRef<TSLLookaheadStream>(s.Get());
    TRef<TSLStreamDecoder> decoder = TSLStreamDecoder::CreateStandard();
    TRef<TSLObject> v = decoder->ReadSingleObjectRef(look.Get(), true);
    auto* a = As<TSLArray>(v.Get());
    ASSERT_EQ(a->GetCount(), 7);
    struct Expect {
        TSLObject* Obj;
        int32_t Pos, Len, Line;
    };
    const Expect expected[] = {
        {a, 0, 2, 1}, // composite: position of "[", length 2
        {a->GetObjAtIndex(0), 5, 2, 1}, // integer
        {a->GetObjAtIndex(1), 8, 4, 1}, // string: opening quote minus (line - 1)
        {a->GetObjAtIndex(2), 13, 2, 1}, // boolean
        {a->GetObjAtIndex(3), 16, 2, 1}, // literal name, with its "/"
        {a->GetObjAtIndex(4), 19 - 1, 5, 3}, // string over a line break: line at its end
        {a->GetObjAtIndex(5), 25 - 2, 3, 3}, // name on line 3
        {a->GetObjAtIndex(6), 29, 4, 3}, // real: no line correction
    };
    for (const Expect& e : expected) {
        TDbgInfo* info = e.Obj->GetDbgInfo();
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->GetTokPos(), e.Pos) << e.Obj->ClassName();
        EXPECT_EQ(info->GetTokLength(), e.Len) << e.Obj->ClassName();
        EXPECT_EQ(info->GetTokLine(), e.Line) << e.Obj->ClassName();
        EXPECT_EQ(info->GetStorageID(), 3);
        EXPECT_FALSE(info->GetBreakpoint());
    }
    // without debug: no records
    TRef<TSLObject> plain = Read("[A 1 ]");
    EXPECT_EQ(plain->GetDbgInfo(), nullptr);
    EXPECT_EQ(As<TSLArray>(plain.Get())->GetObjAtIndex(0)->GetDbgInfo(), nullptr);
}

TEST_F(ReaderTest, PositionOffsetShiftsDebugPositions) {
    TRef<TSLStringStream> s = MakeRef<TSLStringStream>();
    s->SetBuffer("HEADER[A 5 ]");
    s->Seek(6);
    TRef<TSLLookaheadStream> look = MakeRef<TSLLookaheadStream>(s.Get());
    look->SetPositionOffset(-6);
    TRef<TSLStreamDecoder> decoder = TSLStreamDecoder::CreateStandard();
    TRef<TSLObject> v = decoder->ReadSingleObjectRef(look.Get(), true);
    EXPECT_EQ(v->GetDbgInfo()->GetTokPos(), 0);
    EXPECT_EQ(As<TSLArray>(v.Get())->GetObjAtIndex(0)->GetDbgInfo()->GetTokPos(), 3);
}

TEST_F(ReaderTest, ReadingStopsRightAfterTheValue) {
    TRef<TSLStringStream> s = MakeRef<TSLStringStream>();
    s->SetBuffer("  [A 1 ] rest");
    TRef<TSLLookaheadStream> look = MakeRef<TSLLookaheadStream>(s.Get());
    TRef<TSLStreamDecoder> decoder = TSLStreamDecoder::CreateStandard();
    TRef<TSLObject> v = decoder->ReadSingleObjectRef(look.Get(), false);
    EXPECT_EQ(W(v), "[A 1 ]");
    EXPECT_EQ(s->StreamPos(), 8); // what follows is not read
    EXPECT_EQ(look->Position(), 8);
    // the next read goes on there
    TRef<TSLObject> next = decoder->ReadSingleObjectRef(look.Get(), false);
    EXPECT_EQ(As<TSLIdent>(next.Get())->GetIdentValue(), "rest");
}

TEST_F(ReaderTest, ReadObjectReturnsTheTopOfAnUnfinishedText) {
    TRef<TSLStringStream> s = MakeRef<TSLStringStream>();
    s->SetBuffer("[A [A:x @x ] 5");
    TRef<TSLLookaheadStream> look = MakeRef<TSLLookaheadStream>(s.Get());
    TRef<TSLStreamDecoder> decoder = TSLStreamDecoder::CreateStandard();
    TSLObject* top = decoder->ReadObject(look.Get(), false);
    EXPECT_EQ(As<TSLLongint>(top)->GetLongintValue(), 5);
    // the self-referring array was left out and is freed with the pool
}

TEST_F(ReaderTest, FailedAndPartlyDiscardedReadsLeaveNothingBehind) {
    // ValueTest checks after each case that every object made is gone,
    // also the composites that came to hold themselves.
    const char* texts[] = {
        "[A [A @2 ] $", // error after a closed self-referring array
        "[A [A:x @x ] [D:x ] ]", // duplicate name after a cycle
        "[A [A @2 ]", // unbalanced
        "[D /a [A @2 ] /b ]", // odd dictionary
        "[R [D:d /v 1 ] [A 2 ] [A:x @x ] ]", // a record ignores its third element
        "[R [D:d /v @1 ] [A @1 ] ]",
    };
    for (const char* t : texts) {
        try {
            TRef<TSLObject> v = Read(t);
            SLBreakReferenceCycles(v.Get());
        } catch (const ESLSyntaxError&) {
        }
        PurgeAutoReleasePool();
        EXPECT_EQ(RefObjManager().GetObjCount(), ObjectsBefore) << t;
    }
}

TEST_F(ReaderTest, NestingIsBounded) {
    std::string text;
    for (int i = 0; i < TSLStreamDecoder::MaxNestingDefault; ++i) text += "[A ";
    std::string ok = text + std::string(TSLStreamDecoder::MaxNestingDefault, ']');
    EXPECT_NE(Read(ok).Get(), nullptr);
    std::string tooDeep = "[A " + ok + "]";
    EXPECT_EQ(ReadError(tooDeep), "[, 1] Syntax error: composites nested too deeply");
}

// A stream that can only be read byte by byte (the default block read).
class TByteStream : public TSLCharStream {
    VO_REFOBJ_CLASS(TByteStream, TSLCharStream)
public:
    explicit TByteStream(std::string Text) : Data(std::move(Text)) {}
    int32_t StreamPos() override { return static_cast<int32_t>(Pos); }
    uint8_t Read() override {
        if (Pos >= Data.size()) throw Exception("TByteStream.Read: end");
        return static_cast<uint8_t>(Data[Pos++]);
    }
    bool Eof() override { return Pos >= Data.size(); }
    void Seek(int32_t N) override { Pos = static_cast<std::size_t>(N); }
    std::string Data;
    std::size_t Pos = 0;
};

TEST_F(ReaderTest, LargeTextAcrossBlockBoundariesReadsAsByteByByte) {
    // tokens of every kind cut at every offset of the look-ahead's blocks
    std::string text = "[A ";
    for (int i = 0; i < 4000; ++i) {
        text += std::to_string(i * 7919) + " 'str@'" + std::to_string(i) + "\r@l@41' /name.n" + std::to_string(i) +
            " " + std::to_string(i) + ".25 #" + std::to_string(i % 2) + " %c\r[D:d" + std::to_string(i) +
            " /k @" + std::to_string(i + 1) + " ] ";
    }
    text += "]";
    ASSERT_GT(text.size(), 100000u);
    TRef<TSLObject> fast = Read(text, true);
    TRef<TByteStream> slowStream = MakeRef<TByteStream>(text);
    TRef<TSLLookaheadStream> look = MakeRef<TSLLookaheadStream>(slowStream.Get());
    TRef<TSLStreamDecoder> decoder = TSLStreamDecoder::CreateStandard();
    TRef<TSLObject> slow = decoder->ReadSingleObjectRef(look.Get(), true);
    EXPECT_EQ(SLEncodeToString(fast.Get()), SLEncodeToString(slow.Get()));
    EXPECT_EQ(look->Line(), 1 + 2 * 4000);
    // debug records agree too
    auto* fa = As<TSLArray>(fast.Get());
    auto* sa = As<TSLArray>(slow.Get());
    for (int i = 0; i < fa->GetCount(); i += 97) {
        EXPECT_EQ(fa->GetObjAtIndex(i)->GetDbgInfo()->GetTokPos(), sa->GetObjAtIndex(i)->GetDbgInfo()->GetTokPos());
        EXPECT_EQ(fa->GetObjAtIndex(i)->GetDbgInfo()->GetTokLine(), sa->GetObjAtIndex(i)->GetDbgInfo()->GetTokLine());
    }
    SLBreakReferenceCycles(fast.Get());
    SLBreakReferenceCycles(slow.Get());
}

TEST_F(ReaderTest, InlineTokensReadAsTheScannersReadThem) {
    // The standard reader takes common tokens straight from its window; a
    // reader whose scanners it does not know takes all through them. Each
    // text is read alone and with its tokens cut at every offset of the
    // window's end, values, debug records, errors and stream positions alike.
    const char* const texts[] = {
        "[A 1 -2 +3 007 12. 1.5 -0.25e-3 1E5 7e+2 9223372036854775807 -9223372036854775808 ]",
        "[A 99999999999999999999 ]",
        "[A 1e999 ]",
        "[A 1e ]",
        "[A 1e+ ]",
        "[A 1e5-3 ]",
        "[A - ]",
        "[A 1.2.3 ]",
        "[A 12abc 3.5x 4E2y ]",
        "[A 'plain' '' 'it@'s' 'a@l@nb' '@41@4a' '@@' '@x' 'line\rbreak' '@\r' ]",
        "[A 'bad @4x' ]",
        "[A 'open ",
        "[A /lit exe a.b /a.b c: _x9 ]",
        "[A /1 ]",
        "[A /a. ]",
        "[A [A] [B ] [P [A ] ] [S 1 2 ] [D /k 1 ] [R [D:T /a 1 ] [A 2 ] ] ]",
        "[A:x @x @1 @0 @2 @12345678901234567890 ]",
        "[A #0 #1 #2 ]",
        "[A [X ] ]",
        "[A ] ]",
        "[D /k ]",
        "[D k 1 ]",
        "[A %c\r 1 *C ]",
        "[A [D:CONST /C 5 ] *C\r ]",
        "\r\r  [A 1\r2 ]",
        "12abc",
        "[a ]",
        "[A 1 ] 2",
        "[A @",
    };
    TRef<TSLStreamDecoder> standard = TSLStreamDecoder::CreateStandard();
    TRef<TSLStreamDecoder> plain = fuzz::CreatePlainDecoder();
    constexpr std::size_t window = 16384;
    for (const char* t : texts) {
        const std::string text = t;
        for (std::size_t cut = 0; cut <= text.size() + 1; ++cut) {
            // blanks before the text put its byte `cut` at the window's end
            const std::string padded = cut == 0 ? text : std::string(window - cut, ' ') + text;
            for (const bool debug : {false, true}) {
                const std::string fast = fuzz::ReadOutcome(*standard, padded, debug);
                ASSERT_EQ(fast, fuzz::ReadOutcome(*plain, padded, debug)) << text << " cut at " << cut;
            }
        }
    }
}

// A scanner for "{...}" tokens added after the nine: it is tried only for
// its own first byte, and only when the nine refuse it.
class TBraceScanner : public TSLScanner {
    VO_REFOBJ_CLASS(TBraceScanner, TSLScanner)
public:
    bool ScanStream(TDecoderInterface& I, bool) override {
        TSLLookaheadStream& s = *I.GetStream();
        ++Calls;
        if (s.ReadChar() != '{') {
            s.UnreadChar();
            return false;
        }
        std::string body;
        for (uint8_t c; (c = s.ReadChar()) != '}';) body.push_back(static_cast<char>(c));
        I.PushElement(MakeRef<TSLString>(body).Get());
        return true;
    }
    bool CanStart(uint8_t B) const override { return B == '{'; }
    int Calls = 0;
};

// A scanner that keeps the default CanStart: tried for every byte the nine refuse.
class TAnyScanner : public TSLScanner {
    VO_REFOBJ_CLASS(TAnyScanner, TSLScanner)
public:
    bool ScanStream(TDecoderInterface& I, bool) override {
        TSLLookaheadStream& s = *I.GetStream();
        ++Calls;
        if (s.ReadChar() != '~') {
            s.UnreadChar();
            return false;
        }
        I.PushElement(nullptr);
        return true;
    }
    int Calls = 0;
};

TEST_F(ReaderTest, AddedScannersAreTriedInOrderForTheirBytes) {
    TRef<TSLStreamDecoder> decoder = TSLStreamDecoder::CreateStandard();
    TRef<TBraceScanner> brace = MakeRef<TBraceScanner>();
    TRef<TAnyScanner> any = MakeRef<TAnyScanner>();
    decoder->AddScanner(brace.Get());
    decoder->AddScanner(any.Get());
    TRef<TSLStringStream> s = MakeRef<TSLStringStream>();
    s->SetBuffer("[A 1 {x y} ~ 'z' ]");
    TRef<TSLLookaheadStream> look = MakeRef<TSLLookaheadStream>(s.Get());
    TRef<TSLObject> v = decoder->ReadSingleObjectRef(look.Get(), false);
    EXPECT_EQ(W(v), "[A 1 'x y' @0 'z' ]");
    EXPECT_EQ(brace->Calls, 1);
    EXPECT_EQ(any->Calls, 1);

    EXPECT_THROW_MSG(decoder->RegisterComposite(TSLArray::CompositeClass()), Exception,
                     "Internal error: composite of type 'A' is already registered");
}

TEST_F(ReaderTest, LookaheadStreamGivesBackOneByteAndCountsLines) {
    TRef<TSLStringStream> s = MakeRef<TSLStringStream>();
    s->SetBuffer("a\rb");
    TRef<TSLLookaheadStream> look = MakeRef<TSLLookaheadStream>(s.Get());
    EXPECT_EQ(look->Position(), 0);
    EXPECT_EQ(look->ReadChar(), 'a');
    EXPECT_EQ(look->ReadChar(), '\r');
    EXPECT_EQ(look->Line(), 2);
    look->UnreadChar();
    EXPECT_EQ(look->Line(), 1);
    EXPECT_EQ(look->Position(), 1);
    EXPECT_FALSE(look->IsEndOfStream());
    EXPECT_THROW_MSG(look->UnreadChar(), Exception,
                     "TSLLookaheadStream.UnreadChar: Only one AnsiCharacter can be unread!");
    EXPECT_EQ(look->ReadChar(), '\r');
    EXPECT_EQ(look->Line(), 2); // counted once
    EXPECT_EQ(look->ReadChar(), 'b');
    EXPECT_TRUE(look->IsEndOfStream());
    EXPECT_THROW_MSG(look->ReadChar(), Exception, "TSLStringStream.Read: end of stream reached");

    // a new stream: line 1, offset kept
    look->SetPositionOffset(10);
    TRef<TSLStringStream> t = MakeRef<TSLStringStream>();
    t->SetBuffer("xy");
    t->FStorageID = 4;
    look->SetCharStream(t.Get());
    EXPECT_EQ(look->Line(), 1);
    EXPECT_EQ(look->GetStorageID(), 4);
    EXPECT_EQ(look->Position(), 10);
    EXPECT_EQ(look->ReadChar(), 'x');
    EXPECT_EQ(look->Position(), 11);
}

} // namespace
} // namespace vo
