#include "curves/Curve.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <typeinfo>

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
    ObjData.SetObjWithName("Data", FData->CopyArray());
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

void TCurve::CheckIndex(int Index, const char* Method) const {
    if (Index < 0 || Index >= GetNoOfSetPoints() || Index >= FData->GetCount())
        throw Exception(CurveClassName() + "." + Method + ": index out of bounds.");
}

std::int32_t TCurve::GetDataInt(int Index) const {
    CheckIndex(Index, "GetData");
    return static_cast<std::int32_t>(SLCast<TSLNumber>(FData->GetObjAtIndex(Index))->GetLongintValue());
}

void TCurve::SetDataInt(int Index, std::int32_t Value) {
    CheckIndex(Index, "SetData");
    SLCast<TSLNumber>(FData->GetObjAtIndex(Index))->SetLongintValue(Value);
}

double TCurve::GetDataSI(int Index) const { return YUnit().IntToVal(usSI, GetDataInt(Index)); }

void TCurve::SetDataSI(int Index, double Value) {
    CheckIndex(Index, "SetData");
    SetDataInt(Index, ToRaw(YUnit(), Value));
    SetModified(true);
}

void TCurve::AddNewIntData(std::int32_t Value) { InsertNewIntData(FData->GetCount(), Value); }
void TCurve::AddNewSIData(double Value) { AddNewIntData(ToRaw(YUnit(), Value)); }

namespace {
// The raw values of SI values in a unit, with the rounding of ValToInt. A
// run of equal values (a standstill, a flat phase) is converted once.
std::vector<std::int32_t> RawValues(const TDeviceUnit& Unit, const std::vector<double>& Values) {
    const TUnitInfo si = Unit.GetUnitInfo(usSI);
    const double offset = si.Offset, scale = si.Scale;
    const auto rounded = [=](double V) { return std::rint((V - offset) / scale); }; // ties to even, as ValToInt
    const auto fits = [](double R) { return R >= -2147483648.0 && R <= 2147483647.0; };
    const std::size_t n = Values.size();
    std::vector<std::int32_t> raw(n);
    const double* in = Values.data();
    std::int32_t* out = raw.data();
    // No call in the loop: values out of range are only marked here.
    bool allFit = true;
    double last = std::numeric_limits<double>::quiet_NaN(); // equals no value
    std::int32_t lastRaw = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double v = in[i];
        if (v != last) {
            const double r = rounded(v);
            const bool ok = fits(r);
            allFit &= ok;
            lastRaw = ok ? static_cast<std::int32_t>(r) : 0;
            last = v;
        }
        out[i] = lastRaw;
    }
    if (!allFit)
        for (std::size_t i = 0; i < n; ++i)
            if (!fits(rounded(in[i]))) out[i] = ClampToInt32(Unit.ValToInt(usSI, in[i])); // raises
    return raw;
}
} // namespace

void TCurve::AddNewSIData(const std::vector<double>& Values) {
    const TDeviceUnit& y = YUnit();
    ToRaw(y, 0.0); // raises for a unit that cannot convert
    const std::vector<std::int32_t> raw = RawValues(y, Values);
    TSLArray& a = *FData;
    a.SetCapacity(a.GetCount() + static_cast<int>(raw.size()));
    for (const std::int32_t r : raw) a.InsObjAtIndex(a.GetCount(), new TSLLongint(r));
    SetNoOfSetPoints(a.GetCount());
    SetModified(true);
}

void TCurve::ReplaceSIData(const std::vector<double>& Values) {
    const TDeviceUnit& y = YUnit();
    ToRaw(y, 0.0);
    // Every value is converted before the first point changes: a value out
    // of range leaves the curve as it was.
    const std::vector<std::int32_t> raw = RawValues(y, Values);
    StoreRawPoints(raw.data(), 1, static_cast<int>(raw.size()));
}

void TCurve::ReplaceSIData(std::int32_t Count, double Value) {
    const TDeviceUnit& y = YUnit();
    ToRaw(y, 0.0);
    const std::int32_t raw = Count > 0 ? ToRaw(y, Value) : 0;
    StoreRawPoints(&raw, 0, std::max(Count, 0));
}

void TCurve::StoreRawPoints(const std::int32_t* Raw, std::size_t Step, int Count) {
    TSLArray& a = *FData;
    if (a.GetCount() > Count) a.SetCount(Count);
    a.SetCapacity(Count);
    const int kept = a.GetCount();
    const std::int32_t* r = Raw;
    for (int i = 0; i < kept; ++i, r += Step) {
        TSLObject* old = a.UncheckedAt(i);
        // a point object nobody else holds takes the new value in place
        if (old && old->GetRefCount() == 1 && typeid(*old) == typeid(TSLLongint))
            static_cast<TSLLongint*>(old)->TSLLongint::SetLongintValue(*r);
        else
            a.SetObjAtIndex(i, new TSLLongint(*r));
    }
    for (int i = kept; i < Count; ++i, r += Step) a.InsObjAtIndex(i, new TSLLongint(*r));
    SetNoOfSetPoints(a.GetCount());
    if (Count > 0) SetModified(true);
}

void TCurve::InsertNewIntData(int Index, std::int32_t Value) {
    FData->InsObjAtIndex(Index, new TSLLongint(Value));
    SetNoOfSetPoints(FData->GetCount());
    SetModified(true);
}

void TCurve::InsertNewSIData(int Index, double Value) { InsertNewIntData(Index, ToRaw(YUnit(), Value)); }

void TCurve::RemoveDataAtIndex(int Index) {
    FData->DelObjAtIndex(Index);
    SetNoOfSetPoints(FData->GetCount());
    SetModified(true);
}

void TCurve::ClearDataArray() {
    FData->Clear();
    SetNoOfSetPoints(0);
}

std::int32_t TCurve::GetStartPointInt() const { return GetDataInt(0); }

std::int32_t TCurve::GetEndPointInt() const {
    const int n = FData->GetCount();
    if (n == 0) throw Exception(CurveClassName() + ".GetData: index out of bounds.");
    return static_cast<std::int32_t>(SLCast<TSLNumber>(FData->GetObjAtIndex(n - 1))->GetLongintValue());
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
