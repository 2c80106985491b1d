// Fuzz target of the drive variables: the first bytes choose a data type, a
// display mode and a source; the next bytes are the raw value as the drive
// sends it; the rest is a text the user enters and, read as text notation, a
// configuration record. Showing any raw value never crashes; an entry either
// is refused with an exception (nothing stored) or stores exactly the data
// length; an integer shown in "HEX", "DEC" or "SCALED" (scale 1) reads back
// to the same bytes; a configuration that loads survives a copy through its
// record. No crash, no leak, no hang.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "parameters/varItem.h"
#include "storagelib/SL20Col.h"
#include "storagelib/SL20Rec.h"
#include "tests/fuzz/FuzzSupport.h"

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

const char* const Types[] = {"UInt8", "SInt8", "UInt16", "SInt16", "UInt32", "SInt32", "UInt48", "SInt48",
                             "VelFloat", "FloatIEEE754", "EnumDir16", "EnumDir8", "Bool", "Bool16", "String"};
const char* const Modes[] = {"SCALED", "DEC", "HEX", "BIN"};

bool IsFixedInt(const std::string& Type) {
    for (const char* t : {"UInt8", "SInt8", "UInt16", "SInt16", "UInt32", "SInt32"})
        if (Type == t) return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 3) return 0;
    TOwner owner;
    const std::string type = Types[Data[0] % std::size(Types)];
    const std::string mode = Modes[Data[1] % std::size(Modes)];
    const auto source = static_cast<TVarSourceType>(Data[2] % 3);
    const std::string rest(reinterpret_cast<const char*>(Data) + 3, Size - 3);
    const std::string detail = type + " " + mode + " " + std::to_string(source) + " '" + rest + "'";

    auto v = CreateVarItem(type, owner, nullptr, source);
    if (!v) fuzz::Fail("a type name is not registered", type);
    v->SetDisplayMode(mode);
    if (auto* e = dynamic_cast<TEnumDirVarItem*>(v.get())) {
        e->AddChild("Off", 0, 3);
        e->AddChild("On", 1, 3);
    }
    if (type == "String") {
        TRef<TSLObject> maxSize = fuzz::ReadText("[D /MaxSize 8 /UPID 1 ]", false);
        v->SetConfig(*dynamic_cast<TSLNamedCollection*>(maxSize.Get()));
    }

    // Raw bytes from the drive.
    const std::size_t length = v->GetDataCache().size();
    v->SetDataCache(rest.substr(0, length));
    (void)v->GetValueStr();
    (void)v->GetRawDataStr("HEX");
    (void)v->GetRawDataStr("DEC");

    // A full cache shown and entered back.
    std::string full = rest.substr(0, length);
    full.resize(length, '\x5A');
    v->SetDataCache(full);
    const bool roundTrip = IsFixedInt(type) && mode != "BIN" && (mode != "SCALED" || source != vstSystem);
    if (roundTrip) {
        const std::string shown = v->GetValueStr();
        try {
            v->SetValueStr(shown);
        } catch (const std::exception& e) {
            fuzz::Fail("a shown value is refused", detail + " shown '" + shown + "': " + e.what());
        }
        if (v->GetDataCache() != full) fuzz::Fail("a shown value reads back to other bytes", detail + " '" + shown + "'");
    }

    // Entered text.
    try {
        v->SetValueStr(rest);
        if (type == "String" ? v->GetDataCache().size() > 8 : v->GetDataCache().size() != length)
            fuzz::Fail("an entry changed the data length", detail);
    } catch (const Exception&) {
        if (v->GetDataCache() != full) fuzz::Fail("a refused entry changed the cache", detail);
    }

    // A configuration record and its copy.
    TRef<TSLObject> o;
    try {
        o = fuzz::ReadText(rest, false);
    } catch (const Exception&) {
        return 0;
    }
    // The text may refer back to its own composites: break the cycles once
    // the input is done with.
    struct TBreakCycles {
        TSLObject* Value;
        ~TBreakCycles() { SLBreakReferenceCycles(Value); }
    } breakCycles{o.Get()};
    auto* conf = dynamic_cast<TSLNamedCollection*>(o.Get());
    if (!conf) return 0;
    auto w = CreateVarItem(type, owner, nullptr, source);
    try {
        w->SetConfig(*conf);
    } catch (const Exception&) {
        return 0;
    }
    TRef<TSLRecord> r = w->GetConfig();
    auto copy = CreateVarItem(type, owner, nullptr, source);
    try {
        copy->SetConfig(*r);
    } catch (const std::exception& e) {
        fuzz::Fail("a record written by a variable is refused", detail + ": " + e.what());
    }
    if (copy->GetAddrStr() != w->GetAddrStr() || copy->Caption() != w->Caption() ||
        copy->GetDataCache() != w->GetDataCache() || copy->DeviceUPID() != w->DeviceUPID())
        fuzz::Fail("a copy through the record differs", detail);
    return 0;
}
