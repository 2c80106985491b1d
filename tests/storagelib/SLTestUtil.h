#pragma once
// Helpers of the storage-library value tests: a small text builder for values
// (a subset of the text notation, enough to write fixtures as one line), a
// writer that prints values back in the notation, a stack facade over a
// TSLStack and a script context that records the frames pushed on it.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "storagelib/RefObj.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"
#include "storagelib/SL20Rec.h"
#include "storagelib/SL20Stk.h"
#include "tests/support/ExpectError.h"

namespace vo::test {

// Builds one value from text: integers, reals, 'strings' (@' for an
// apostrophe), #0 #1, /literal and executable names, [X ...] and [X:name ...]
// composites of every letter, @n back references (1 = first composite opened,
// 0 = nil). Returns the value held by a handle.
class TValueBuilder {
public:
    static TRef<TSLObject> Build(std::string_view Text) {
        TValueBuilder b(Text);
        TRef<TSLObject> v = b.Value();
        b.Skip();
        if (b.Pos != b.Text.size()) throw std::runtime_error("trailing text in fixture: " + std::string(Text));
        return v;
    }

private:
    explicit TValueBuilder(std::string_view T) : Text(T) { Opened.push_back(nullptr); }

    void Skip() {
        while (Pos < Text.size() && std::isspace(static_cast<unsigned char>(Text[Pos]))) ++Pos;
    }
    static bool NameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == ':'; }

    TRef<TSLObject> Value() {
        Skip();
        if (Pos >= Text.size()) throw std::runtime_error("fixture ends early");
        const char c = Text[Pos];
        if (c == '[') return Composite();
        if (c == '@') {
            ++Pos;
            std::size_t n = 0;
            while (Pos < Text.size() && std::isdigit(static_cast<unsigned char>(Text[Pos]))) n = n * 10 + (Text[Pos++] - '0');
            return TRef<TSLObject>(Opened.at(n));
        }
        if (c == '#') {
            Pos += 2;
            return MakeRef<TSLBoolean>(Text[Pos - 1] == '1');
        }
        if (c == '\'') {
            ++Pos;
            std::string s;
            while (Text.at(Pos) != '\'') {
                if (Text[Pos] == '@') ++Pos;
                s += Text[Pos++];
            }
            ++Pos;
            return MakeRef<TSLString>(s);
        }
        if (c == '/' || std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            const bool literal = c == '/';
            if (literal) ++Pos;
            const std::size_t start = Pos;
            while (Pos < Text.size() && NameChar(Text[Pos])) ++Pos;
            return MakeRef<TSLIdent>(std::string(Text.substr(start, Pos - start)), !literal);
        }
        const std::size_t start = Pos;
        bool real = false;
        while (Pos < Text.size() && (std::isxdigit(static_cast<unsigned char>(Text[Pos])) || std::strchr("+-.$eE", Text[Pos]))) {
            if (Text[Pos] == '.' || ((Text[Pos] == 'e' || Text[Pos] == 'E') && Text[start] != '$')) real = true;
            ++Pos;
        }
        const std::string_view tok = Text.substr(start, Pos - start);
        if (real) return MakeRef<TSLDouble>(SLStrToFloat(tok));
        return MakeRef<TSLLongint>(SLStrToInt64(tok));
    }

    TRef<TSLObject> Composite() {
        ++Pos; // [
        const char letter = Text.at(Pos++);
        TRef<TSLComposite> c;
        switch (letter) {
        case 'A': c = MakeRef<TSLArray>(); break;
        case 'B': c = MakeRef<TSLBlock>(); break;
        case 'P': c = MakeRef<TSLProcedure>(); break;
        case 'S': c = MakeRef<TSLStack>(); break;
        case 'D': c = MakeRef<TSLDictionary>(); break;
        case 'R': c = MakeRef<TSLRecord>(); break;
        default: throw std::runtime_error(std::string("fixture: composite ") + letter);
        }
        if (Pos < Text.size() && Text[Pos] == ':') {
            const std::size_t start = ++Pos;
            while (Pos < Text.size() && NameChar(Text[Pos])) ++Pos;
            c->SetIdent(Text.substr(start, Pos - start));
        }
        Opened.push_back(c.Get());
        TRef<TSLListCompData> elements = MakeRef<TSLListCompData>();
        for (;;) {
            Skip();
            if (Text.at(Pos) == ']') {
                ++Pos;
                break;
            }
            elements->Add(Value().Get());
        }
        c->InitComposite(elements.Get());
        return c;
    }

    std::string_view Text;
    std::size_t Pos = 0;
    std::vector<TSLComposite*> Opened;
};

inline TRef<TSLObject> V(std::string_view Text) { return TValueBuilder::Build(Text); }

template <class T>
TRef<T> VAs(std::string_view Text) {
    TRef<TSLObject> v = V(Text);
    T* t = dynamic_cast<T*>(v.Get());
    if (!t) throw std::runtime_error("fixture is not of the expected class: " + std::string(Text));
    return TRef<T>(t);
}

// Writes a value in the notation (reals in the general notation), with back
// references for composites met again, as "[A 1 'x' @0 ]".
class TTextWriter : public TEncoderInterface {
public:
    static std::string Write(TSLObject* Obj) {
        TTextWriter w;
        w.EncodeObject(Obj);
        if (!w.Out.empty()) w.Out.pop_back();
        return w.Out;
    }

    void EncodeLongint(int64_t Value) override { Out += std::to_string(Value) + " "; }
    void EncodeDouble(double Value) override { Out += SLFloatToStrGeneral(Value) + "r "; }
    void EncodeString(const MyAnsiString& Value) override {
        Out += '\'';
        for (char c : Value) {
            if (c == '\'' || c == '@') Out += '@';
            Out += c;
        }
        Out += "' ";
    }
    void EncodeBoolean(bool Value) override { Out += Value ? "#1 " : "#0 "; }
    void EncodeIdent(const MyAnsiString& Name, bool Executable) override {
        Out += (Executable ? "" : "/") + Name + " ";
    }
    void EncodeObject(TSLObject* Obj) override {
        if (!Obj) {
            Out += "@0 ";
            return;
        }
        auto* c = dynamic_cast<TSLComposite*>(Obj);
        if (!c) {
            Obj->Encode(*this);
            return;
        }
        for (std::size_t i = 1; i < Written.size(); ++i)
            if (Written[i] == c) {
                Out += "@" + std::to_string(i) + " ";
                return;
            }
        Written.push_back(c);
        Out += std::string("[") + c->AGetCompositeType();
        if (!c->GetIdent().empty()) Out += ":" + c->GetIdent();
        Out += " ";
        c->EncodeCompositeContent(*this);
        Out += "] ";
    }

private:
    TTextWriter() { Written.push_back(nullptr); }
    std::string Out;
    std::vector<TSLComposite*> Written;
};

inline std::string W(TSLObject* Obj) { return TTextWriter::Write(Obj); }
template <class T>
std::string W(const TRef<T>& Obj) {
    return TTextWriter::Write(Obj.Get());
}

// Breaks every cycle reachable from Obj by emptying each composite it reaches
// (records lose their data), so that self-containing fixtures can go.
inline void Dissolve(TSLObject* Obj) {
    auto* root = dynamic_cast<TSLCollection*>(Obj);
    if (!root) return;
    std::vector<TRef<TSLCollection>> all{TRef<TSLCollection>(root)};
    root->ForEach(
        [&](const TForEachInfo& info, bool&) {
            if (auto* c = dynamic_cast<TSLCollection*>(info.Obj)) all.emplace_back(c);
        },
        false);
    for (auto& c : all) {
        if (auto* r = dynamic_cast<TSLRecord*>(c.Get())) {
            if (r->GetData()) r->GetData()->Clear();
        } else {
            c->Clear();
        }
    }
}

// A stack facade over a TSLStack (the interpreter's own comes later).
class TTestStackInterface : public TStackInterface {
public:
    explicit TTestStackInterface(TSLStack* S) : Stack(S) {}
    TSLObject* GetObjAtIndex(int Index) override { return Stack->GetObjAtIndex(Index); }
    void SetObjAtIndex(int Index, TSLObject* AObject) override { Stack->SetObjAtIndex(Index, AObject); }
    int GetCount() override { return Stack->GetCount(); }
    void Clear() override { Stack->Clear(); }
    void AddObject(TSLObject* Obj) override { Stack->AddObject(Obj); }
    void InsertObject(int Index, TSLObject* Obj) override { Stack->InsObjAtIndex(Index, Obj); }
    void RemoveObject(int Index) override { Stack->DelObjAtIndex(Index); }
    void Push(TSLObject* Obj) override { Stack->Push(Obj); }
    TSLObject* Pop(bool ReturnResult) override { return Stack->Pop(ReturnResult); }
    TRef<TSLStack> Stack;
};

// The frame a test context makes: remembers the block and the kind.
class TTestFrame : public TSLObject {
    VO_REFOBJ_CLASS(TTestFrame, TSLObject)
public:
    TTestFrame(TSLBlock* B, bool Proc) : Block(B), IsProcedure(Proc) {}
    TRef<TSLBlock> Block;
    bool IsProcedure;
};

// A script context with real operand and execution stacks; the other
// operations are not used by the value tests.
class TTestContext : public TSLContext {
    VO_REFOBJ_CLASS(TTestContext, TSLContext)
public:
    TTestContext() : Operands(MakeRef<TSLStack>().Get()), Execution(MakeRef<TSLStack>().Get()) {
        FOperandStackInterface = &Operands;
        FExecutionStackInterface = &Execution;
    }
    TContextState GetState() const override { return isIdle; }
    int32_t GetUserValue() const override { return 0; }
    void SetUserValue(int32_t) override {}
    TSLObject* ResolveName(std::string_view) override { return nullptr; }
    void AddDict(TSLDictionary*) override {}
    void AddNamedDict(const MyAnsiString&, TSLDictionary*) override {}
    void ImportDict(const MyAnsiString&, TSLDictionary*) override {}
    void PushBlock(TSLBlock*) override {}
    void Wait(void*, int32_t) override {}
    void Continue(void*) override {}
    void Resume(void*) override {}
    TRef<TSLObject> CreateBlockFrame(TSLBlock* Block) override { return MakeRef<TTestFrame>(Block, false); }
    TRef<TSLObject> CreateProcedureFrame(TSLProcedure* Proc) override { return MakeRef<TTestFrame>(Proc, true); }

    TTestStackInterface Operands;
    TTestStackInterface Execution;
};

// Expects Stmt to throw an exception of type E whose message is Text (the
// shared test::ExpectError, written as a statement).
#define EXPECT_THROW_MSG(Stmt, E, Text) \
    do { \
        SCOPED_TRACE(#Stmt); \
        ::vo::test::ExpectError<E>([&] { Stmt; }, Text); \
    } while (0)

// Checks that a test leaves no counted object behind: every object made during
// the test is gone once the pool has been purged.
class ValueTest : public ::testing::Test {
protected:
    void SetUp() override {
        PurgeAutoReleasePool();
        ObjectsBefore = RefObjManager().GetObjCount();
        RefsBefore = RefObjManager().GetRefCount();
    }
    void TearDown() override {
        PurgeAutoReleasePool();
        EXPECT_EQ(RefObjManager().GetObjCount(), ObjectsBefore) << "counted objects leaked";
        EXPECT_EQ(RefObjManager().GetRefCount(), RefsBefore) << "references leaked";
    }
    int32_t ObjectsBefore = 0;
    int32_t RefsBefore = 0;
};

} // namespace vo::test
