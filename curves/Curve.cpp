#include "curves/Curve.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>

#include "curves/CurWizar.h"
#include "curves/ocCCrMan.h"
#include "kernel/ModTree.h"
#include "parameters/UniSrv.h"
#include "platform/Exception.h"
#include "platform/FileNames.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"

namespace vo {

namespace {

constexpr const char* ParNames[7] = {"WizardPar1", "WizardPar2", "WizardPar3", "WizardPar4",
                                     "WizardPar5", "WizardPar6", "WizardPar7"};

std::int32_t ClampToInt32(std::int64_t v) {
    if (v > INT32_MAX || v < INT32_MIN) throw EConvertError("TCurve: value out of the 32-bit range");
    return static_cast<std::int32_t>(v);
}

MyAnsiString CurveClassName() { return "TCurve"; }

std::unique_ptr<TZezDataObject> OpenCurve(TSLDictionary& Info, TSLDictionary& Data) {
    return TCurve::CreateOpen(Info, Data);
}

const TZezDataTypeClass CurveClass{&TCurve::ObjectTypeName, &OpenCurve};

} // namespace

TCurve::TCurve(TOpenKey, TModelManager* AModels) : TZezDataObject(AModels) {
    ModifiedIndex = 27;
    NoModifiedIndex = 18;
    if (CurveManager()) FModel->SetView(CurveManager()->FModelView);
}

TCurve::TCurve(TModelManager* AModels) : TCurve(TOpenKey{}, AModels) {
    FModel->SetImageIndex(18);
    FData = MakeRef<TSLArray>();
    InitInfo();
    FVersion = 3;
}

TCurve::~TCurve() = default;

void TCurve::InitInfo() {
    FInfo = MakeRef<TSLDictionary>();
    TSLDictionary& i = *FInfo;
    for (const char* n : {"DataOffset", "ObjType", "NoOfSetPoints", "DataTypeSize"}) i.SetIntWithName(n, 0);
    i.SetStrWithName("CurveName", "");
    for (const char* n : {"ID", "XLength", "XDimUUID", "YDimUUID", "WizardType"}) i.SetIntWithName(n, 0);
    for (const char* n : ParNames) i.SetIntWithName(n, 0);
    i.SetBoolWithName("Downloaded", false);
}

std::unique_ptr<TCurve> TCurve::CreateOpen(TSLDictionary& ObjInfo, TSLDictionary& ObjData, TModelManager* AModels) {
    const std::int32_t version = CurveManager() ? CurveManager()->ActualVersion() : -1;
    TSLObject* v = ObjInfo.FindObjWithName("Version");
    auto* n = dynamic_cast<TSLNumber*>(v);
    if (!n || version < 0 || n->GetLongintValue() != version)
        throw Exception(CurveClassName() + ".CreateOpen: unknown type or version!");
    auto* info = dynamic_cast<TSLDictionary*>(ObjData.GetObjWithName("Info"));
    auto* data = dynamic_cast<TSLArray*>(ObjData.GetObjWithName("Data"));
    if (!info || !data) throw EInvalidCast();
    std::unique_ptr<TCurve> c(new TCurve(TOpenKey{}, AModels));
    c->FInfo = info;
    c->FData = data;
    c->TakePoints();
    if (!info->NameExists("Downloaded")) info->SetBoolWithName("Downloaded", false);
    c->FVersion = version;
    c->SetName(c->GetCurveName());
    return c;
}

const TZezDataTypeClass& TCurve::DataTypeClass() { return CurveClass; }

void TCurve::SaveInfoToDict(TSLDictionary& ObjInfo) const {
    ObjInfo.SetIntWithName("Type", 0);
    ObjInfo.SetIntWithName("Version", 3);
    ObjInfo.SetStrWithName("Name", GetCurveName());
}

void TCurve::SaveDataToDict(TSLDictionary& ObjData) const {
    ObjData.SetObjWithName("Info", FInfo->CopyDictionary());
    ObjData.SetObjWithName("Data", Data().CopyArray());
}

// ------------------------------------------------------------------ header

std::int32_t TCurve::Int(const char* Name) const { return static_cast<std::int32_t>(FInfo->GetIntWithName(Name)); }
void TCurve::SetInt(const char* Name, std::int64_t Value) { FInfo->SetIntWithName(Name, Value); }

MyAnsiString TCurve::GetCurveName() const { return FInfo->GetStrWithName("CurveName"); }
void TCurve::SetCurveName(const MyAnsiString& v) { FInfo->SetStrWithName("CurveName", v); }
bool TCurve::GetDownloaded() const { return FInfo->GetBoolWithName("Downloaded"); }
void TCurve::SetDownloaded(bool v) { FInfo->SetBoolWithName("Downloaded", v); }

void TCurve::SetID(std::int32_t v) {
    if (GetID() == v) return;
    SetInt("ID", v);
    SetModified(true);
}

const TDeviceUnit& TCurve::XUnit() const { return CurveUnit(FUnits, GetXDimUUID()); }
const TDeviceUnit& TCurve::YUnit() const { return CurveUnit(FUnits, GetYDimUUID()); }

std::int32_t TCurve::ToRaw(const TDeviceUnit& Unit, double Value) const {
    return ClampToInt32(Unit.ValToInt(usSI, Value));
}

double TCurve::GetXLength() const { return XUnit().IntToVal(usSI, Int("XLength")); }

void TCurve::SetXLength(double Value) {
    const std::int32_t raw = ToRaw(XUnit(), Value);
    if (raw == Int("XLength")) return;
    SetInt("XLength", raw);
    SetModified(true);
}

std::int32_t TCurve::GetWizardParIntValue(int Index) const {
    return Index >= 0 && Index < 7 ? Int(ParNames[Index]) : 0;
}

void TCurve::SetWizardParIntValue(int Index, std::int32_t Value) {
    if (Index >= 0 && Index < 7) SetInt(ParNames[Index], Value);
}

const TDeviceUnit& TCurve::WizardParUnit(int Index, bool& Found) const {
    TCurveWizard* w = CurveManager() ? CurveManager()->GetWizardOfType(GetWizardType()) : nullptr;
    Found = w != nullptr;
    return CurveUnit(FUnits, w ? w->GetParUUID(Index) : 0);
}

double TCurve::GetWizardParSIValue(int Index) const {
    bool found = false;
    const TDeviceUnit& u = WizardParUnit(Index, found);
    const std::int32_t raw = GetWizardParIntValue(Index);
    return found ? u.IntToVal(usSI, raw) : static_cast<double>(raw);
}

void TCurve::SetWizardParSIValue(int Index, double Value) {
    bool found = false;
    const TDeviceUnit& u = WizardParUnit(Index, found);
    SetWizardParIntValue(Index, found ? ToRaw(u, Value) : ClampToInt32(static_cast<std::int64_t>(Nearest(Value))));
}

double TCurve::GetCurveResolution() const {
    const std::int32_t n = GetNoOfSetPoints();
    if (n < 2) throw Exception("Invalid curve");
    return GetXLength() / static_cast<double>(n - 1);
}

MyAnsiString TCurve::GetWizardCaption() const {
    return CurveManager() ? CurveManager()->GetWizardCaption(GetWizardType()) : MyAnsiString("Unknown");
}

MyAnsiString TCurve::GetYDimUnitCaption(TUnitSystem US) const { return YUnit().GetUnitCaption(US); }

std::int32_t TCurve::GetManualWizardType() const {
    return CurveManager() ? CurveManager()->GetManualWizardTypeOfCurve(GetCurveType()) : 0;
}

void TCurve::ChangeToManual() {
    SetWizardType(GetManualWizardType());
    SetWizardParSIValue(0, GetXLength());
    for (int i = 1; i < 7; ++i) SetWizardParIntValue(i, 0);
}

// ------------------------------------------------------------------ set points

int TCurve::PointCount() const { return FFlat ? static_cast<int>(FPoints.size()) : FData->GetCount(); }

std::int32_t TCurve::RawPoint(int Index) const {
    if (FFlat) return FPoints[static_cast<std::size_t>(Index)];
    return static_cast<std::int32_t>(SLCast<TSLNumber>(FData->GetObjAtIndex(Index))->GetLongintValue());
}

void TCurve::TakePoints() {
    const TSLArray& a = *FData;
    const int n = a.GetCount();
    FPoints.resize(static_cast<std::size_t>(n));
    FFlat = true;
    FDataStale = false;
    for (int i = 0; i < n; ++i) {
        const TSLObject* o = a.UncheckedAt(i);
        // an element held twice would change at both places when written
        if (!o || !o->HasTrait(TSLObject::slLongint) || o->GetRefCount() != 1) {
            FFlat = false;
            break;
        }
        const std::int64_t v = static_cast<const TSLLongint*>(o)->GetLongintValue();
        if (v < INT32_MIN || v > INT32_MAX) {
            FFlat = false;
            break;
        }
        FPoints[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(v);
    }
    if (!FFlat) std::vector<std::int32_t>().swap(FPoints);
}

void TCurve::PointsReplaced() {
    FFlat = true;
    FDataStale = true;
    if (FData->GetRefCount() > 1) SyncData(); // somebody else reads this very array
}

void TCurve::SyncData() const {
    if (!FFlat || !FDataStale) return;
    TSLArray& a = *FData;
    const int n = static_cast<int>(FPoints.size());
    if (a.GetCount() > n) a.SetCount(n);
    a.SetCapacity(n);
    const int kept = a.GetCount();
    for (int i = 0; i < kept; ++i) {
        const std::int32_t v = FPoints[static_cast<std::size_t>(i)];
        TSLObject* old = a.UncheckedAt(i);
        // a point object nobody else holds takes the new value in place
        if (old && old->GetRefCount() == 1 && old->HasTrait(TSLObject::slLongint))
            static_cast<TSLLongint*>(old)->TSLLongint::SetLongintValue(v);
        else
            a.SetObjAtIndex(i, new TSLLongint(v));
    }
    for (int i = kept; i < n; ++i) a.InsObjAtIndex(i, new TSLLongint(FPoints[static_cast<std::size_t>(i)]));
    FDataStale = false;
}

const TSLArray& TCurve::Data() const {
    SyncData();
    return *FData;
}

void TCurve::CheckIndex(int Index, const char* Method) const {
    if (Index < 0 || Index >= GetNoOfSetPoints() || Index >= PointCount())
        throw Exception(CurveClassName() + "." + Method + ": index out of bounds.");
}

std::int32_t TCurve::GetDataInt(int Index) const {
    CheckIndex(Index, "GetData");
    return RawPoint(Index);
}

void TCurve::SetDataInt(int Index, std::int32_t Value) {
    CheckIndex(Index, "SetData");
    if (FFlat) FPoints[static_cast<std::size_t>(Index)] = Value;
    if (!FFlat || !FDataStale) SLCast<TSLNumber>(FData->GetObjAtIndex(Index))->SetLongintValue(Value);
}

double TCurve::GetDataSI(int Index) const { return YUnit().IntToVal(usSI, GetDataInt(Index)); }

void TCurve::SetDataSI(int Index, double Value) {
    CheckIndex(Index, "SetData");
    SetDataInt(Index, ToRaw(YUnit(), Value));
    SetModified(true);
}

void TCurve::AddNewIntData(std::int32_t Value) { InsertNewIntData(PointCount(), Value); }
void TCurve::AddNewSIData(double Value) { AddNewIntData(ToRaw(YUnit(), Value)); }

namespace {

// The raw integer nearest to a quotient, halves to even, as ValToInt rounds
// in the default rounding mode: adding and taking away 1.5 * 2^52 leaves no
// fraction bits. Exact for |Q| < 2^51, far beyond the 32-bit range; larger
// quotients stay large.
inline double RoundedRaw(double Q) {
    constexpr double Magic = 6755399441055744.0;
    return (Q + Magic) - Magic;
}

// Raises as a single point's conversion would for the first value in Values
// that has no 32-bit raw value in Unit.
[[noreturn]] void RaiseFirstUnfit(const TDeviceUnit& Unit, const std::vector<double>& Values) {
    for (const double v : Values) ClampToInt32(Unit.ValToInt(usSI, v));
    throw EConvertError("TCurve: value out of the 32-bit range"); // not reached: one of them raises
}

// The raw values of Values in Unit into Out (resized to fit); raises, Out
// unspecified, when one has no 32-bit raw value. A unit that cannot convert
// raises for no values as well.
void ConvertRaw(const TDeviceUnit& Unit, const std::vector<double>& Values, std::vector<std::int32_t>& Out) {
    ClampToInt32(Unit.ValToInt(usSI, 0.0));
    const TUnitInfo si = Unit.GetUnitInfo(usSI);
    const double offset = si.Offset, scale = si.Scale;
    const std::size_t n = Values.size();
    Out.resize(n);
    const double* in = Values.data();
    std::int32_t* out = Out.data();
    bool allFit = true; // no call and no branch in the loop
    for (std::size_t i = 0; i < n; ++i) {
        const double r = RoundedRaw((in[i] - offset) / scale);
        const bool fits = (r >= -2147483648.0) & (r <= 2147483647.0); // false for NaN
        allFit &= fits;
        out[i] = static_cast<std::int32_t>(fits ? r : 0.0);
    }
    if (!allFit) RaiseFirstUnfit(Unit, Values);
}

// The converted values before they become the points (the points stay as
// they were when one does not convert); its buffer is swapped with the
// curve's, so long curves reuse their memory.
std::vector<std::int32_t>& SpareRaw() {
    thread_local std::vector<std::int32_t> spare;
    return spare;
}

void FillRaw(std::vector<std::int32_t>& Out, std::size_t Count, std::int32_t Value) {
    Out.resize(Count);
    std::int32_t* p = Out.data();
    if (Value == 0) {
        if (Count > 0) std::memset(p, 0, Count * sizeof *p);
        return;
    }
    const std::int32_t four[4] = {Value, Value, Value, Value};
    std::size_t i = 0;
    for (; i + 4 <= Count; i += 4) std::memcpy(p + i, four, sizeof four);
    for (; i < Count; ++i) p[i] = Value;
}

} // namespace

void TCurve::AddNewSIData(const std::vector<double>& Values) {
    const TDeviceUnit& y = YUnit();
    std::vector<std::int32_t>& raw = SpareRaw();
    ConvertRaw(y, Values, raw);
    if (FFlat) {
        FPoints.insert(FPoints.end(), raw.begin(), raw.end());
        PointsReplaced();
    } else {
        TSLArray& a = *FData;
        a.SetCapacity(a.GetCount() + static_cast<int>(raw.size()));
        for (const std::int32_t r : raw) a.InsObjAtIndex(a.GetCount(), new TSLLongint(r));
    }
    SetNoOfSetPoints(PointCount());
    SetModified(true);
}

void TCurve::ReplaceSIData(const std::vector<double>& Values) {
    std::vector<std::int32_t>& raw = SpareRaw();
    ConvertRaw(YUnit(), Values, raw); // raises before the first point changes
    FPoints.swap(raw);
    PointsReplaced();
    SetNoOfSetPoints(PointCount());
    if (!Values.empty()) SetModified(true);
}

void TCurve::ReplaceSIData(std::int32_t Count, double Value) {
    const TDeviceUnit& y = YUnit();
    ToRaw(y, 0.0); // raises for a unit that cannot convert
    const std::int32_t raw = Count > 0 ? ToRaw(y, Value) : 0;
    FillRaw(FPoints, static_cast<std::size_t>(std::max(Count, 0)), raw);
    PointsReplaced();
    SetNoOfSetPoints(PointCount());
    if (Count > 0) SetModified(true);
}

void TCurve::InsertNewIntData(int Index, std::int32_t Value) {
    const int n = PointCount();
    if (Index < 0 || Index > n)
        throw Exception(std::string(FData->ClassName()) + ".InsObjAtIndex: index (" + std::to_string(Index) +
                        ") out of bounds (" + std::to_string(n) + ")");
    if (FFlat) FPoints.insert(FPoints.begin() + Index, Value);
    if (!FFlat || !FDataStale) FData->InsObjAtIndex(Index, new TSLLongint(Value));
    SetNoOfSetPoints(PointCount());
    SetModified(true);
}

void TCurve::InsertNewSIData(int Index, double Value) { InsertNewIntData(Index, ToRaw(YUnit(), Value)); }

void TCurve::RemoveDataAtIndex(int Index) {
    const int n = PointCount();
    if (Index < 0 || Index >= n)
        throw Exception(std::string(FData->ClassName()) + ".DelObjAtIndex: index (" + std::to_string(Index) +
                        ") out of bounds (" + std::to_string(n) + ")");
    if (FFlat) FPoints.erase(FPoints.begin() + Index);
    if (!FFlat || !FDataStale) FData->DelObjAtIndex(Index);
    SetNoOfSetPoints(PointCount());
    SetModified(true);
}

void TCurve::ClearDataArray() {
    FPoints.clear();
    PointsReplaced();
    SetNoOfSetPoints(0);
}

std::int32_t TCurve::GetStartPointInt() const { return GetDataInt(0); }

std::int32_t TCurve::GetEndPointInt() const {
    const int n = PointCount();
    if (n == 0) throw Exception(CurveClassName() + ".GetData: index out of bounds.");
    return RawPoint(n - 1);
}

void TCurve::GetMaxMin(double& MaxValue, double& MinValue) const {
    MaxValue = MinValue = GetDataSI(0);
    for (int i = 1; i < GetNoOfSetPoints(); ++i) {
        const double v = GetDataSI(i);
        if (v > MaxValue)
            MaxValue = v;
        else if (v < MinValue)
            MinValue = v;
    }
}

MyAnsiString TCurve::GetDataString(int Index, TUnitSystem US) const {
    CheckIndex(Index, "GetDataString");
    const TDeviceUnit& y = YUnit();
    return y.IntToValStr(US, y.ValToInt(usSI, GetDataSI(Index)));
}

// ------------------------------------------------------------------ building

void TCurve::InitCurve(TCurveWizard& AWizard, std::int32_t ACurveID, std::int32_t ANoOfSetPoints,
                       std::int32_t AXYDimCode, std::int32_t AXDimUUID, std::int32_t AYDimUUID, bool CalcNew) {
    SetDataOffset(InfoBlockSize);
    SetObjType(AXYDimCode * 256 + 3);
    SetNoOfSetPoints(ANoOfSetPoints);
    SetID(ACurveID);
    SetCurveName(GetName());
    SetXDimUUID(AXDimUUID);
    SetYDimUUID(AYDimUUID);
    SetXLength(AWizard.FXLength);
    SetWizardType(AWizard.FWizardType);
    int i = 0;
    for (; i < AWizard.GetNoOfWizardPars() && i < 7; ++i) SetWizardParSIValue(i, AWizard.GetParSIValue(i));
    for (; i < 7; ++i) SetWizardParIntValue(i, 0);
    if (CalcNew && AWizard.FWizardCaption != "FromFile...") AWizard.CalcSetpoints(GetNoOfSetPoints(), *this);
}

void TCurve::InitJoinCurve(const TCurve& SourceCurve, std::int32_t NoOfSetPointsProposal, double NewXLength) {
    SetDataOffset(SourceCurve.GetDataOffset());
    SetObjType(SourceCurve.GetObjType());
    SetDataTypeSize(SourceCurve.GetDataTypeSize());
    SetXDimUUID(SourceCurve.GetXDimUUID());
    SetYDimUUID(SourceCurve.GetYDimUUID());
    SetNoOfSetPoints(NoOfSetPointsProposal);
    SetID(1);
    SetName("Joined Curve");
    SetCurveName("Joined Curve");
    SetXLength(NewXLength);
    SetWizardType(SourceCurve.GetManualWizardType());
    SetWizardParSIValue(0, NewXLength);
    for (int i = 1; i < 7; ++i) SetWizardParIntValue(i, 0);
}

// ------------------------------------------------------------------ interpolation

double TCurve::GetInterpolatedValue(double ActualX) const {
    const std::int32_t n = GetNoOfSetPoints();
    const double p = static_cast<double>(n - 1) * ActualX / GetXLength();
    const double i = std::trunc(p);
    if (!(i < static_cast<double>(n - 1))) return GetDataSI(n - 1);
    const int k = static_cast<int>(i);
    const double a = GetDataSI(k), b = GetDataSI(k + 1);
    return a + (b - a) * (p - i);
}

std::int32_t TCurve::GetInterpolatedIntValue(double ActualX) const {
    const std::int32_t n = GetNoOfSetPoints();
    const double p = static_cast<double>(n - 1) * ActualX / GetXLength();
    const double i = std::trunc(p);
    if (!(i < static_cast<double>(n - 1))) return GetDataInt(n - 1);
    const int k = static_cast<int>(i);
    const double a = GetDataInt(k), b = GetDataInt(k + 1);
    return static_cast<std::int32_t>(Nearest(a + (b - a) * (p - i)));
}

// ------------------------------------------------------------------ drive blocks and export

namespace {
template <std::size_t N>
void Put(std::array<std::uint8_t, N>& b, std::size_t At, std::int64_t v, int Bytes) {
    for (int k = 0; k < Bytes; ++k) b[At + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(v >> (8 * k));
}
} // namespace

std::array<std::uint8_t, TCurve::InfoBlockSize> TCurve::InfoBlock() const {
    std::array<std::uint8_t, InfoBlockSize> b{};
    const TSLDictionary& i = *FInfo;
    Put(b, 0, i.GetIntWithName("DataOffset"), 2);
    Put(b, 2, i.GetIntWithName("ObjType"), 2);
    Put(b, 4, i.GetIntWithName("NoOfSetPoints"), 2);
    Put(b, 6, i.GetIntWithName("DataTypeSize"), 2);
    const MyAnsiString name = GetCurveName();
    for (std::size_t k = 0; k < name.size() && k < MaxNameBytes; ++k) b[8 + k] = static_cast<std::uint8_t>(name[k]);
    Put(b, 30, i.GetIntWithName("ID"), 2);
    Put(b, 32, i.GetIntWithName("XLength"), 4);
    Put(b, 36, i.GetIntWithName("XDimUUID"), 2);
    Put(b, 38, i.GetIntWithName("YDimUUID"), 2);
    Put(b, 40, i.GetIntWithName("WizardType"), 2);
    for (int k = 0; k < 7; ++k) Put(b, 42 + 4 * static_cast<std::size_t>(k), i.GetIntWithName(ParNames[k]), 4);
    return b;
}

std::vector<std::uint8_t> TCurve::DataBlock() const {
    const int n = GetNoOfSetPoints(), size = GetDataTypeSize();
    std::vector<std::uint8_t> b;
    if (n <= 0 || size <= 0) return b;
    b.reserve(static_cast<std::size_t>(n) * static_cast<std::size_t>(size));
    for (int i = 0; i < n; ++i) {
        const std::int64_t v = GetDataInt(i);
        for (int k = 0; k < size; ++k) b.push_back(static_cast<std::uint8_t>(k < 8 ? v >> (8 * k) : (v < 0 ? 0xFF : 0)));
    }
    return b;
}

namespace {
void HexLines(const std::uint8_t* p, std::size_t n, std::vector<MyAnsiString>& Out) {
    for (std::size_t at = 0; at < n; at += 4) {
        char line[16];
        std::uint8_t w[4] = {0, 0, 0, 0};
        for (std::size_t k = 0; k < 4 && at + k < n; ++k) w[k] = p[at + k];
        std::snprintf(line, sizeof line, "%02X%02X%02X%02Xh", w[3], w[2], w[1], w[0]);
        Out.emplace_back(line);
    }
}
} // namespace

std::vector<MyAnsiString> TCurve::RawDataLines() const {
    const auto info = InfoBlock();
    const auto data = DataBlock();
    std::vector<MyAnsiString> l;
    l.emplace_back("");
    l.emplace_back("@StartObject,Curve");
    l.push_back("@CurveName," + GetCurveName());
    l.push_back("@CurveID," + std::to_string(GetID()));
    l.push_back("@InfoBlockByteSize," + std::to_string(GetDataOffset()));
    l.push_back("@DataBlockByteSize," +
                std::to_string(static_cast<std::int64_t>(GetNoOfSetPoints()) * GetDataTypeSize()));
    l.emplace_back("@StartInfo");
    l.emplace_back("@Value");
    HexLines(info.data(), info.size(), l);
    l.emplace_back("@EndInfo");
    l.emplace_back("@StartData");
    l.emplace_back("@Value");
    HexLines(data.data(), data.size(), l);
    l.emplace_back("@EndData");
    l.emplace_back("@EndObject");
    return l;
}

void TCurve::WriteRawDataToFile(const MyAnsiString& FileName) const {
    const std::filesystem::path path = StoredPathToRealPath(FileName);
    if (!std::filesystem::is_regular_file(path))
        throw Exception("I/O error: file '" + FileName + "' not found");
    std::ofstream f(path, std::ios::binary | std::ios::app);
    if (!f) throw Exception("I/O error: cannot open '" + FileName + "' for appending");
    for (const MyAnsiString& line : RawDataLines()) {
        f << line << "\r\n";
        if (!f) throw Exception("I/O error: cannot write '" + FileName + "'");
    }
}

} // namespace vo
