// Fuzz target of the answers of a variable batch: the first byte picks the
// protocol generation (0x3x or 0x4x); then, per variable, a type, a source
// and its requests (read, write or both); the rest are the drive's answers,
// one per record in order: a result byte, a length and that many data bytes,
// decoded by the record's own pattern as the communication client does.
// Whatever the answers, the walk consumes every record it put and nothing
// else; a variable ends valid only when one of its requests succeeded; a
// number's cache keeps its width, a string's stays within its MaxSize. No crash, no leak, no hang.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "comm/OvraClnt.h"
#include "comm/QpCustom.h"
#include "comm/QpGetBlk.h"
#include "comm/QpSetBit.h"
#include "comm/QpSetBlk.h"
#include "parameters/varItem.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20Dic.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/RecordActor.h"

namespace {

using namespace vo;

class TOwner : public TVarItemOwner {
public:
    void BeginUpdate() override {}
    void EndOfUpdate() override {}
    void AddChangeInfo(TVariableChangeInfo) override {}
    bool GetUpdateRunning() const override { return false; }
    void SetUpdateRequest() override {}
    TDeviceUnit* GetUnitWithUUID(std::int32_t) const override { return nullptr; }
};

using vo::test::TRecordActor;

const char* const Types[] = {"UInt8", "SInt8", "UInt16", "SInt16", "UInt32", "SInt32", "UInt48", "SInt48",
                             "VelFloat", "FloatIEEE754", "EnumDir16", "EnumDir8", "Bool", "Bool16", "String"};

// The pattern class of a command code of the batch.
const TOvraPatternClass& ClassOf(uint8_t Command) {
    switch (Command) {
    case 0x30: return TGetBlockPattern::Class();
    case 0x31: return TSetBlockPattern::Class();
    case 0x13: return TSetBitPattern::Class();
    default: return TCustomPattern::Class();
    }
}

struct TSetup {
    TSetup() {
        TOvraLoginFacts f;
        f.ProtocolVersion = 0x41;
        f.AddrFieldSize = 4;
        f.DataFieldSize = 2;
        f.AddrIncrement = 1;
        f.MaxBufferSize = 255;
        Service.SetLoginFacts(f);
        Service.SetDeviceOnline(true);
    }
    TOvraService Service;
    TCustomPattern GetPar{&Service, 0x88}, SetPar{&Service, 0x89}, GetBlock{&Service, 0x15}, SetBlock{&Service, 0x16};
    TGetBlockPattern GetMem{&Service, 0x30};
    TSetBlockPattern SetMem{&Service, 0x31};
    TSetBitPattern Mask{&Service, 0x13};
    TOvraClient Client;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    static TSetup* setup = new TSetup();
    if (Size < 1) return 0;
    TVarTelegramPatterns patterns;
    patterns.GetParWithUPID = &setup->GetPar;
    patterns.SetParWithUPID = &setup->SetPar;
    patterns.GetBlockUPID = &setup->GetBlock;
    patterns.SetBlockUPID = &setup->SetBlock;
    patterns.GetMemoryBlock = &setup->GetMem;
    patterns.SetMemoryBlock = &setup->SetMem;
    patterns.MaskMemoryWord = &setup->Mask;
    patterns.FourX = (Data[0] & 1) != 0;
    const std::string input(reinterpret_cast<const char*>(Data), Size);
    size_t at = 1;

    TOwner owner;
    std::vector<std::unique_ptr<TVarItem>> vars;
    std::vector<uint8_t> asked;
    while (at + 3 <= Size && vars.size() < 8 && Data[at] != 0xFF) {
        const std::string type = Types[Data[at] % std::size(Types)];
        const auto source = static_cast<TVarSourceType>(Data[at + 1] % 3);
        const uint8_t requests = Data[at + 2] % 3; // 0 read, 1 write, 2 both
        at += 3;
        auto v = CreateVarItem(type, owner, nullptr, source);
        if (!v) fuzz::Fail("a type name is not registered", type);
        if (type == "String") {
            TRef<TSLObject> conf = SLDecodeString("[D /UPID 4660 /MaxSize 6 /Address '0100' ]");
            v->SetConfig(*dynamic_cast<TSLDictionary*>(conf.Get()));
        } else if (source != vstUserDefined) {
            TRef<TSLObject> conf = SLDecodeString("[D /UPID 4660 ]");
            v->SetConfig(*dynamic_cast<TSLDictionary*>(conf.Get()));
        } else {
            v->SetAddrStr(type == "Bool16" ? "0100.3" : "0100");
        }
        if (requests != 0) v->RequestWrite();
        if (requests != 1) v->RequestRead();
        asked.push_back(requests);
        vars.push_back(std::move(v));
    }
    if (at < Size && Data[at] == 0xFF) ++at;

    TRecordActor actor(setup->Client);
    for (auto& v : vars) v->SetActorData(actor, patterns);
    // The drive's answers, decoded by each record's pattern.
    std::vector<uint8_t> results;
    actor.Reset();
    for (int i = 0; i < actor.GetCount(); ++i, actor.Next()) {
        TServiceRecordHeader h = actor.GetHeader();
        std::string frame(1, static_cast<char>(h.OvraIdt));
        uint8_t result = 0xB2; // no answer
        if (at + 2 <= Size) {
            result = Data[at];
            const size_t n = std::min<size_t>(Data[at + 1], Size - at - 2);
            frame += static_cast<char>(result);
            frame.append(input, at + 2, n);
            at += 2 + n;
        }
        if (result < 0x80 || result == 0xA4) {
            try {
                ClassOf(h.OvraIdt).GetResponseFrameData(frame, actor);
            } catch (const EOvraFrameTooShort&) {
                result = 0xB1; // an answer that does not fit its request
            }
        }
        h = actor.GetHeader();
        h.OvraRes = result;
        actor.SetHeader(h);
        results.push_back(result);
    }
    actor.Reset();
    size_t record = 0;
    for (size_t k = 0; k < vars.size(); ++k) {
        TVarItem& v = *vars[k];
        v.GetActorData(actor, patterns);
        const size_t mine = asked[k] == 2 ? 2 : 1;
        bool anyGood = false;
        for (size_t r = record; r < record + mine && r < results.size(); ++r) anyGood = anyGood || results[r] == 0;
        record += mine;
        if (v.CheckFlag(vfValid) && !anyGood) fuzz::Fail("a variable is valid after failed requests", input);
        if (v.CheckFlag(vfReadExe) || v.CheckFlag(vfWriteExe)) fuzz::Fail("a request stayed in execution", input);
        if (v.VarType() == "String") {
            if (static_cast<int>(v.GetDataCache().size()) > v.MaxSize()) fuzz::Fail("a string outgrew MaxSize", input);
        } else if (static_cast<int>(v.GetDataCache().size()) != v.Size()) {
            fuzz::Fail("a number changed its width", input);
        }
    }
    if (actor.GetIndex() != actor.GetCount()) fuzz::Fail("records were left over", input);
    return 0;
}
