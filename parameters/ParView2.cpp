#include "parameters/ParView2.h"

#include "devices/DevMan.h"
#include "kernel/AnsiFormat.h"
#include "kernel/CsServices.h"
#include "kernel/ShellServices.h"
#include "kernel/UserPrompt.h"
#include "kernel/functions.h"
#include "parameters/ParMan.h"
#include "parameters/ParSrv.h"
#include "parameters/PtBool.h"
#include "parameters/PtEnum.h"
#include "parameters/PtGen.h"
#include "parameters/PtRadio.h"
#include "parameters/PtStr.h"
#include "parameters/UniMan.h"
#include "parameters/UniSrv.h"
#include "platform/Exception.h"

#include <cstdio>
#include <cstring>

namespace vo {

namespace {

constexpr std::int32_t LongestWait = 0x7FFFFFFF;
constexpr std::int32_t LastDeviceUPID = 0xFFFF;

// Column indexes of the cells.
enum : std::size_t { colName,
                     colValue,
                     colRaw,
                     colUPID,
                     colType,
                     colScale,
                     colOffset,
                     colMin,
                     colMax,
                     colDefault,
                     colAttr };

bool ClassIs(const TParameter& P, std::initializer_list<const char*> Names) {
    for (const char* n : Names)
        if (std::strcmp(P.ClassName(), n) == 0)
            return true;
    return false;
}

bool IsRadioChild(const TParameter& P) {
    return dynamic_cast<const TRadioChildParameter*>(&P) || dynamic_cast<const TRadioChild32Parameter*>(&P) ||
        dynamic_cast<const TRadioChildBitParameter*>(&P);
}
bool IsRadioDir(const TParameter& P) {
    return dynamic_cast<const TRadioDir16Parameter*>(&P) || dynamic_cast<const TRadioDir32Parameter*>(&P) ||
        dynamic_cast<const TRadioDirBitParameter*>(&P);
}
bool IsBoolParameter(const TParameter& P) { return dynamic_cast<const TBoolParameter*>(&P) != nullptr; }
bool IsSignedInteger(const TParameter& P) { return ClassIs(P, {"TSInt8Parameter", "TSInt16Parameter", "TSInt32Parameter"}); }

// What the list needs of an enumerator or radio directory.
struct TChoice {
    bool IsDir = false;
    const TParameter* Selected = nullptr; // the child of the value (none while invalid)
    const TParameter* Default = nullptr; // the child of the default value
    std::int64_t DefaultValue = 0;
};

template <class D>
bool TryChoice(const TParameter& P, TChoice& C) {
    const auto* d = dynamic_cast<const D*>(&P);
    if (!d)
        return false;
    C.IsDir = true;
    C.Default = d->GetDefaultChild();
    C.DefaultValue = d->DefaultValue();
    if (d->GetValid())
        C.Selected = d->GetSelectedChild();
    return true;
}

TChoice ChoiceOf(const TParameter& P) {
    TChoice c;
    TryChoice<TEnumDir8Parameter>(P, c) || TryChoice<TEnumDir16Parameter>(P, c) || TryChoice<TEnumDir32Parameter>(P, c) ||
        TryChoice<TRadioDir16Parameter>(P, c) || TryChoice<TRadioDir32Parameter>(P, c) || TryChoice<TRadioDirBitParameter>(P, c);
    return c;
}

MyAnsiString ValueWithUnit(const TValueRec& V) {
    return V.UnitStr.empty() ? V.ValueStr : V.ValueStr + " " + V.UnitStr;
}

MyAnsiString TrimBlanks(const MyAnsiString& S, bool Leading, bool Trailing) {
    std::size_t b = 0, e = S.size();
    if (Leading)
        while (b < e && (S[b] == ' ' || S[b] == '\t')) ++b;
    if (Trailing)
        while (e > b && (S[e - 1] == ' ' || S[e - 1] == '\t')) --e;
    return S.substr(b, e - b);
}

MyAnsiString HexDigits(std::int64_t Value, int Digits) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%0*llX", Digits, static_cast<unsigned long long>(Value));
    return buf;
}

// The UPID cell text of one UPID.
MyAnsiString UPIDCell(const TParameter& P, bool Both) {
    MyAnsiString s = TParameter::UPIDText(P.UPID());
    if (Both && P.UPID() != P.MasterUPID())
        s += " (" + TParameter::UPIDText(P.MasterUPID()) + ")";
    return s;
}

// An error raised by an entry check: its text is shown, the field gets Field.
struct TEntryRefusal {
    MyAnsiString Message;
    MyAnsiString Field;
};

std::int64_t ConvertHex(const TGenericIntParameter& P, const MyAnsiString& FieldText, MyAnsiString& Text) {
    MyAnsiString s = TrimBlanks(FieldText, true, true);
    if (s.empty())
        throw Exception("Invalid Hexadecimal Value!");
    if (s.back() == 'h' || s.back() == 'H')
        s.pop_back();
    if (s.empty() || s[0] != '$')
        s = "$" + s;
    std::int64_t value = StrToInt64(s);
    struct TWidth {
        std::int64_t Max;
        int Digits;
        const char* Error;
    };
    const TWidth w = P.Size() == 1 ? TWidth{0xFF, 2, "Value out of 8 bit integer range!"}
        : P.Size() == 2            ? TWidth{0xFFFF, 4, "Value out of 16 bit integer range!"}
                                   : TWidth{0xFFFFFFFFll, 8, "Value out of 32 bit integer range!"};
    if (value < 0 || value > w.Max)
        throw Exception(w.Error);
    Text = "$" + HexDigits(value, w.Digits);
    const std::int64_t signBit = (w.Max + 1) / 2;
    if (IsSignedInteger(P) && (value & signBit))
        value -= w.Max + 1;
    return value;
}

// Packs up to four characters most significant first (the 32-bit unsigned
// type's own "ASCII" entry).
std::int64_t ConvertAscii(const TGenericIntParameter& P, const MyAnsiString& FieldText) {
    if (!ClassIs(P, {"TUInt32Parameter"}))
        throw Exception(P.TypeStr() + " parameters take no entry in display mode 'ASCII'");
    if (FieldText.size() > static_cast<std::size_t>(P.Size()))
        throw Exception("String too long! Maximal MyAnsiString length is " + std::to_string(P.Size()));
    std::int64_t raw = 0;
    for (std::size_t i = 0; i < FieldText.size(); ++i)
        raw += static_cast<std::int64_t>(static_cast<unsigned char>(FieldText[i])) << ((P.Size() - 1 - static_cast<int>(i)) * 8);
    return raw;
}

TParEntry ConvertIntegerEntry(const TGenericIntParameter& P, const MyAnsiString& FieldText, TUnitSystem US) {
    TParEntry r;
    try {
        const std::int64_t minValue = P.GetMinValueInt();
        const std::int64_t maxValue = P.GetMaxValueInt();
        const MyAnsiString mode = P.GetDisplayModeStr();
        std::int64_t value = 0;
        if (mode == "SCALED") {
            const MyAnsiString s = TrimBlanks(FieldText, true, false);
            std::size_t n = 0;
            while (n < s.size() && (s[n] == '-' || s[n] == '.' || (s[n] >= '0' && s[n] <= '9'))) ++n;
            const MyAnsiString number = s.substr(0, n);
            const MyAnsiString unit = TrimBlanks(s.substr(n), true, true);
            const MyAnsiString expected = P.Unit().GetUnitCaption(US);
            if (!unit.empty() && unit != expected) {
                r.Message = "Wrong Unit! Unit '" + expected + "' expected, but '" + unit + "' found!";
                r.FieldText = ParViewFieldText(P, US);
                return r;
            }
            value = P.Unit().ValStrToInt(number, US);
            r.Text = number;
        } else if (mode == "DEC") {
            value = StrToInt64(FieldText);
            r.Text = FieldText;
        } else if (mode == "HEX") {
            value = ConvertHex(P, FieldText, r.Text);
        } else if (mode == "BIN") {
            value = BinaryToInt(FieldText);
            r.Text = FieldText;
        } else if (mode == "ASCII") {
            value = ConvertAscii(P, FieldText);
            r.Text = FieldText;
        } else {
            throw Exception(P.TypeStr() + " parameters take no entry in display mode '" + mode + "'");
        }
        TValueRec limit;
        if (value > maxValue) {
            P.GetMaxValueStr(limit, US, mode);
            r.Message = "Value is too big. The maximum is " + ValueWithUnit(limit);
            r.FieldText = ValueWithUnit(limit);
            r.Text.clear();
            return r;
        }
        if (value < minValue) {
            P.GetMinValueStr(limit, US, mode);
            r.Message = "Value is too small. The minimum is " + ValueWithUnit(limit);
            r.FieldText = ValueWithUnit(limit);
            r.Text.clear();
            return r;
        }
        r.Accepted = true;
    } catch (const std::exception& e) {
        r = {};
        r.Message = e.what();
        r.FieldText = ParViewFieldText(P, US);
    }
    return r;
}

} // namespace

const std::array<const char*, ParViewColumnCount>& ParViewColumnCaptions() {
    static const std::array<const char*, ParViewColumnCount> captions{
        "Name", "Value", "Raw Data", "UPID", "Type", "Scale", "Offset", "Min", "Max", "Default", "Attr."};
    return captions;
}

std::uint8_t ParViewPermission(const MyAnsiString& UserName) {
    const MyAnsiString u = UpperCaseText(UserName);
    if (u == "DEVELOPER")
        return UserMaskDeveloper;
    if (u == "SERVICE")
        return UserMaskService;
    if (u == "USER")
        return UserMaskUser;
    return UserMaskGuest;
}

MyAnsiString ParViewAttrText(const TParameter& P, std::uint8_t Permission, bool Developer) {
    MyAnsiString s = P.CanWrite(Permission) ? "RW" : "R";
    if (!Developer)
        return s;
    const std::uint8_t bits = P.Permission();
    s += " (";
    for (auto [bit, name] : {std::pair{0x40, "GR"}, {0x01, "UR"}, {0x04, "SR"}, {0x10, "DR"}})
        if (bits & bit) {
            s += name;
            break;
        }
    for (auto [bit, name] : {std::pair{0x02, "UW"}, {0x08, "SW"}, {0x20, "DW"}})
        if (bits & bit) {
            s += name;
            break;
        }
    return s + ")";
}

MyAnsiString ParViewFieldText(const TParameter& P, TUnitSystem US) {
    try {
        TValueRec v;
        P.GetScaledValue(v, US, P.GetDisplayModeStr());
        return ValueWithUnit(v);
    } catch (const std::exception&) {
        return {};
    }
}

TParEntry ConvertParameterEntry(const TParameter& P, const MyAnsiString& FieldText, TUnitSystem US) {
    if (P.IsInteger())
        if (const auto* ip = dynamic_cast<const TGenericIntParameter*>(&P))
            return ConvertIntegerEntry(*ip, FieldText, US);
    TParEntry r;
    if (const auto* sp = dynamic_cast<const TStringParameter*>(&P); sp && FieldText.size() > sp->MaxSize()) {
        r.Message = "Maximal MyAnsiString length exceeded!";
        try {
            r.FieldText = P.GetStrValue();
        } catch (const std::exception&) {
        }
        return r;
    }
    r.Accepted = true;
    if (P.IsString())
        r.Text = FieldText;
    return r;
}

TUPIDBrowseEvent& UPIDBrowser() {
    static TUPIDBrowseEvent browser;
    return browser;
}

// ------------------------------------------------------------------ TParViewModel

TParViewModel::TParViewModel() : FServiceClient(std::make_unique<TParameterClient>()) {
    FServiceClient->FOnExecute = [this](TServiceClient& C) { ServiceClientExecute(C); };
    FServiceClient->FOnUpdate = [this](TServiceClient&) { ServiceClientUpdate(); };
    FServiceClient->FOnNotify = [this](TObject*) { ServiceClientNotify(); };
}

TParViewModel::~TParViewModel() {
    if (FServiceClient->GetConnected())
        FServiceClient->Disconnect();
}

void TParViewModel::Create(const TParameterManager& AManager) { FServiceClient->CopySettings(AManager); }

TUnitSystem TParViewModel::UnitSystem() const { return UnitManager().GetUnitSystem(); }

bool TParViewModel::Developer() const { return UpperCaseText(FUserName) == "DEVELOPER"; }

void TParViewModel::Show(TGenericDirParameter& ADirectory, const MyAnsiString& AUserName) {
    FUserName = AUserName;
    FPermission = ParViewPermission(AUserName);
    FDirectoryParameter = &ADirectory;
    FParameterService = &ADirectory.Owner();
    FDevice = &FParameterService->Owner();
    FUPIDDispMode = ShellServices().UPIDDispMode();
    FRawDataDispMode = ShellServices().RawDataDispMode();
    FRetryRows.clear();
    FState = TParViewState::stIdle;
    if (!FServiceClient->GetConnected())
        FServiceClient->Connect(FParameterService->Provider());
    AnnounceRequest(pvrRebuild);
}

void TParViewModel::Hide() {
    FRequests.Clear();
    FModifyParameter = nullptr;
    FModifyValue.clear();
    FModifyInt.reset();
    if (FServiceClient->GetConnected())
        FServiceClient->Disconnect();
    FState = TParViewState::stIdle;
    FParameterService = nullptr;
    FDirectoryParameter = nullptr;
    FDevice = nullptr;
    FRows.clear();
    FRetryRows.clear();
    FSelected = -1;
    if (OnRowsChanged)
        OnRowsChanged(true);
}

void TParViewModel::AnnounceRequest(TRequestFlag Flag) {
    FRequests.Include(Flag);
    if (FServiceClient->GetConnected() && !FServiceClient->RequestPending())
        FServiceClient->Request();
}

// ------------------------------------------------------------------ service protocol

void TParViewModel::ServiceClientExecute(TServiceClient& Client) {
    try {
        if (FState == TParViewState::stIdle) {
            if (FRequests.Contains(pvrRebuild)) {
                BuildListView();
            } else if (FRequests.Contains(pvrUpdate)) {
                FState = TParViewState::stUpdate;
                UpdateParameters(Client);
            } else if (FRequests.Contains(pvrModify)) {
                FState = TParViewState::stModify;
                DoModifyParameter(Client);
            } else if (FRequests.Contains(pvrSave)) {
                FState = TParViewState::stSave;
                SaveParameter(Client);
            } else {
                Client.Release();
            }
            return;
        }
        const bool modified = FState == TParViewState::stModify;
        Client.RequestUpdate();
        FState = TParViewState::stIdle;
        if (modified)
            ReportWriteFailures();
    } catch (const std::exception& e) {
        // The turn must end: a handler that raised again and again would hold
        // the service for ever.
        FRequests.Clear();
        FState = TParViewState::stIdle;
        if (Client.ServiceProvider() && Client.ServiceProvider()->CurrentClient() == &Client)
            Client.Release();
        ShowMessage(e.what());
    }
}

void TParViewModel::ServiceClientNotify() {
    if (FState == TParViewState::stIdle)
        return;
    TServiceProvider* provider = FServiceClient->ServiceProvider();
    if (provider && provider->CurrentClient() == FServiceClient.get() && provider->Status() == psWaitClient)
        FServiceClient->Continue();
}

void TParViewModel::ServiceClientUpdate() {
    if (!FParameterService)
        return;
    if (FParameterService->FTreeChanged || FParameterService->FSearchedParameter || FParameterService->FFlagChanged)
        AnnounceRequest(pvrRebuild);
    if (FParameterService->FDataChanged)
        RefreshListView();
}

void TParViewModel::UpdateParameters(TServiceClient& Client) {
    FParameterService->PrepareUpdate(Client);
    for (const TParViewRow& row : FRows) {
        TParameter* p = row.Parameter;
        if (p->UPID() >= 1 && p->UPID() <= LastDeviceUPID) {
            p->Invalidate(Client);
            p->Update(Client);
        } else if (IsRadioChild(*p) && p->Parent()) {
            p->Parent()->Invalidate(Client);
            p->Parent()->Update(Client);
        }
    }
    Client.Wait(LongestWait);
    FRequests.Exclude(pvrUpdate);
    FParameterService->ExecuteUpdate(Client);
    Client.RequestUpdate();
}

void TParViewModel::SaveParameter(TServiceClient& Client) {
    FParameterService->PrepareSave(Client);
    FRequests.Exclude(pvrSave);
    Client.Wait(LongestWait);
    FParameterService->ExecuteSave(Client);
    Client.RequestUpdate();
}

void TParViewModel::DoModifyParameter(TServiceClient& Client) {
    Client.Wait(LongestWait);
    FParameterService->PrepareModify(Client);
    FRequests.Exclude(pvrModify);
    if (TParameter* p = FModifyParameter) {
        try {
            if (FModifyInt)
                p->SetIntValue(UnitSystem(), *FModifyInt);
            else if (p->IsBoolean() && FModifyValue.empty())
                p->SetBoolValue(!p->GetBoolValue());
            else
                p->SetScaledValue(FModifyValue, UnitSystem(), p->GetDisplayModeStr());
            p->Modify(Client);
        } catch (const std::exception& e) {
            ShowMessage(e.what());
        }
    }
    FModifyParameter = nullptr;
    FModifyValue.clear();
    FModifyInt.reset();
    FParameterService->ExecuteModify(Client);
    Client.RequestUpdate();
}

void TParViewModel::ReportWriteFailures() {
    if (!FParameterService || FParameterService->WriteFailures().empty())
        return;
    MyAnsiString text = "The drive refused to write:";
    for (const TParameterWriteFailure& f : FParameterService->WriteFailures()) {
        char code[8];
        std::snprintf(code, sizeof code, "%2.2Xh", f.Result);
        text += "\n" + f.Node->Caption() + " (UPID " + TParameter::UPIDText(f.Node->UPID()) + "): " + code + " " +
            GetOvraErrorMessage(f.Result);
    }
    MessageDlg(text, TMsgDlgType::mtError, {TMsgDlgBtn::mbOK});
}

// ------------------------------------------------------------------ rows

void TParViewModel::BuildListView() {
    FRequests.Exclude(pvrRebuild);
    if (!FDirectoryParameter)
        return;
    TParameter* searched = FParameterService->FSearchedParameter;
    const TParameter* keep = searched ? searched : SelectedParameter();
    const std::int32_t keepUPID = keep ? keep->UPID() : -1;

    std::vector<TParViewRow> rows;
    int selected = -1;
    const bool filterOff = ShellServices().RelParFilterMode() == "Disabled";
    FDirectoryParameter->ForEachChild([&](TParameter& P, bool&) {
        if (!(P.GetVisible() || filterOff) || !P.CanRead(FPermission))
            return;
        TParViewRow row;
        row.Parameter = &P;
        if (P.IsDirectory() && !IsRadioDir(P)) {
            row.Directory = true;
            row.Cells[colName] = P.Caption();
            if (const auto* dir = dynamic_cast<const TGenericDirParameter*>(&P))
                row.Image = dir->Model().ImageIndex();
        } else {
            SetupListItem(row);
            if (!P.IsDirectory() && selected < 0 && P.UPID() == keepUPID)
                selected = static_cast<int>(rows.size());
            if (&P == searched)
                FParameterService->FSearchedParameter = nullptr;
        }
        rows.push_back(std::move(row));
    });
    std::vector<TParameter*> listed;
    listed.reserve(rows.size());
    for (const TParViewRow& r : rows) listed.push_back(r.Parameter);
    // Another set of rows starts its read rounds afresh; the same rows again
    // (a rebuild after each pass that changed values) keep counting, so that
    // rows that never become valid are not read for ever.
    if (listed != FRetryRows) {
        FRetryRows = std::move(listed);
        FUpdateRetries = 0;
    }
    FRows = std::move(rows);
    FSelected = selected;
    if (OnRowsChanged)
        OnRowsChanged(true);
    RefreshListView();
}

void TParViewModel::RefreshListView() {
    if (!FDirectoryParameter)
        return;
    bool invalid = false;
    for (TParViewRow& row : FRows) {
        if (row.Directory)
            continue;
        UpdateListItem(row);
        if (!row.Parameter->GetValid())
            invalid = true;
    }
    if (OnRowsChanged)
        OnRowsChanged(false);
    if (OnValueEdit && FSelected >= 0)
        OnValueEdit();
    // One read round per retry: a round already asked for is not counted again.
    if (invalid && FUpdateRetries < 3 && !FRequests.Contains(pvrUpdate) && FState != TParViewState::stUpdate) {
        ++FUpdateRetries;
        AnnounceRequest(pvrUpdate);
    }
}

void TParViewModel::SetupListItem(TParViewRow& Row) const {
    TParameter& p = *Row.Parameter;
    const TUnitSystem us = UnitSystem();
    auto& c = Row.Cells;
    c.fill({});
    c[colName] = p.Caption();
    const bool both = FDevice && FDevice->GetUserPermission() == 15;
    if (p.UPID() > LastDeviceUPID) {
        if (IsRadioChild(p) && p.Parent())
            c[colUPID] = UPIDCell(*p.Parent(), both);
    } else {
        c[colUPID] = UPIDCell(p, both);
    }
    c[colType] = p.TypeStr();
    try {
        if (const auto* ip = p.IsInteger() ? dynamic_cast<const TGenericIntParameter*>(&p) : nullptr) {
            const TDeviceUnit* unit = &ip->Unit();
            if (ip->IsUPIDScaled() && FParameterService) {
                const auto* ref = dynamic_cast<const TGenericIntParameter*>(FParameterService->FindParameter(ip->UPIDScaleUPID()));
                if (ref && ref->IsUPID() && ref->GetValid()) {
                    const auto named = ref->GetIntValue();
                    if (const auto* lender = dynamic_cast<const TGenericIntParameter*>(
                            FParameterService->FindParameterWithDeviceUPID(static_cast<std::int32_t>(named))))
                        unit = &lender->Unit();
                }
            }
            const TUnitInfo info = unit->GetUnitInfo(us);
            c[colScale] = FloatToStrGeneral(info.Scale, 15) + " " + info.Caption;
            c[colOffset] = FloatToStrGeneral(info.Offset, 15) + " " + info.Caption;
            const MyAnsiString mode = p.GetDisplayModeStr();
            TValueRec v;
            ip->GetMinValueStr(v, us, mode);
            c[colMin] = v.ValueStr + " " + v.UnitStr;
            ip->GetMaxValueStr(v, us, mode);
            c[colMax] = v.ValueStr + " " + v.UnitStr;
            ip->GetDefaultStr(v, us, mode);
            c[colDefault] = v.ValueStr + " " + v.UnitStr;
        } else if (const auto* sp = dynamic_cast<const TStringParameter*>(&p)) {
            c[colMax] = std::to_string(sp->MaxSize()) + " AnsiCharacters";
            TValueRec v;
            sp->GetDefaultStr(v, us, p.GetDisplayModeStr());
            c[colDefault] = v.ValueStr;
        } else if (const auto* bp = dynamic_cast<const TBoolParameter*>(&p)) {
            c[colDefault] = bp->DefaultValue() ? "TRUE" : "FALSE";
        } else if (IsRadioChild(p) && p.Parent()) {
            if (p.GetChildValue() == static_cast<std::int32_t>(ChoiceOf(*p.Parent()).DefaultValue))
                c[colDefault] = "X";
        } else if (const TChoice choice = ChoiceOf(p); choice.IsDir && choice.Default) {
            c[colDefault] = choice.Default->GetChildValueStr(p.GetDisplayModeStr());
        }
    } catch (const std::exception&) {
        // A type without limits or default texts leaves those cells empty.
    }
    c[colAttr] = ParViewAttrText(p, FPermission, Developer());
    Row.Dimmed = !p.CanWrite(FPermission);
    Row.Image = piNone;
}

void TParViewModel::UpdateListItem(TParViewRow& Row) const {
    TParameter& p = *Row.Parameter;
    auto& c = Row.Cells;
    if (!p.GetValid()) {
        if (!p.IsDirectory()) {
            c[colValue] = "***";
            c[colRaw] = "***";
            Row.Image = piNone;
        }
        return;
    }
    const TUnitSystem us = UnitSystem();
    const MyAnsiString rawMode = ShellServices().RawDataDispMode();
    try {
        const bool live = (p.AddrUsage() & AddrLive) != 0;
        if (IsRadioDir(p)) {
            if (const auto* dir = dynamic_cast<const TGenericDirParameter*>(&p))
                Row.Image = dir->Model().ImageIndex();
        } else if (IsRadioChild(p)) {
            const bool parentLive = p.Parent() && (p.Parent()->AddrUsage() & AddrLive);
            const bool set = p.GetBoolValue();
            Row.Image = parentLive ? (set ? piLiveRadioSet : piLiveRadioClear) : (set ? piRadioSet : piRadioClear);
        } else if (IsBoolParameter(p)) {
            const bool set = p.GetBoolValue();
            Row.Image = live ? (set ? piLiveBoolSet : piLiveBoolClear) : (set ? piBoolSet : piBoolClear);
        } else {
            Row.Image = live ? piLive : piNone;
        }

        TValueRec v;
        if (IsRadioChild(p) && p.Parent()) {
            const MyAnsiString mode = p.Parent()->GetDisplayModeStr();
            if (mode == "SCALED")
                v.ValueStr = p.GetBoolValue() ? "On" : "Off";
            else
                p.GetScaledValue(v, us, mode);
        } else if (const TChoice choice = ChoiceOf(p); choice.IsDir) {
            v.ValueStr = (choice.Selected ? choice.Selected->GetChildValueStr(p.GetDisplayModeStr()) : p.GetRawDataStr("DEC")).substr(0, 64);
        } else {
            p.GetScaledValue(v, us, p.GetDisplayModeStr());
        }

        const auto* ip = p.IsInteger() ? dynamic_cast<const TGenericIntParameter*>(&p) : nullptr;
        if (ip && ip->IsUPID())
            c[colValue] = v.ValueStr + " " + GetUPIDInfo(ip->IsRamWriteUPID(), ip->GetIntValue());
        else if (ip && ip->IsUPIDScaled())
            c[colValue] = v.ValueStr + " " + v.UnitStr + GetUPIDScaledValueInfo(*ip);
        else
            c[colValue] = v.ValueStr + " " + v.UnitStr;
        c[colRaw] = IsRadioChild(p) ? p.GetChildValueStr(rawMode) : p.GetRawDataStr(rawMode);
    } catch (const std::exception&) {
        c[colValue] = "***";
        c[colRaw] = "***";
    }
}

MyAnsiString TParViewModel::GetUPIDInfo(bool RamWrite, std::int64_t Value) const {
    if (Value == 0)
        return {};
    if (FParameterService && Value > 0 && Value <= 0x7FFFFFFF) {
        const TParameter* p = FParameterService->FindParameterWithDeviceUPID(static_cast<std::int32_t>(Value));
        if (p && p->CanRead(FPermission)) {
            MyAnsiString s = "(" + p->Caption() + ")";
            if (RamWrite && !(p->AddrUsage() & AddrRamWrite))
                s = "=> Not writable! " + s;
            return s;
        }
    }
    return "=> unknown!";
}

MyAnsiString TParViewModel::GetUPIDScaledValueInfo(const TGenericIntParameter& P) const {
    if (!FParameterService)
        return {};
    const auto* ref = dynamic_cast<const TGenericIntParameter*>(FParameterService->FindParameter(P.UPIDScaleUPID()));
    if (!ref || !ref->IsUPID() || !ref->GetValid())
        return {};
    const auto* item = dynamic_cast<const TGenericIntParameter*>(
        FParameterService->FindParameterWithDeviceUPID(static_cast<std::int32_t>(ref->GetIntValue())));
    if (!item || item->GetDisplayModeStr() != "SCALED")
        return {};
    const TUnitSystem us = UnitSystem();
    MyAnsiString s = " (= " + item->Unit().IntToValStr(us, P.GetIntValue());
    const MyAnsiString caption = item->Unit().GetUnitCaption(us);
    if (!caption.empty())
        s += " " + caption;
    return s + ")";
}

// ------------------------------------------------------------------ selection and entry

void TParViewModel::SetSelected(int Index) {
    FSelected = Index >= 0 && Index < static_cast<int>(FRows.size()) ? Index : -1;
}

TParameter* TParViewModel::SelectedParameter() const {
    return FSelected >= 0 && FSelected < static_cast<int>(FRows.size()) ? FRows[static_cast<std::size_t>(FSelected)].Parameter : nullptr;
}

TParValueEdit TParViewModel::ValueEdit() const {
    TParValueEdit e;
    const TParameter* p = SelectedParameter();
    if (!p || p->IsDirectory())
        return e;
    e.Text = ParViewFieldText(*p, UnitSystem());
    e.Enabled = p->CanWrite(FPermission);
    e.StatusPath = "Path:\\\\" + p->GetPath();
    const auto* ip = p->IsInteger() ? dynamic_cast<const TGenericIntParameter*>(p) : nullptr;
    e.BrowserVisible = ip && ip->IsUPID();
    return e;
}

TParFieldReply TParViewModel::ActEnterExecute(const MyAnsiString& FieldText) {
    TParameter* p = SelectedParameter();
    if (p && p->CanWrite(FPermission)) {
        const TParEntry entry = ConvertParameterEntry(*p, FieldText, UnitSystem());
        if (!entry.Accepted) {
            ShowMessage(entry.Message);
            return {entry.FieldText, true};
        }
        ModifyParameterValue(*p, entry.Text);
    }
    return {ValueEdit().Text, false};
}

bool TParViewModel::ModifyParameterValue(TParameter& P, const MyAnsiString& Value) {
    if (FModifyParameter || !FDevice || FDevice->DeviceType() == dtConnectionLost || !P.CanWrite(FPermission))
        return false;
    FModifyParameter = &P;
    FModifyValue = Value;
    FModifyInt.reset();
    AnnounceRequest(pvrModify);
    return true;
}

bool TParViewModel::ModifyParameterInt(TParameter& P, std::int64_t Value) {
    if (!ModifyParameterValue(P, {}))
        return false;
    FModifyInt = Value;
    return true;
}

TParEditAction TParViewModel::EditSelectedParameterValue() {
    TParameter* p = SelectedParameter();
    if (!p)
        return TParEditAction::eaNone;
    if (p->IsDirectory()) {
        if (OnNavigate)
            OnNavigate(NavigationPath(*p));
        return TParEditAction::eaGoToDirectory;
    }
    if (!p->CanWrite(FPermission))
        return TParEditAction::eaNone;
    if (p->IsBoolean()) {
        ModifyParameterValue(*p, {});
        return TParEditAction::eaToggle;
    }
    return TParEditAction::eaFocusField;
}

bool TParViewModel::UPIDBrowserExecute() {
    TParameter* p = SelectedParameter();
    const auto* ip = p && p->IsInteger() ? dynamic_cast<const TGenericIntParameter*>(p) : nullptr;
    if (!ip || !ip->IsUPID() || !FDevice || !UPIDBrowser())
        return false;
    std::int32_t current = 0;
    try {
        current = static_cast<std::int32_t>(ip->GetIntValue() & 0xFFFF);
    } catch (const std::exception&) {
    }
    const std::int32_t chosen = UPIDBrowser()(current, *FDevice);
    return chosen > 0 && ModifyParameterInt(*p, chosen);
}

bool TParViewModel::ActUpdateEnabled() const {
    return FDevice && FDevice->DeviceType() == dtOnline && !FServiceClient->RequestPending();
}

bool TParViewModel::CheckDisplayModes() {
    const MyAnsiString upid = ShellServices().UPIDDispMode();
    const MyAnsiString raw = ShellServices().RawDataDispMode();
    if (upid == FUPIDDispMode && raw == FRawDataDispMode)
        return false;
    FUPIDDispMode = upid;
    FRawDataDispMode = raw;
    if (FDirectoryParameter)
        AnnounceRequest(pvrRebuild);
    return true;
}

MyAnsiString TParViewModel::NavigationPath(const TParameter& P) const {
    return "Project:\\\\" + (FDevice ? FDevice->GetModelCaption() : MyAnsiString()) + "\\Parameters\\" + P.GetPath();
}

void TParViewModel::SetParameterFocus(TParameter& P) {
    // The tree's move may hide this view (and show another): the service is
    // kept here, not read from the view afterwards.
    TParameterService* service = FParameterService;
    if (!service)
        return;
    service->FSearchedParameter = &P;
    if (OnNavigate)
        OnNavigate(NavigationPath(P));
    service->Provider().BeginUpdate();
    service->Provider().EndOfUpdate();
}

} // namespace vo
