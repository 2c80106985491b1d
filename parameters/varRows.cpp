#include "parameters/varRows.h"

#include <fstream>

#include "kernel/AnsiFormat.h"
#include "parameters/ParSrv.h"
#include "parameters/PtGen.h"
#include "parameters/UniMan.h"
#include "parameters/UniSrv.h"
#include "parameters/varService.h"
#include "platform/Cp1252.h"
#include "platform/Exception.h"
#include "storagelib/SL20Rec.h"

namespace vo {

namespace {

MyAnsiString HexDigits(std::uint64_t V, int Digits) {
    static const char digits[] = "0123456789ABCDEF";
    MyAnsiString r;
    do {
        r.insert(r.begin(), digits[V & 0xF]);
        V >>= 4;
    } while (V != 0);
    if (static_cast<int>(r.size()) < Digits)
        r.insert(0, static_cast<std::size_t>(Digits) - r.size(), '0');
    return r;
}

int HexValue(char C) {
    if (C >= '0' && C <= '9')
        return C - '0';
    if (C >= 'A' && C <= 'F')
        return C - 'A' + 10;
    if (C >= 'a' && C <= 'f')
        return C - 'a' + 10;
    return -1;
}

std::uint64_t ParseHex(const MyAnsiString& S) {
    if (S.empty() || S.size() > 8)
        throw EConvertError("'" + S + "' is not a valid hexadecimal address");
    std::uint64_t v = 0;
    for (char c : S) {
        const int d = HexValue(c);
        if (d < 0)
            throw EConvertError("'" + S + "' is not a valid hexadecimal address");
        v = v * 16 + static_cast<std::uint64_t>(d);
    }
    return v;
}

bool IsNumberVar(const TVarItem& V) { return dynamic_cast<const TIntVarItem*>(&V) != nullptr; }

MyAnsiString WithUnit(double Value, const TVarItem& V) { return FloatToStrGeneral(Value) + " " + V.GetUnitStr(); }

MyAnsiString ScaledSuffix(const TDeviceUnit& Unit, std::int64_t Raw) {
    const TUnitSystem us = UnitManager().GetUnitSystem();
    MyAnsiString s = " (= " + Unit.IntToValStr(us, Raw);
    const MyAnsiString caption = Unit.GetUnitCaption(us);
    if (!caption.empty())
        s += " " + caption;
    return s + ")";
}

} // namespace

TVarViewMasks VarViewMasks(const MyAnsiString& UserName) {
    const MyAnsiString u = Cp1252UpperCase(UserName);
    if (u == "DEVELOPER")
        return {0x15, 0x2A};
    if (u == "SERVICE")
        return {0x05, 0x0A};
    if (u == "USER")
        return {0x01, 0x02};
    return {0x01, 0x00};
}

bool VarListed(const TVarItem& V, std::uint8_t ReadMask) {
    return (V.Permission() & ReadMask) != 0 && V.CheckFlag(vfVisible) && !V.CheckFlag(vfDeleted);
}

bool VarWritable(const TVarItem& V, std::uint8_t WriteMask) { return (V.Permission() & WriteMask) != 0; }

std::vector<TVarItem*> ListedVars(const TDirItem& Dir, std::uint8_t ReadMask) {
    std::vector<TVarItem*> out;
    for (int i = 0; i < Dir.GetCount(); ++i) {
        TVarItem& v = Dir.GetVarItem(i);
        if (VarListed(v, ReadMask))
            out.push_back(&v);
    }
    return out;
}

MyAnsiString VarUPIDText(std::int32_t DeviceUPID, std::int32_t MasterUPID, bool Hex, bool Developer) {
    auto text = [Hex](std::int32_t U) {
        return Hex ? HexDigits(static_cast<std::uint32_t>(U), 4) + "h" : std::to_string(U);
    };
    MyAnsiString s = text(DeviceUPID);
    if (Developer && DeviceUPID != MasterUPID)
        s += " (" + text(MasterUPID) + ")";
    return s;
}

MyAnsiString VarUPIDScaledSuffix(const TVarItem& V, const TVarRowContext& Ctx) {
    if (!V.IsUPIDScaled() || !V.CheckFlag(vfValid) || !Ctx.Parameters)
        return {};
    const auto* ref = dynamic_cast<const TGenericIntParameter*>(Ctx.Parameters->FindParameter(V.UPIDScaleUPID()));
    if (!ref || !ref->IsUPID())
        return {};
    const auto u = static_cast<std::int32_t>(ref->GetIntValue());
    std::int64_t raw = 0;
    try {
        raw = std::stoll(V.GetRawDataStr("DEC"));
    } catch (const std::exception&) {
        return {};
    }
    if (const auto* p = dynamic_cast<const TGenericIntParameter*>(Ctx.Parameters->FindParameterWithDeviceUPID(u))) {
        if (p->GetDisplayModeStr() == "SCALED" && p->DeviceUnit())
            return ScaledSuffix(*p->DeviceUnit(), raw);
        return {};
    }
    if (!Ctx.Variables)
        return {};
    const TVarItem* w = Ctx.Variables->FindVarWithDeviceUPID(u);
    if (w && IsNumberVar(*w) && w->DisplayMode() == "SCALED")
        if (const TDeviceUnit* unit = w->GetDevUnit())
            return ScaledSuffix(*unit, raw);
    return {};
}

TVarRowTexts VarRowTexts(const TVarItem& V, const TVarRowContext& Ctx) {
    TVarRowTexts c;
    c[vcName] = V.Caption();
    if (V.CheckFlag(vfValid)) {
        c[vcValue] = V.GetValueStr() + VarUPIDScaledSuffix(V, Ctx);
        c[vcRawData] = V.GetRawDataStr(Ctx.RawDataDispMode);
    } else {
        c[vcValue] = "---";
        c[vcRawData] = "---";
    }
    if (V.SourceType() == vstUserDefined)
        c[vcUPID] = V.GetAddrStr() + "h (Address)";
    else
        c[vcUPID] = VarUPIDText(V.DeviceUPID(), V.MasterUPID(), Ctx.UPIDDispMode == "HEX", Ctx.Developer);
    c[vcType] = TVariableManager::VarTypeToStr(TVariableManager::StrToVarType(V.VarType()));
    if (IsNumberVar(V)) {
        c[vcScale] = WithUnit(V.GetScale(), V);
        c[vcOffset] = WithUnit(V.GetOffset(), V);
    }
    c[vcAttr] = VarWritable(V, Ctx.WriteMask) ? "RW" : "R";
    return c;
}

void TVarListRows::Refresh(const std::vector<TVarItem*>& Listed, const TVarRowContext& Ctx) {
    FChanged.clear();
    FAdded = 0;
    FBracket = false;
    const std::size_t old = FVars.size();
    FRemoved = old > Listed.size() ? static_cast<int>(old - Listed.size()) : 0;
    FVars.resize(Listed.size());
    FTexts.resize(Listed.size());
    for (std::size_t k = 0; k < Listed.size(); ++k) {
        FVars[k] = Listed[k];
        const TVarRowTexts t = VarRowTexts(*Listed[k], Ctx);
        const bool added = k >= old;
        if (added) {
            ++FAdded;
            FBracket = true;
        }
        for (int c = 0; c < VarViewColumnCount; ++c) {
            auto& cell = FTexts[k][static_cast<std::size_t>(c)];
            if (!added && cell == t[static_cast<std::size_t>(c)])
                continue;
            cell = t[static_cast<std::size_t>(c)];
            FChanged.push_back({static_cast<int>(k), c});
            if (c == vcName || c >= vcUPID)
                FBracket = true;
        }
    }
    if (FRemoved > 0)
        FBracket = true;
}

int TVarListRows::RowOf(const TVarItem* V) const {
    for (std::size_t k = 0; k < FVars.size(); ++k)
        if (FVars[k] == V)
            return static_cast<int>(k);
    return -1;
}

int RowToSelectAfterRemove(int Row, int Count) {
    if (Row < 0 || Row >= Count)
        return -1;
    if (Row > 0)
        return Row - 1;
    return Count > 1 ? 1 : -1;
}

// ------------------------------------------------------------------ Copy Var

MyAnsiString CopyVarCaption(const MyAnsiString& Source, const std::function<bool(const MyAnsiString&)>& Taken) {
    const MyAnsiString base = Source.substr(0, Source.find('('));
    MyAnsiString candidate = Source;
    for (int n = 1; Taken(candidate); ++n) candidate = base + "(" + std::to_string(n) + ")";
    return candidate;
}

MyAnsiString CopyVarAddress(const MyAnsiString& Address, int DataSize) {
    MyAnsiString segment = "0000";
    MyAnsiString offset = Address;
    if (const auto colon = Address.find(':'); colon != MyAnsiString::npos) {
        segment = Address.substr(0, colon);
        offset = Address.substr(colon + 1);
    }
    const auto step = static_cast<std::uint64_t>(DataSize < 0 ? 0 : DataSize);
    if (const auto dot = offset.find('.'); dot != MyAnsiString::npos) {
        // A lower-case digit counts as its upper-case one, so "a" goes to "B".
        const int bit = dot + 1 < offset.size() ? HexValue(offset[dot + 1]) : 0;
        if (bit < 0)
            throw EConvertError("'" + Address + "' is not a valid bit address");
        offset.resize(dot);
        if (bit < 15)
            return segment + ":" + offset + "." + HexDigits(static_cast<std::uint64_t>(bit + 1), 1);
        return segment + ":" + HexDigits(ParseHex(offset) + step, 4) + ".0";
    }
    return segment + ":" + HexDigits(ParseHex(offset) + step, 4);
}

TVarItem& CopyUserVar(TDirItem& Dir, const TVarItem& Source, int Index) {
    if (Source.SourceType() != vstUserDefined)
        throw Exception("CopyUserVar: only user-defined variables are copied");
    const MyAnsiString caption = CopyVarCaption(Source.Caption(), [&Dir](const MyAnsiString& C) {
        for (int i = 0; i < Dir.GetCount(); ++i) {
            const TVarItem& v = Dir.GetVarItem(i);
            if (!v.CheckFlag(vfDeleted) && (v.GetVarName() == C || v.Caption() == C))
                return true;
        }
        return false;
    });
    TRef<TSLRecord> conf = Source.GetConfig();
    const MyAnsiString address = CopyVarAddress(conf->GetStrWithName("Address"), Source.GetDataSize());
    conf->SetStrWithName("Caption", caption);
    conf->SetStrWithName("Address", address);
    TVarItem& v = Dir.CreateVar("", "", Source.VarType(), Index, vstUserDefined);
    v.SetConfig(*conf);
    v.ClearFlag(vfValid);
    return v;
}

// ------------------------------------------------------------------ CSV

MyAnsiString VarCsvField(const MyAnsiString& S) {
    if (S.find_first_of(";\"\r\n") == MyAnsiString::npos)
        return S;
    MyAnsiString r = "\"";
    for (char c : S) {
        if (c == '"')
            r += '"';
        r += c;
    }
    return r + "\"";
}

MyAnsiString VarCsvText(const std::vector<const TVarItem*>& Rows, const MyAnsiString& RawDataDispMode) {
    MyAnsiString s = "Caption;UPID;Value;RAWData\r\n";
    for (const TVarItem* v : Rows) {
        const std::int32_t upid = v->SourceType() == vstUserDefined ? -1 : v->DeviceUPID();
        s += VarCsvField(v->Caption()) + ";" + std::to_string(upid) + ";" + VarCsvField(v->GetValueStr()) + ";" +
            VarCsvField(v->GetRawDataStr(RawDataDispMode)) + "\r\n";
    }
    return s;
}

void SaveVarCsv(const std::string& FileName, const std::vector<const TVarItem*>& Rows,
                const MyAnsiString& RawDataDispMode) {
    const MyAnsiString text = VarCsvText(Rows, RawDataDispMode);
    std::ofstream f(FileName, std::ios::binary | std::ios::trunc);
    if (f)
        f.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!f || !f.flush())
        throw Exception("Cannot write file " + FileName);
}

// ------------------------------------------------------------------ new with UPID

std::uint8_t VarUPIDUserMask(const MyAnsiString& UserLevel) {
    const MyAnsiString u = Cp1252UpperCase(UserLevel);
    if (u == "GUEST")
        return 0x40;
    if (u == "USER")
        return 0x03;
    if (u == "SERVICE")
        return 0x0C;
    if (u == "DEVELOPER")
        return 0x30;
    return 0;
}

TNewWithUPID NewVarsWithUPID(TDirItem& Dir, const TParameterService* Parameters, const TVariableService& Variables,
                             std::int32_t AUPID, std::uint8_t UserMask, bool Hex) {
    TNewWithUPID r;
    if (Parameters)
        if (const TParameter* p = Parameters->FindParameterWithDeviceUPID(AUPID)) {
            r.Found = true;
            if (p->CanRead(UserMask))
                if (TVarItem* v = Dir.CreateVarFromPar(*p, vstSystem)) {
                    v->ClearFlag(vfValid);
                    r.Created.push_back(v);
                }
        }
    if (const TVarItem* src = Variables.FindVarWithDeviceUPID(AUPID)) {
        r.Found = true;
        const std::uint8_t read = UserMask & 0x55;
        const auto* section = dynamic_cast<const TDirItem*>(src->Parent());
        if ((src->Permission() & read) != 0 && section && (section->Permission() & read) != 0) {
            TVarItem& v = Dir.CreateVarCopy(*src);
            v.ClearFlag(vfValid);
            r.Created.push_back(&v);
        }
    }
    if (!r.Found)
        r.Message = Hex ? "UPID: " + HexDigits(static_cast<std::uint32_t>(AUPID), 4) + "h not found!"
                        : "UPID: " + std::to_string(AUPID) + " not found!";
    return r;
}

// ------------------------------------------------------------------ section view

std::vector<TVarDirRow> VarDirRows(const TVariableService& Service) {
    std::vector<TVarDirRow> rows;
    const std::uint8_t read = Service.GetPermissionRead();
    for (int i = 0; i < Service.DirCount(); ++i) {
        TDirItem& d = Service.GetDirItem(i);
        if ((d.Permission() & read) == 0 || d.CheckFlag(dfDeleted))
            continue;
        MyAnsiString attr = d.UserDefined() ? "User Defined" : "System";
        if (d.CheckFlag(dfParTree))
            attr += "P";
        rows.push_back({&d, d.Caption(), attr});
    }
    return rows;
}

bool CanDeleteSection(const TDirItem* Dir) { return Dir && Dir->UserDefined(); }

MyAnsiString SectionNameError(const MyAnsiString& Name) {
    if (Name.find_first_not_of(" \t\r\n") == MyAnsiString::npos)
        return "Please enter a section name!";
    return {};
}

MyAnsiString SectionPath(const MyAnsiString& ServicePath, const TDirItem& Dir) { return ServicePath + "\\" + Dir.Caption(); }

// ------------------------------------------------------------------ cyclic reading

int TCyclicIndex::Next(int RowCount) {
    if (RowCount <= 0) {
        FIndex = 0;
        return -1;
    }
    if (FIndex >= RowCount || FIndex < 0)
        FIndex = 0;
    const int row = FIndex;
    if (row == RowCount - 1) {
        FIndex = 0;
        FPause = true;
    } else {
        ++FIndex;
    }
    return row;
}

} // namespace vo
