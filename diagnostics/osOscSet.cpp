#include "diagnostics/osOscSet.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>
#include <string>

#include "kernel/UserPrompt.h"
#include "platform/Exception.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"

namespace vo {

const TTrigEvent TrigIntEvent[8] = {
    {16, "Rising edge"},
    {1, "Falling edge"},
    {17, "Any edge"},
    {8, "Greater than"},
    {2, "Less than"},
    {12, "Greater or equal"},
    {6, "Less or equal"},
    {4, "Equal"},
};
const TTrigEvent TrigBitEvent[5] = {
    {16, "Rising edge"},
    {1, "Falling edge"},
    {17, "Any edge"},
    {64, "True"},
    {32, "False"},
};

namespace {

// Typed reads of a settings dictionary: a key that is absent leaves the field
// alone, a value of another kind raises an error naming the class and the key.
class TDictReader {
public:
    TDictReader(const TSLDictionary& Dict, const char* Owner) : D(Dict), FOwner(Owner) {}

    bool Has(std::string_view Key) const { return D.GetIndexOfName(Key) >= 0; }
    TSLObject* Get(std::string_view Key) const {
        const int i = D.GetIndexOfName(Key);
        return i < 0 ? nullptr : D.GetObjAtIndex(i);
    }

    void Int(std::string_view Key, std::int32_t& Out) const {
        if (Has(Key)) Out = static_cast<std::int32_t>(Integer(Key, INT32_MIN, INT32_MAX));
    }
    // 32-bit unsigned; a negative value stands for its 32-bit pattern.
    void UInt(std::string_view Key, std::uint32_t& Out) const {
        if (Has(Key)) Out = static_cast<std::uint32_t>(Integer(Key, INT32_MIN, UINT32_MAX));
    }
    void Float(std::string_view Key, double& Out) const {
        if (!Has(Key)) return;
        auto* n = dynamic_cast<TSLNumber*>(Get(Key));
        if (!n) Fail(Key, "a number");
        Out = n->GetDoubleValue();
    }
    void Bool(std::string_view Key, bool& Out) const {
        if (!Has(Key)) return;
        auto* b = dynamic_cast<TSLBoolean*>(Get(Key));
        if (!b) Fail(Key, "a boolean");
        Out = b->GetBooleanValue();
    }
    bool Str(std::string_view Key, MyAnsiString& Out) const {
        if (!Has(Key)) return false;
        auto* s = dynamic_cast<TSLString*>(Get(Key));
        if (!s) Fail(Key, "a string");
        Out = s->GetStringValue();
        return true;
    }
    void Unit(std::string_view Key, TUnitStr& Out) const {
        MyAnsiString s;
        if (Str(Key, s)) Out = s;
    }
    // The array under Key, nil when absent.
    TSLArray* Array(std::string_view Key) const {
        if (!Has(Key)) return nullptr;
        auto* a = dynamic_cast<TSLArray*>(Get(Key));
        if (!a) Fail(Key, "an array");
        return a;
    }
    // The dictionary under Key, nil when absent.
    TSLDictionary* Dict(std::string_view Key) const {
        if (!Has(Key)) return nullptr;
        auto* d = dynamic_cast<TSLDictionary*>(Get(Key));
        if (!d) Fail(Key, "a dictionary");
        return d;
    }
    // Element Index of an array under Key, which must be a dictionary.
    TSLDictionary* Element(std::string_view Key, TSLArray& Arr, int Index) const {
        auto* d = dynamic_cast<TSLDictionary*>(Arr.GetObjAtIndex(Index));
        if (!d) Fail(std::string(Key) + "[" + std::to_string(Index) + "]", "a dictionary");
        return d;
    }

private:
    std::int64_t Integer(std::string_view Key, std::int64_t Min, std::int64_t Max) const {
        TSLObject* obj = Get(Key);
        std::int64_t v = 0;
        if (auto* l = dynamic_cast<TSLLongint*>(obj)) {
            v = l->GetLongintValue();
        } else if (auto* d = dynamic_cast<TSLDouble*>(obj)) {
            const double x = d->GetDoubleValue();
            if (!(x == std::trunc(x) && x >= static_cast<double>(Min) && x <= static_cast<double>(Max)))
                Fail(Key, "an integer");
            v = static_cast<std::int64_t>(x);
        } else {
            Fail(Key, "an integer");
        }
        if (v < Min || v > Max)
            throw Exception(std::string(FOwner) + ".Create: value " + std::to_string(v) + " of '" + std::string(Key) +
                            "' out of range");
        return v;
    }
    [[noreturn]] void Fail(std::string_view Key, const char* Kind) const {
        throw Exception(std::string(FOwner) + ".Create: '" + std::string(Key) + "' must be " + Kind);
    }

    const TSLDictionary& D;
    const char* FOwner;
};

// Writes a value under Key: in place when a value of the same kind is there,
// else as a new entry (a value of another kind is dropped first).
template <class T>
T* Replaceable(TSLDictionary& D, std::string_view Key) {
    const int i = D.GetIndexOfName(Key);
    if (i < 0) return nullptr;
    if (auto* v = dynamic_cast<T*>(D.GetObjAtIndex(i))) return v;
    D.DelObjWithName(Key);
    return nullptr;
}
void PutInt(TSLDictionary& D, std::string_view Key, std::int64_t V) {
    if (auto* o = Replaceable<TSLLongint>(D, Key)) return o->SetLongintValue(V);
    D.SetObjWithName(Key, MakeRef<TSLLongint>(V).Get());
}
void PutFloat(TSLDictionary& D, std::string_view Key, double V) {
    if (auto* o = Replaceable<TSLDouble>(D, Key)) return o->SetDoubleValue(V);
    D.SetObjWithName(Key, MakeRef<TSLDouble>(V).Get());
}
void PutBool(TSLDictionary& D, std::string_view Key, bool V) {
    if (auto* o = Replaceable<TSLBoolean>(D, Key)) return o->SetBooleanValue(V);
    D.SetObjWithName(Key, MakeRef<TSLBoolean>(V).Get());
}
void PutStr(TSLDictionary& D, std::string_view Key, std::string_view V) {
    if (auto* o = Replaceable<TSLString>(D, Key)) return o->SetStringValue(V);
    D.SetObjWithName(Key, MakeRef<TSLString>(V).Get());
}
// The composite of class T under Key, reused when present, else added.
template <class T>
T& PutComposite(TSLDictionary& D, std::string_view Key) {
    if (auto* o = Replaceable<T>(D, Key)) return *o;
    TRef<T> fresh = MakeRef<T>();
    D.SetObjWithName(Key, fresh.Get());
    return *fresh;
}

// The keys a channel and a trigger share: the variable they watch. Addr is
// the field stored under "VarRamAddr".
template <class TSettings>
void ReadVariable(const TDictReader& R, TSettings& S, std::uint32_t TSettings::*Addr) {
    R.Str("DirName", S.FDirName);
    R.Str("VarName", S.FVarName);
    R.Int("VarUPID", S.FVarUPID);
    R.UInt("VarRamAddr", S.*Addr);
    R.Float("VarScale", S.FVarScale);
    R.Float("VarOffset", S.FVarOffset);
    R.Unit("VarUnit", S.FVarUnit);
    R.Int("VarType", S.FVarType);
    R.Int("BitValue", S.FBitValue);
}
template <class TSettings>
void WriteVariable(TSLDictionary& D, const TSettings& S, std::uint32_t TSettings::*Addr) {
    PutStr(D, "DirName", S.FDirName);
    PutStr(D, "VarName", S.FVarName);
    PutInt(D, "VarRamAddr", S.*Addr);
    PutInt(D, "VarUPID", S.FVarUPID);
    PutFloat(D, "VarScale", S.FVarScale);
    PutFloat(D, "VarOffset", S.FVarOffset);
    PutStr(D, "VarUnit", S.FVarUnit.Str());
    PutInt(D, "VarType", S.FVarType);
    PutInt(D, "BitValue", S.FBitValue);
}

// The settings under Key as an array of dictionaries, one per item; the
// array there is reused.
template <class TSettings>
void WriteList(TSLDictionary& D, std::string_view Key, const std::vector<std::unique_ptr<TSettings>>& List) {
    TSLArray& items = PutComposite<TSLArray>(D, Key);
    items.Clear();
    for (const auto& item : List) {
        TRef<TSLDictionary> d = MakeRef<TSLDictionary>();
        item->SaveToDict(*d);
        items.AddObject(d.Get());
    }
}
// Calls Add with the settings read from each dictionary of the array under Key.
template <class TSettings, class TAdd>
void ReadList(const TDictReader& R, std::string_view Key, TAdd&& Add) {
    if (TSLArray* items = R.Array(Key))
        for (int i = 0; i < items->GetCount(); ++i) Add(TSettings(R.Element(Key, *items, i)));
}

const char* const AcqModeText[] = {"SingleShot", "Continuous"};
const char* const TrigCondText[] = {"None", "TrigA", "TrigB", "TrigAAndB", "TrigAOrB"};

MyAnsiString UpperAscii(std::string_view S) {
    MyAnsiString u(S);
    for (char& c : u)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return u;
}

// Nearest integer, halves to even, held in 32 bits (NaN gives 0).
std::int32_t RoundInt32(double X) {
    if (std::isnan(X)) return 0;
    const double r = std::nearbyint(X);
    if (r >= 2147483647.0) return INT32_MAX;
    if (r <= -2147483648.0) return INT32_MIN;
    return static_cast<std::int32_t>(r);
}

// The number of samples the timing works with: never below 2.
std::int32_t SampleCount(std::int32_t N) { return std::max<std::int32_t>(N, 2); }

bool ValidIncrTime(double T) { return std::isfinite(T) && T > 0.0; }

} // namespace

bool osvt::IsInteger(std::int32_t Type) noexcept {
    switch (Type) {
    case SInt16:
    case UInt16:
    case SInt32:
    case UInt32:
    case SInt48:
    case UInt48:
    case SInt8:
    case UInt8:
        return true;
    default:
        return false;
    }
}

// --- TChannelSettings ------------------------------------------------------

TChannelSettings::TChannelSettings(const TSLDictionary* Dict) {
    if (!Dict) return;
    const TDictReader r(*Dict, "TChannelSettings");
    r.Bool("ChannelOn", FChannelOn);
    r.Bool("Enabled", FEnabled);
    ReadVariable(r, *this, &TChannelSettings::FVarRamAddr);
    r.Int("VarSize", FVarSize);
}

void TChannelSettings::SaveToDict(TSLDictionary& Dict) const {
    PutBool(Dict, "Enabled", FEnabled);
    PutBool(Dict, "ChannelOn", FChannelOn);
    WriteVariable(Dict, *this, &TChannelSettings::FVarRamAddr);
    PutInt(Dict, "VarSize", FVarSize);
}

// --- TTriggerSettings ------------------------------------------------------

TTriggerSettings::TTriggerSettings(const TSLDictionary* Dict) {
    if (!Dict) return;
    const TDictReader r(*Dict, "TTriggerSettings");
    r.Bool("TriggerOn", FTriggerOn);
    ReadVariable(r, *this, &TTriggerSettings::FVarAddress);
    r.Float("Level", FVarValue);
    r.Int("VarSize", FVarSize);
    r.Int("TrigEvent", FTrigEvent);
}

void TTriggerSettings::SaveToDict(TSLDictionary& Dict) const {
    PutBool(Dict, "TriggerOn", FTriggerOn);
    WriteVariable(Dict, *this, &TTriggerSettings::FVarAddress);
    PutInt(Dict, "TrigEvent", FTrigEvent);
    PutInt(Dict, "VarSize", FVarSize);
    PutFloat(Dict, "Level", FVarValue);
}

MyAnsiString TTriggerSettings::GetTrigEventStr() const {
    const auto find = [this](const auto& Table) -> MyAnsiString {
        for (const TTrigEvent& e : Table)
            if (e.Value == FTrigEvent) return e.Caption;
        return {};
    };
    if (osvt::IsInteger(FVarType) || FVarType == osvt::FloatIEEE754) return find(TrigIntEvent);
    if (FVarType == osvt::Bool16 || FVarType == osvt::Bool) return find(TrigBitEvent);
    return {};
}

// --- TGeneralSettings ------------------------------------------------------

TGeneralSettings::TGeneralSettings(const TSLDictionary* Dict) {
    if (!Dict) {
        for (int i = 0; i < 8; ++i) AddChannelSettings(TChannelSettings());
        for (int i = 0; i < 2; ++i) AddTriggerSettings(TTriggerSettings());
        return;
    }
    try {
        ReadFrom(*Dict);
    } catch (const std::exception& e) {
        ShowErrorMessage(e.what());
        SetDefaults();
    }
}

TGeneralSettings::~TGeneralSettings() = default;

void TGeneralSettings::ReadFrom(const TSLDictionary& Dict) {
    const TDictReader r(Dict, "TGeneralSettings");
    r.Str("RecTimeDispUnit", FRecTimeDispUnit);
    r.Float("RecTime", FRecordingTime);
    MyAnsiString text;
    if (r.Str("AcqMode", text)) {
        for (std::int32_t m = 0; m < 2; ++m)
            if (text == AcqModeText[m]) FAcqMode = m;
    }
    r.Bool("ShowResult", FShowResult);
    r.Int("NrOfSamples", FNrOfSamples);
    FNrOfSamples = SampleCount(FNrOfSamples);
    r.Bool("Pretrigger", FPretrigger);
    r.Int("PretValue", FPretValue);
    r.Bool("Delay", FDelay);
    r.Float("DelValue", FDelValue);
    double incrTime = FIncrTime;
    r.Float("IncrTime", incrTime);
    if (ValidIncrTime(incrTime)) FIncrTime = incrTime;
    r.Str("DelTimeDispUnit", FDelTimeDispUnit);
    if (r.Str("TrigCond", text)) {
        const MyAnsiString upper = UpperAscii(text);
        for (std::int32_t c = 0; c < 5; ++c)
            if (upper == UpperAscii(TrigCondText[c])) FTrigCond = c;
    }
    ReadList<TChannelSettings>(r, "Channels", [this](TChannelSettings S) { AddChannelSettings(std::move(S)); });
    ReadList<TTriggerSettings>(r, "Triggers", [this](TTriggerSettings S) { AddTriggerSettings(std::move(S)); });
}

void TGeneralSettings::SetDefaults() {
    FRecordingTime = 1.0;
    FRecTimeDispUnit = "ms";
    FAcqMode = amSingleShot;
    FShowResult = false;
    FNrOfSamples = 100;
    FIncrTime = 1.0;
    FNrOfIncr = 0;
    FPretrigger = false;
    FPretValue = 10;
    FDelay = false;
    FDelValue = 100.0;
    FDelTimeDispUnit = "s";
    FTrigCond = tcNone;
    FAdvRecTimeUnit = "s";
}

void TGeneralSettings::SaveDataToDict(TSLDictionary& Dict) const {
    PutStr(Dict, "RecTimeDispUnit", FRecTimeDispUnit);
    PutFloat(Dict, "RecTime", FRecordingTime);
    if (FAcqMode == amSingleShot || FAcqMode == amContinuous) PutStr(Dict, "AcqMode", AcqModeText[FAcqMode]);
    PutBool(Dict, "ShowResult", FShowResult);
    PutInt(Dict, "NrOfSamples", FNrOfSamples);
    PutBool(Dict, "Pretrigger", FPretrigger);
    PutInt(Dict, "PretValue", FPretValue);
    PutBool(Dict, "Delay", FDelay);
    PutFloat(Dict, "DelValue", FDelValue);
    PutFloat(Dict, "IncrTime", FIncrTime);
    PutStr(Dict, "DelTimeDispUnit", FDelTimeDispUnit);
    if (FTrigCond >= tcNone && FTrigCond <= tcTrigAOrB) PutStr(Dict, "TrigCond", TrigCondText[FTrigCond]);
    WriteList(Dict, "Channels", ChanSetLst);
    WriteList(Dict, "Triggers", TrigSetLst);
}

void TGeneralSettings::SetProperties(const TGeneralSettings& GenSet) {
    if (&GenSet == this) return;
    FAcqMode = GenSet.FAcqMode;
    FShowResult = GenSet.FShowResult;
    FNrOfSamples = GenSet.FNrOfSamples;
    FIncrTime = GenSet.FIncrTime;
    FPretrigger = GenSet.FPretrigger;
    FPretValue = GenSet.FPretValue;
    FDelay = GenSet.FDelay;
    FDelValue = GenSet.FDelValue;
    FDelTimeDispUnit = GenSet.FDelTimeDispUnit;
    FTrigCond = GenSet.FTrigCond;
    FNrOfIncr = GenSet.FNrOfIncr;
    FRecordingTime = GenSet.FRecordingTime;
    FRecTimeDispUnit = GenSet.FRecTimeDispUnit;
    FAdvRecTimeUnit = GenSet.FAdvRecTimeUnit;
    const std::size_t channels = std::min(ChanSetLst.size(), GenSet.ChanSetLst.size());
    for (std::size_t i = 0; i < channels; ++i) *ChanSetLst[i] = *GenSet.ChanSetLst[i];
    const std::size_t triggers = std::min(TrigSetLst.size(), GenSet.TrigSetLst.size());
    for (std::size_t i = 0; i < triggers; ++i) *TrigSetLst[i] = *GenSet.TrigSetLst[i];
}

TChannelSettings& TGeneralSettings::AddChannelSettings(TChannelSettings ChanSet) {
    ChanSetLst.push_back(std::make_unique<TChannelSettings>(std::move(ChanSet)));
    return *ChanSetLst.back();
}

TTriggerSettings& TGeneralSettings::AddTriggerSettings(TTriggerSettings TrigSet) {
    TrigSetLst.push_back(std::make_unique<TTriggerSettings>(std::move(TrigSet)));
    return *TrigSetLst.back();
}

TChannelSettings& TGeneralSettings::GetChannelSettings(int Index) {
    return const_cast<TChannelSettings&>(std::as_const(*this).GetChannelSettings(Index));
}

const TChannelSettings& TGeneralSettings::GetChannelSettings(int Index) const {
    if (Index < 0 || Index >= GetChanSetCount())
        throw Exception("TGeneralSettings.GetChannelSettings: index " + std::to_string(Index) + " out of bounds");
    return *ChanSetLst[static_cast<std::size_t>(Index)];
}

TTriggerSettings& TGeneralSettings::GetTriggerSettings(int Index) {
    return const_cast<TTriggerSettings&>(std::as_const(*this).GetTriggerSettings(Index));
}

const TTriggerSettings& TGeneralSettings::GetTriggerSettings(int Index) const {
    if (Index < 0 || Index >= GetTrigSetCount())
        throw Exception("TGeneralSettings.GetTriggerSettings: index " + std::to_string(Index) + " out of bounds");
    return *TrigSetLst[static_cast<std::size_t>(Index)];
}

std::int32_t TGeneralSettings::GetSamplePeriods() const {
    if (!ValidIncrTime(FIncrTime)) return 0;
    return RoundInt32(FRecordingTime / (FIncrTime * (SampleCount(FNrOfSamples) - 1)));
}

double TGeneralSettings::GetSampleTime() const {
    return ValidIncrTime(FIncrTime) ? GetSamplePeriods() * FIncrTime : 0.0;
}

std::int32_t TGeneralSettings::GetDelayPeriods() const {
    const double sampleTime = GetSampleTime();
    if (!(sampleTime > 0.0) || !std::isfinite(sampleTime)) return 0;
    const double before =
        FPretrigger ? sampleTime * std::nearbyint(static_cast<double>(FPretValue) * SampleCount(FNrOfSamples) / 100.0)
                    : 0.0;
    const double after = FDelay ? std::nearbyint(FDelValue / sampleTime) * sampleTime : 0.0;
    return RoundInt32((after - before) / sampleTime);
}

double TGeneralSettings::GetStartTime() const { return GetDelayPeriods() * GetSampleTime(); }

bool ActivateSettings(TGeneralSettings& Edited, TGeneralSettings& Active, double IncrTime) {
    if (!ValidIncrTime(IncrTime)) return false;
    Edited.FIncrTime = IncrTime;
    Active.SetProperties(Edited);
    Active.FNrOfSamples = SampleCount(Active.FNrOfSamples);
    const double steps = (Active.FNrOfSamples - 1) * IncrTime;
    Active.FNrOfIncr = std::max<std::int32_t>(RoundInt32(Active.FRecordingTime / steps), 1);
    Active.FRecordingTime = steps * Active.FNrOfIncr;
    return true;
}

// --- TAxisDisplayInfo ------------------------------------------------------

TAxisDisplayInfo::TAxisDisplayInfo(const TSLDictionary* Dict) { SetPropertiesWithDict(Dict); }

void TAxisDisplayInfo::SetPropertiesWithDict(const TSLDictionary* Dict) {
    if (!Dict) return;
    // Read into a copy, so that a value of the wrong kind changes nothing.
    TAxisDisplayInfo read = *this;
    const TDictReader r(*Dict, "TAxisDisplayInfo");
    r.Bool("Visible", read.FVisible);
    r.Int("Color", read.FColor);
    r.Float("DivWidth", read.FDivWidth);
    r.Float("Offset", read.FOffset);
    r.Str("DispUnit", read.FDispUnit);
    *this = std::move(read);
}

void TAxisDisplayInfo::SaveDataToDict(TSLDictionary& Dict) const {
    PutInt(Dict, "Color", FColor);
    PutFloat(Dict, "DivWidth", FDivWidth);
    PutFloat(Dict, "Offset", FOffset);
    PutStr(Dict, "DispUnit", FDispUnit);
    PutBool(Dict, "Visible", FVisible);
}

void TAxisDisplayInfo::SetProperties(const TAxisDisplayInfo* AxDisInfo) {
    if (AxDisInfo && AxDisInfo != this) *this = *AxDisInfo;
}

void TAxisDisplayInfo::SetDefault() { *this = TAxisDisplayInfo(); }

// --- TDisplaySettings ------------------------------------------------------

TDisplaySettings::TDisplaySettings(const TSLDictionary* Dict) {
    AxisDisInfoList.reserve(YAxes);
    if (Dict) {
        const TDictReader r(*Dict, "TDisplaySettings");
        FAxisXDisInfo = TAxisDisplayInfo(r.Dict("AxisXInfo"));
        if (TSLArray* axes = r.Array("DisplayInfoArr"))
            for (int i = 0; i < axes->GetCount() && i < YAxes; ++i)
                AxisDisInfoList.emplace_back(r.Element("DisplayInfoArr", *axes, i));
    }
    while (AxisDisInfoList.size() < YAxes) AxisDisInfoList.emplace_back();
}

void TDisplaySettings::SaveDataToDict(TSLDictionary& Dict) const {
    FAxisXDisInfo.SaveDataToDict(PutComposite<TSLDictionary>(Dict, "AxisXInfo"));
    TSLArray& axes = PutComposite<TSLArray>(Dict, "DisplayInfoArr");
    for (int i = 0; i < YAxisCount(); ++i) {
        auto* element = i < axes.GetCount() ? dynamic_cast<TSLDictionary*>(axes.GetObjAtIndex(i)) : nullptr;
        if (!element) {
            TRef<TSLDictionary> fresh = MakeRef<TSLDictionary>();
            if (i < axes.GetCount())
                axes.SetObjAtIndex(i, fresh.Get());
            else
                axes.AddObject(fresh.Get());
            element = fresh.Get();
        }
        AxisDisInfoList[static_cast<std::size_t>(i)].SaveDataToDict(*element);
    }
}

void TDisplaySettings::SetProperties(const TDisplaySettings& DisSet) {
    if (&DisSet == this) return;
    FBackGroundColor = DisSet.FBackGroundColor;
    FAxisXDisInfo.SetProperties(&DisSet.FAxisXDisInfo);
    const std::size_t n = std::min(AxisDisInfoList.size(), DisSet.AxisDisInfoList.size());
    for (std::size_t i = 0; i < n; ++i) AxisDisInfoList[i].SetProperties(&DisSet.AxisDisInfoList[i]);
}

TAxisDisplayInfo& TDisplaySettings::GetAxisDisInfoAt(int Index) {
    return const_cast<TAxisDisplayInfo&>(std::as_const(*this).GetAxisDisInfoAt(Index));
}

const TAxisDisplayInfo& TDisplaySettings::GetAxisDisInfoAt(int Index) const {
    if (Index < 0 || Index >= YAxisCount())
        throw Exception("TDisplaySettings.GetAxisDisInfoAt: index " + std::to_string(Index) + " out of bounds");
    return AxisDisInfoList[static_cast<std::size_t>(Index)];
}

} // namespace vo
