#include "curves/CurWizar.h"

#include <cmath>
#include <limits>
#include <numbers>

#include "curves/Curve.h"
#include "kernel/UserPrompt.h"
#include "parameters/UniMan.h"
#include "parameters/UniSrv.h"
#include "platform/Exception.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"
#include "storagelib/SL20Sto.h"

namespace vo {

namespace {

constexpr double Pi = std::numbers::pi;
constexpr const char* RangeError = "Range Error!\r\r";

const TSLDictionary& AsDictionary(TSLObject* Obj) {
    auto* d = dynamic_cast<TSLDictionary*>(Obj);
    if (!d) throw EInvalidCast();
    return *d;
}

const TSLArray& AsArray(TSLObject* Obj) {
    auto* a = dynamic_cast<TSLArray*>(Obj);
    if (!a) throw EInvalidCast();
    return *a;
}

double Number(const TSLDictionary& d, const char* Name) {
    return SLCast<TSLNumber>(d.GetObjWithName(Name))->GetDoubleValue();
}

double Sign(double v) { return v > 0 ? 1.0 : (v < 0 ? -1.0 : 0.0); }

// X of point i of N over the length X.
inline double XAt(double X, std::int32_t i, std::int32_t N) {
    return N > 1 ? X * static_cast<double>(i) / static_cast<double>(N - 1) : 0.0;
}

} // namespace

const TDeviceUnit* TUnitServiceUnits::GetUnitWithUUID(std::int32_t UUID) const {
    return FService.GetUnitWithUUID(UUID);
}

const TDeviceUnit& CurveUnit(const TCurveUnits* Units, std::int32_t UUID) {
    const TDeviceUnit* u = Units ? Units->GetUnitWithUUID(UUID) : nullptr;
    return u ? *u : IdentityDeviceUnit();
}

double Nearest(double Value) { return std::nearbyint(Value); }

// ------------------------------------------------------------------ base

TCurveWizard::TCurveWizard(const MyAnsiString& FileName, const MyAnsiString& WizardName) : FWizardName(WizardName) {
    try {
        TStorageManager* m = StorageManager();
        if (!m) throw Exception(MyAnsiString(ClassName()) + ".CreateNew: no storage manager");
        TRef<TSLStorageObject> o = m->GetObject(FileName, saRead);
        o->Read();
        TRef<TSLObject> data = o->GetData();
        LoadEntry(AsDictionary(data.Get()), WizardName);
    } catch (const std::exception& e) {
        ShowMessage(e.what());
    }
}

TCurveWizard::TCurveWizard(const TSLDictionary* File, const MyAnsiString& WizardName) : FWizardName(WizardName) {
    if (!File) return;
    try {
        LoadEntry(*File, WizardName);
    } catch (const std::exception& e) {
        ShowMessage(e.what());
    }
}

void TCurveWizard::LoadEntry(const TSLDictionary& File, const MyAnsiString& WizardName) {
    const TSLArray& entries = AsArray(File.GetObjWithName("WizardTypeArray"));
    for (int i = 0; i < entries.GetCount(); ++i) {
        const TSLDictionary& e = AsDictionary(entries.GetObjAtIndex(i));
        if (e.GetStrWithName("Name") != WizardName) continue;
        FWizardName = e.GetStrWithName("Name");
        FWizardCaption = e.GetStrWithName("Caption");
        FWizardType = static_cast<std::int32_t>(e.GetIntWithName("ID") * 256 + 1);
        FWizardParameters.clear();
        FInfoValues.clear();
        const TSLArray& pars = AsArray(e.GetObjWithName("Parameters"));
        for (int k = 0; k < pars.GetCount(); ++k) {
            const TSLDictionary& p = AsDictionary(pars.GetObjAtIndex(k));
            TWizardPar w;
            w.Name = p.GetStrWithName("Name");
            w.Caption = p.GetStrWithName("Caption");
            w.ParUUID = static_cast<std::int32_t>(p.GetIntWithName("ParUUID"));
            w.DefaultValue = Number(p, "DefaultValue");
            w.MinValue = Number(p, "MinValue");
            w.MaxValue = Number(p, "MaxValue");
            FWizardParameters.push_back(std::move(w));
        }
        const TSLArray& infos = AsArray(e.GetObjWithName("UserInfo"));
        for (int k = 0; k < infos.GetCount(); ++k) {
            const TSLDictionary& p = AsDictionary(infos.GetObjAtIndex(k));
            TInfoValue v;
            v.Name = p.GetStrWithName("Name");
            v.Caption = p.GetStrWithName("Caption");
            v.ParUUID = static_cast<std::int32_t>(p.GetIntWithName("ParUUID"));
            FInfoValues.push_back(std::move(v));
        }
    }
}

MyAnsiString TCurveWizard::GetParCaption(int i) const {
    const TWizardPar* p = GetPar(i);
    return p ? p->Caption : MyAnsiString();
}
MyAnsiString TCurveWizard::GetInfoValueCaption(int i) const {
    return i >= 0 && i < GetNoOfInfoValues() ? FInfoValues[static_cast<std::size_t>(i)].Caption : MyAnsiString();
}
std::int32_t TCurveWizard::GetParUUID(int i) const {
    const TWizardPar* p = GetPar(i);
    return p ? p->ParUUID : 0;
}
std::int32_t TCurveWizard::GetInfoValueUUID(int i) const {
    return i >= 0 && i < GetNoOfInfoValues() ? FInfoValues[static_cast<std::size_t>(i)].ParUUID : 0;
}
double TCurveWizard::GetParDefaultValue(int i) const {
    const TWizardPar* p = GetPar(i);
    return p ? p->DefaultValue : 0.0;
}
double TCurveWizard::GetParSIValue(int i) const {
    const TWizardPar* p = GetPar(i);
    return p ? p->Value : 0.0;
}
double TCurveWizard::GetInfoSIValue(int i) const {
    return i >= 0 && i < GetNoOfInfoValues() ? FInfoValues[static_cast<std::size_t>(i)].Value : 0.0;
}
const TWizardPar* TCurveWizard::GetPar(int i) const {
    return i >= 0 && i < GetNoOfWizardPars() ? &FWizardParameters[static_cast<std::size_t>(i)] : nullptr;
}

void TCurveWizard::SetInfo(int i, double Value) {
    if (i >= 0 && i < GetNoOfInfoValues()) FInfoValues[static_cast<std::size_t>(i)].Value = Value;
}

std::int32_t TCurveWizard::Proposal(double Duration, std::int32_t Max) {
    double n = Nearest(Duration / 0.001) + 1.0;
    if (n < 2.0) n = 2.0;
    if (n > static_cast<double>(Max)) n = static_cast<double>(Max);
    return static_cast<std::int32_t>(n);
}

void TCurveWizard::RequireFinite(std::initializer_list<double> Values) {
    for (double v : Values)
        if (!std::isfinite(v)) throw Exception("Invalid floating point operation");
}

void TCurveWizard::CheckParameters(const std::vector<MyAnsiString>& Texts, const TCurveUnits* Units) {
    const TUnitSystem us = UnitManager().GetUnitSystem();
    for (int i = 0; i < GetNoOfWizardPars(); ++i) {
        TWizardPar& p = FWizardParameters[static_cast<std::size_t>(i)];
        const TDeviceUnit& unit = CurveUnit(Units, p.ParUUID);
        const MyAnsiString text = i < static_cast<int>(Texts.size()) ? Texts[static_cast<std::size_t>(i)] : "";
        const double v = unit.IntToVal(usSI, unit.ValStrToInt(text, us));
        // Values within a billionth of a raw step of a limit are on it.
        const double tol = 1e-9 * std::fabs(unit.IntToVal(usSI, 1) - unit.IntToVal(usSI, 0));
        if (v < p.MinValue - tol || v > p.MaxValue + tol) {
            const MyAnsiString caption = unit.GetUnitCaption(us);
            throw Exception("Parameter '" + p.Caption + "' out of Range!\r\rMinimal Value: " +
                            unit.IntToValStr(us, unit.ValToInt(usSI, p.MinValue)) + " " + caption +
                            "\rMaximal Value: " + unit.IntToValStr(us, unit.ValToInt(usSI, p.MaxValue)) + " " +
                            caption + "\r");
        }
        p.Value = v;
    }
}

bool TCurveWizard::DataCheck(const std::vector<MyAnsiString>& FParEditList, const TCurveUnits* UnitService,
                             std::int32_t MaxNumOfPoints) {
    try {
        CheckParameters(FParEditList, UnitService);
        Check(UnitService, MaxNumOfPoints);
        RequireFinite({FXLength});
        for (const TInfoValue& v : FInfoValues) RequireFinite({v.Value});
        return true;
    } catch (const std::exception& e) {
        MessageDlg(e.what(), TMsgDlgType::mtError, {TMsgDlgBtn::mbOK});
        return false;
    }
}

void TCurveWizard::Check(const TCurveUnits*, std::int32_t) {}

void TCurveWizard::CalcPoints(std::int32_t, std::vector<double>&) const {
    throw Exception(MyAnsiString(ClassName()) + ".CalcSetPoints");
}

void TCurveWizard::CalcSIPoints(std::int32_t NoOfSetPoints, std::vector<double>& Out) const {
    Out.clear();
    if (NoOfSetPoints <= 0) return;
    Out.reserve(static_cast<std::size_t>(NoOfSetPoints));
    CalcPoints(NoOfSetPoints, Out);
}

std::vector<double> TCurveWizard::CalcSIPoints(std::int32_t NoOfSetPoints) const {
    std::vector<double> out;
    CalcSIPoints(NoOfSetPoints, out);
    return out;
}

void TCurveWizard::CalcSetpoints(std::int32_t NoOfSetPoints, TCurve& Curve) {
    // One buffer for every calculation: a fresh one of a long curve costs
    // more in page faults than the formula does.
    thread_local std::vector<double> points;
    CalcSIPoints(NoOfSetPoints, points);
    Curve.ReplaceSIData(points);
}

// ------------------------------------------------------------------ sine

void TSineWizard::Check(const TCurveUnits*, std::int32_t Max) {
    const double T = P(0);
    StartPoint = P(1);
    EndPoint = P(2);
    const double d = EndPoint - StartPoint;
    const double v = Pi * d / (2 * T);
    SetInfo(0, d);
    SetInfo(1, v);
    SetInfo(2, std::fabs(v) * Pi / T);
    RequireFinite({v, std::fabs(v) * Pi / T});
    FXLength = T;
    FNoOfSetPointsProposal = Proposal(T, Max);
}

void TSinPosIncWizard::Check(const TCurveUnits*, std::int32_t Max) {
    const double n = P(0), L = P(1);
    StartPoint = P(2);
    EndPoint = P(3);
    const double t = L / n, d = EndPoint - StartPoint, v = Pi * d / (2 * t);
    SetInfo(0, t);
    SetInfo(1, d);
    SetInfo(2, v);
    SetInfo(3, std::fabs(v) * Pi / t);
    RequireFinite({t, v, std::fabs(v) * Pi / t});
    FXLength = L;
    FNoOfSetPointsProposal = Proposal(t, Max);
}

void TSineWizard::CalcPoints(std::int32_t N, std::vector<double>& Out) const {
    const double d = EndPoint - StartPoint;
    const double k = N > 1 ? Pi / static_cast<double>(N - 1) : 0.0;
    for (std::int32_t i = 0; i < N; ++i)
        Out.push_back(StartPoint + (d / 2) * (1 + std::sin(k * static_cast<double>(i) - Pi / 2)));
}

// ------------------------------------------------------------------ point to point

void TPToPWizard::Check(const TCurveUnits* Units, std::int32_t Max) {
    StartPoint = P(0);
    EndPoint = P(1);
    MaxVel = P(2);
    StartAcc = P(3);
    EndDec = P(4);
    if (StartPoint == EndPoint) throw Exception(MyAnsiString(RangeError) + "Stroke must not be zero!");
    const double v = MaxVel, a = StartAcc, b = EndDec, D = std::fabs(EndPoint - StartPoint);
    s_a = v * v / (2 * a);
    const double s_b = v * v / (2 * b);
    if (s_a + s_b < D) {
        v_c = v;
        t_a = v / a;
        t_c = (D - s_a - s_b) / v;
        T = t_a + v / b + t_c;
    } else {
        v_c = std::sqrt(D * 2 * a / (a / b + 1));
        t_a = std::sqrt(2 * D / ((a / b + 1) * a));
        t_c = 0;
        T = std::sqrt(2 * D * (a / b + 1) / a);
    }
    RequireFinite({s_a, v_c, t_a, t_c, T});
    const TDeviceUnit& unit = CurveUnit(Units, GetInfoValueUUID(0));
    const std::int64_t raw = unit.ValToInt(usSI, T);
    if (raw > std::numeric_limits<std::int32_t>::max()) {
        const TUnitSystem us = UnitManager().GetUnitSystem();
        throw Exception("Curve lenght " + unit.IntToValStr(us, unit.ValToInt(usSI, unit.IntToVal(usSI, raw))) +
                        " " + unit.GetUnitCaption(us) +
                        ". Curve is too slow! Please change velocity, acceleration  or the stroke!");
    }
    SetInfo(0, T);
    SetInfo(1, EndPoint - StartPoint);
    SetInfo(2, Sign(EndPoint - StartPoint) * v_c);
    FXLength = T;
    FNoOfSetPointsProposal = Proposal(T, Max);
}

void TPToPWizard::CalcPoints(std::int32_t N, std::vector<double>& Out) const {
    const double sg = Sign(EndPoint - StartPoint);
    for (std::int32_t i = 0; i < N; ++i) {
        const double t = XAt(T, i, N);
        if (t < t_a)
            Out.push_back(StartPoint + sg * (StartAcc / 2) * t * t);
        else if (t < t_a + t_c)
            Out.push_back(StartPoint + sg * (s_a + v_c * (t - t_a)));
        else
            Out.push_back(EndPoint - sg * (EndDec / 2) * (T - t) * (T - t));
    }
}

// ------------------------------------------------------------------ minimum jerk

void TMinJerkWizard::Check(const TCurveUnits*, std::int32_t Max) {
    CurveLength = P(0);
    StartPoint = P(1);
    EndPoint = P(2);
    const double T = CurveLength, d = EndPoint - StartPoint;
    SetInfo(0, d);
    SetInfo(1, 2 * d / T);
    SetInfo(2, 8 * std::fabs(d) / (T * T));
    SetInfo(3, 32 * std::fabs(d) / (T * T * T));
    RequireFinite({2 * d / T, 8 * std::fabs(d) / (T * T), 32 * std::fabs(d) / (T * T * T)});
    FXLength = T;
    FNoOfSetPointsProposal = Proposal(T, Max);
}

void TMinJerkPosIncWizard::Check(const TCurveUnits*, std::int32_t Max) {
    const double n = P(0);
    CurveLength = P(1);
    StartPoint = P(2);
    EndPoint = P(3);
    const double t = CurveLength / n, d = EndPoint - StartPoint;
    SetInfo(0, t);
    SetInfo(1, d);
    SetInfo(2, 2 * d / t);
    SetInfo(3, 8 * std::fabs(d) / (t * t));
    SetInfo(4, 32 * std::fabs(d) / (t * t * t));
    RequireFinite({t, 2 * d / t, 8 * std::fabs(d) / (t * t), 32 * std::fabs(d) / (t * t * t)});
    FXLength = CurveLength;
    FNoOfSetPointsProposal = Proposal(t, Max);
}

void TMinJerkWizard::CalcPoints(std::int32_t N, std::vector<double>& Out) const {
    const double T = CurveLength, d = EndPoint - StartPoint, D = std::fabs(d), sg = Sign(d);
    const double j = 32 * D / (T * T * T), tau = T / 4, A = 8 * D / (T * T), V = D / T;
    const double j6 = j / 6;
    const double P1 = StartPoint + sg * j6 * tau * tau * tau;
    const double P3 = EndPoint - sg * j6 * tau * tau * tau;
    for (std::int32_t i = 0; i < N; ++i) {
        const double t = XAt(T, i, N);
        if (t < tau) {
            Out.push_back(StartPoint + sg * j6 * t * t * t);
        } else if (t < T / 2) {
            const double u = t - tau;
            Out.push_back(P1 + sg * (V * u + (A / 2) * u * u - j6 * u * u * u));
        } else if (t < 3 * T / 4) {
            const double u = 3 * T / 4 - t;
            Out.push_back(P3 - sg * (V * u + (A / 2) * u * u - j6 * u * u * u));
        } else {
            const double u = T - t;
            Out.push_back(EndPoint - sg * j6 * u * u * u);
        }
    }
}

// ------------------------------------------------------------------ jerk limited

void TLimitJerkWizard::Check(const TCurveUnits*, std::int32_t Max) {
    StartPoint = P(0);
    EndPoint = P(1);
    v_Max = P(2);
    a_Acc = P(3);
    a_Dec = P(4);
    r = P(5);
    if (StartPoint == EndPoint) throw Exception(MyAnsiString(RangeError) + "Stroke must not be zero!");
    const double d = EndPoint - StartPoint;
    S = std::fabs(d);
    Sgn = d >= 0 ? 1 : -1;
    a_n = a_Acc < a_Dec ? a_Acc : a_Dec;
    a_x = a_Acc > a_Dec ? a_Acc : a_Dec;
    v_G1 = std::pow(r * r * S / 2, 2.0 / 3.0) / r;
    const double g2 = std::sqrt(a_n * a_n + 4 * std::sqrt(2.0) * r * std::sqrt(S * a_n)) - a_n;
    v_G2 = g2 * g2 / (4 * r);
    const double C = std::sqrt((8 * S * r * r + a_x * a_x * a_n + a_n * a_n * a_x) * a_n * a_x * (a_x + a_n));
    v_G3 = (C - a_n * a_x * (a_n + a_x)) / (2 * r * (a_n + a_x));
    v_Limit1 = a_n * a_n / r;
    v_Limit2 = a_x * a_x / r;
    v_G = v_G1 < v_Limit1 ? v_G1 : (v_G2 < v_Limit2 ? v_G2 : v_G3);
    v_P = v_G < v_Max ? v_G : v_Max;
    auto stroke = [&](double a) {
        return a * a / r > v_P ? std::pow(r * v_P, 1.5) / (r * r) : (v_P * v_P * r + a * a * v_P) / (2 * r * a);
    };
    s_Acc = stroke(a_Acc);
    s_Dec = stroke(a_Dec);
    s_Con = v_Max > v_G ? 0.0 : S - s_Acc - s_Dec;
    a_G = std::sqrt(r * v_P);
    a_P1 = a_G < a_Acc ? a_G : a_Acc;
    a_P2 = a_G < a_Dec ? a_G : a_Dec;
    t1 = a_P1 / r;
    t2 = v_P / a_P1;
    t3 = a_P1 / r + t2;
    t4 = s_Con / v_P + t3;
    t5 = a_P2 / r + t4;
    t6 = v_P / a_P2 + t4;
    t7 = a_P2 / r + t6;
    CurveLength = t7;
    RequireFinite({v_G, v_P, s_Acc, s_Dec, s_Con, a_P1, a_P2, t1, t2, t3, t4, t5, t6, t7});
    SetInfo(0, t7);
    SetInfo(1, d);
    SetInfo(2, Sgn * v_P);
    SetInfo(3, a_P1);
    SetInfo(4, a_P2);
    FXLength = t7;
    FNoOfSetPointsProposal = Proposal(t7, Max);
}

void TLimitJerkWizard::CalcPoints(std::int32_t N, std::vector<double>& Out) const {
    const double s1 = r * t1 * t1 * t1 / 6;
    const double s4 = s_Acc + s_Con;
    const double s5 = (t5 - t4) * v_P + s4 - r * (t5 - t4) * (t5 - t4) * (t5 - t4) / 6;
    const double v5 = v_P - r * (t7 - t6) * (t7 - t6) / 2;
    for (std::int32_t i = 0; i < N; ++i) {
        const double t = XAt(t7, i, N);
        double s;
        if (t < t1)
            s = r * t * t * t / 6;
        else if (t < t2)
            s = s1 + (r * t1 * t1 / 2) * (t - t1) + (a_Acc / 2) * (t - t1) * (t - t1);
        else if (t < t3)
            s = s_Acc - v_P * (t3 - t) + r * (t3 - t) * (t3 - t) * (t3 - t) / 6;
        else if (t < t4)
            s = s_Acc + v_P * (t - t3);
        else if (t < t5)
            s = s4 + v_P * (t - t4) - r * (t - t4) * (t - t4) * (t - t4) / 6;
        else if (t < t6)
            s = s5 + v5 * (t - t5) - (a_Dec / 2) * (t - t5) * (t - t5);
        else
            s = S - r * (t7 - t) * (t7 - t) * (t7 - t) / 6;
        Out.push_back(StartPoint + Sgn * s);
    }
}

// ------------------------------------------------------------------ standstill and manual

void TStandstillWizard::Check(const TCurveUnits*, std::int32_t) {
    FXLength = P(0);
    StandstillPoint = P(1);
    FNoOfSetPointsProposal = 2;
}

void TStandstillPosIncWizard::Check(const TCurveUnits*, std::int32_t) {
    FXLength = P(1);
    StandstillPoint = P(2);
    SetInfo(0, P(1) / P(0));
    FNoOfSetPointsProposal = 2;
}

void TStandstillWizard::CalcPoints(std::int32_t N, std::vector<double>& Out) const {
    Out.assign(static_cast<std::size_t>(N), StandstillPoint);
}

void TStandstillWizard::CalcSetpoints(std::int32_t NoOfSetPoints, TCurve& Curve) {
    Curve.ReplaceSIData(NoOfSetPoints, StandstillPoint);
}

void TManualWizard::Check(const TCurveUnits*, std::int32_t) {
    FXLength = P(0);
    FNoOfSetPointsProposal = 2;
}

void TManualWizard::CalcPoints(std::int32_t N, std::vector<double>& Out) const {
    Out.assign(static_cast<std::size_t>(N), 0.0);
}

void TManualWizard::CalcSetpoints(std::int32_t NoOfSetPoints, TCurve& Curve) { Curve.ReplaceSIData(NoOfSetPoints, 0.0); }

// ------------------------------------------------------------------ cams over master position

void TVALengthPosIncWizard::Check(const TCurveUnits*, std::int32_t Max) {
    NomEncSpeed = P(0);
    StartPoint = P(1);
    EndPoint = P(2);
    AccLength = P(3);
    ProportionalLength = P(4);
    DecLength = P(5);
    const double n = NomEncSpeed, La = AccLength, Lp = ProportionalLength, Ld = DecLength;
    const double L = La + Lp + Ld, D = La / 2 + Lp + Ld / 2, t = L / n, d = EndPoint - StartPoint;
    SetInfo(0, d);
    SetInfo(1, t);
    SetInfo(2, L);
    SetInfo(3, n * n * d / (D * La));
    SetInfo(4, n * d / D);
    SetInfo(5, n * n * d / (D * Ld));
    RequireFinite({t, d / D, n * n * d / (D * La), n * n * d / (D * Ld)});
    FXLength = L;
    FNoOfSetPointsProposal = Proposal(t, Max);
}

void TVALengthPosIncWizard::CalcPoints(std::int32_t N, std::vector<double>& Out) const {
    const double La = AccLength, Lp = ProportionalLength, Ld = DecLength;
    const double L = La + Lp + Ld, D = La / 2 + Lp + Ld / 2, k = (EndPoint - StartPoint) / D;
    const double P1 = StartPoint + (La / 2) * k;
    for (std::int32_t i = 0; i < N; ++i) {
        const double x = XAt(L, i, N);
        if (x < La)
            Out.push_back(StartPoint + (x * x / (2 * La)) * k);
        else if (x < La + Lp)
            Out.push_back(P1 + (x - La) * k);
        else
            Out.push_back(EndPoint - ((L - x) * (L - x) / (2 * Ld)) * k);
    }
}

void TConvSyncPosIncWizard::Check(const TCurveUnits*, std::int32_t Max) {
    NomEncSpeed = P(0);
    ConvVelocity = P(1);
    StartPoint = P(2);
    EndPoint = P(3);
    AccStroke = P(4);
    DecStroke = P(5);
    const double n = NomEncSpeed, w = ConvVelocity, Sa = AccStroke, Sd = DecStroke;
    const double d = EndPoint - StartPoint, D = std::fabs(d), sg = Sign(d);
    // Strokes that sum to the whole stroke within rounding leave no constant phase.
    if (Sa + Sd > D * (1 + 1e-12))
        throw Exception(MyAnsiString(RangeError) + GetParCaption(4) + " + " + GetParCaption(5) +
                        " has to be less than the desired stroke!");
    const double s_c = std::max(0.0, D - Sa - Sd);
    const double acc = sg * w * w / (2 * Sa), dec = sg * w * w / (2 * Sd);
    const double t_a = 2 * Sa / w, t_d = 2 * Sd / w, t_c = s_c / w;
    RequireFinite({acc, dec, t_a, t_d, t_c, t_a * n, t_d * n, t_c * n});
    const double L_c = Nearest(t_c * n), L_a = Nearest(t_a * n), L_d = Nearest(t_d * n);
    const double L = Nearest(L_a + L_d + L_c);
    if (!(L > 0)) throw Exception(MyAnsiString(RangeError) + "Cam Length must be greater than zero!");
    const double t = L / n;
    SetInfo(0, d);
    SetInfo(1, t);
    SetInfo(2, L);
    SetInfo(3, L_a);
    SetInfo(4, L_d);
    SetInfo(5, acc);
    SetInfo(6, dec);
    CamLength = L;
    FXLength = L;
    FNoOfSetPointsProposal = Proposal(t, Max);
}

void TConvSyncPosIncWizard::CalcPoints(std::int32_t N, std::vector<double>& Out) const {
    // The deceleration is refitted on copies so that every run gives the same points.
    const double n = NomEncSpeed, L = CamLength, Sa = AccStroke;
    const double sg = Sign(EndPoint - StartPoint);
    double w = ConvVelocity, Sd = DecStroke;
    const double x_a = 2 * Sa * n / w;
    double x_d = 2 * Sd * n / w;
    bool decelerating = false;
    for (std::int32_t i = 0; i < N; ++i) {
        const double x = XAt(L, i, N);
        if (!decelerating && x < x_a) {
            Out.push_back(StartPoint + sg * (x * x / (4 * Sa)) * (w / n) * (w / n));
        } else if (!decelerating && x < L - x_d) {
            Out.push_back(StartPoint + sg * Sa + sg * (x - x_a) * w / n);
        } else if (!decelerating) {
            decelerating = true;
            const double y = StartPoint + sg * Sa + sg * (x - x_a) * ConvVelocity / n;
            x_d = L - x;
            Sd = sg * (EndPoint - y);
            if (x_d <= 0 || Sd == 0) {
                Out.push_back(EndPoint);
                Sd = 0;
                continue;
            }
            w = 2 * Sd * n / x_d;
            Out.push_back(y);
        } else if (Sd == 0) {
            Out.push_back(EndPoint);
        } else {
            Out.push_back(EndPoint - sg * ((L - x) * (L - x) / (4 * Sd)) * (w / n) * (w / n));
        }
    }
}

} // namespace vo
