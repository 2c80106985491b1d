#pragma once
// Shared checks of the fuzz targets of the text notation.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "storagelib/RefObj.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20Elm.h"
#include "storagelib/SL20Enc.h"
#include "storagelib/SL20Rec.h"
#include "storagelib/SL20Stk.h"

namespace vo::fuzz {

[[noreturn]] inline void Fail(const char* What, const std::string& Detail) {
    std::fprintf(stderr, "fuzz check failed: %s\n%s\n", What, Detail.c_str());
    std::abort();
}

// The reader and writer the targets share (one of each, as the program has).
inline TSLStreamDecoder& Decoder() {
    static TRef<TSLStreamDecoder> d = TSLStreamDecoder::CreateStandard();
    return *d;
}
inline TSLStreamEncoder& Encoder() {
    static TRef<TSLStreamEncoder> e = MakeRef<TSLStreamEncoder>();
    return *e;
}

inline TRef<TSLObject> ReadText(const std::string& Text, bool Debug) {
    TRef<TSLStringStream> s = MakeRef<TSLStringStream>();
    s->SetBuffer(Text);
    TRef<TSLLookaheadStream> look = MakeRef<TSLLookaheadStream>(s.Get());
    return Decoder().ReadSingleObjectRef(look.Get(), Debug);
}

inline std::string WriteText(TSLObject* Obj) {
    TRef<TSLStringStream> s = MakeRef<TSLStringStream>();
    Encoder().WriteObject(s.Get(), Obj);
    return s->TakeBuffer();
}

// Read-write-read reaches a fixed point: a value the writer accepts is
// written as text that reads back and is written again byte for byte the
// same. Returns the first text, or "" when the writer refused the value.
inline std::string CheckFixedPoint(TSLObject* Value) {
    std::string first;
    try {
        first = WriteText(Value);
    } catch (const Exception&) {
        return {}; // refused at write time, with a clear error
    }
    TRef<TSLObject> again;
    try {
        again = ReadText(first, false);
    } catch (const Exception& e) {
        Fail("the reader refuses what the writer wrote", first + "\n" + e.what());
    }
    std::string second;
    try {
        second = WriteText(again.Get());
    } catch (const Exception& e) {
        Fail("the writer refuses what it wrote and read back", first + "\n" + e.what());
    }
    if (second != first) Fail("read-write-read is no fixed point", first + "\n---\n" + second);
    SLBreakReferenceCycles(again.Get());
    return first;
}

// The nine scanners of the standard reader, one of them under a class of its
// own: the reader then takes every token through the scanners, never
// inline, so its results are those the inline path must match.
class TPlainWhitespaceScanner : public TSLWhitespaceScanner {
    VO_REFOBJ_CLASS(TPlainWhitespaceScanner, TSLWhitespaceScanner)
};
inline TRef<TSLStreamDecoder> CreatePlainDecoder() {
    return TSLStreamDecoder::CreateStandard(MakeRef<TPlainWhitespaceScanner>().Get());
}

// A value with everything reading decides: classes, contents, names, shared
// and cyclic composites, and debug records.
inline void Describe(std::string& Out, TSLObject* Obj, std::vector<TSLObject*>& Seen) {
    if (!Obj) {
        Out += "nil ";
        return;
    }
    Out += Obj->ClassName();
    if (const TDbgInfo* d = Obj->GetDbgInfo())
        Out += "<" + std::to_string(d->GetTokPos()) + "," + std::to_string(d->GetTokLength()) + "," +
            std::to_string(d->GetTokLine()) + "," + std::to_string(d->GetStorageID()) + ">";
    Out += Obj->GetExecutable() ? "x" : "-";
    if (auto* c = dynamic_cast<TSLComposite*>(Obj)) {
        for (std::size_t i = 0; i < Seen.size(); ++i)
            if (Seen[i] == Obj) {
                Out += "@" + std::to_string(i) + " ";
                return;
            }
        Seen.push_back(Obj);
        Out += ":" + c->GetIdent() + "[";
        if (auto* r = dynamic_cast<TSLRecord*>(Obj)) {
            Describe(Out, r->GetRecDef(), Seen);
            Describe(Out, r->GetData(), Seen);
        } else if (auto* d = dynamic_cast<TSLDictionary*>(Obj)) {
            for (int i = 0; i < d->GetCount(); ++i) {
                Out += "/";
                Out += d->NameRefAtIndex(i);
                Out += " ";
                Describe(Out, d->GetObjAtIndex(i), Seen);
            }
        } else if (auto* col = dynamic_cast<TSLCollection*>(Obj)) {
            for (int i = 0; i < col->GetCount(); ++i) Describe(Out, col->GetObjAtIndex(i), Seen);
        }
        Out += "] ";
        return;
    }
    if (auto* n = dynamic_cast<TSLLongint*>(Obj)) Out += std::to_string(n->GetLongintValue());
    if (auto* f = dynamic_cast<TSLDouble*>(Obj)) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%a", f->GetDoubleValue());
        Out += buf;
    }
    if (auto* t = dynamic_cast<TSLString*>(Obj)) Out += "'" + t->GetStringValue() + "'";
    if (auto* b = dynamic_cast<TSLBoolean*>(Obj)) Out += b->GetBooleanValue() ? "#1" : "#0";
    if (auto* id = dynamic_cast<TSLIdent*>(Obj)) Out += id->GetIdentValue();
    Out += " ";
}

// What reading Text with Decoder gives: the described value and where the
// stream stands after it, or the error message.
inline std::string ReadOutcome(TSLStreamDecoder& Decoder, const std::string& Text, bool Debug) {
    TRef<TSLStringStream> s = MakeRef<TSLStringStream>();
    s->SetBuffer(Text);
    TRef<TSLLookaheadStream> look = MakeRef<TSLLookaheadStream>(s.Get());
    std::string out;
    try {
        TRef<TSLObject> v = Decoder.ReadSingleObjectRef(look.Get(), Debug);
        std::vector<TSLObject*> seen;
        Describe(out, v.Get(), seen);
        out += "| at " + std::to_string(s->StreamPos()) + " line " + std::to_string(look->Line());
        SLBreakReferenceCycles(v.Get());
    } catch (const Exception& e) {
        out = std::string("error: ") + e.what();
    }
    return out;
}

// Every counted object made during one input is gone afterwards.
class TObjectCountCheck {
public:
    TObjectCountCheck() {
        Decoder(); // the shared reader and writer live on
        Encoder();
        PurgeAutoReleasePool();
        Before = RefObjManager().GetObjCount();
    }
    ~TObjectCountCheck() {
        PurgeAutoReleasePool();
        if (RefObjManager().GetObjCount() != Before)
            Fail("counted objects leaked", std::to_string(RefObjManager().GetObjCount() - Before));
    }

private:
    int32_t Before;
};

} // namespace vo::fuzz
