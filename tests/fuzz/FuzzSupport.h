#pragma once
// Shared checks of the fuzz targets of the text notation.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "storagelib/RefObj.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20Enc.h"

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
