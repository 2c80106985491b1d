// The motor wizard's calculation procedures: the data of a linear motor from
// the geometry of its slider and stator, the position limits and distances
// that follow from where the user places the slider, cables, feed-forward
// and control values, and the data of rotary EC and DC motors.
//
// Each procedure first finds every item it needs; when the definition file
// lacks one, a single error line names procedure and item and nothing
// changes.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numbers>

#include "kernel/LanguageMan.h"
#include "motorwizard/MotWizMan.h"
#include "motorwizard/WizTree.h"
#include "parameters/UniMan.h"
#include "parameters/UniSrv.h"

namespace vo {

// Finds the items of one procedure run; the first missing one is reported.
class TProcItems {
public:
    TProcItems(TMotWizManager& M, const char* Proc) : FMan(M), FProc(Proc) {}

    bool Ok() const noexcept { return FOk; }

    TWizParDouble* ParD(const char* Name) { return Need<TWizParDouble>(FMan.GetWizParWithName(Name), Name); }
    TWizParEnum* ParE(const char* Name) { return Need<TWizParEnum>(FMan.GetWizParWithName(Name), Name); }
    TWizValDouble* ValD(const char* Name) { return Need<TWizValDouble>(FMan.GetWizValWithName(Name), Name); }
    TWizValString* ValS(const char* Name) { return Need<TWizValString>(FMan.GetWizValWithName(Name), Name); }
    TWizValInteger* ValI(const char* Name) { return Need<TWizValInteger>(FMan.GetWizValWithName(Name), Name); }
    // Items the procedure can do without: nullptr when absent.
    TWizValDouble* OptValD(const char* Name) { return dynamic_cast<TWizValDouble*>(FMan.GetWizValWithName(Name)); }
    TWizParEnum* OptParE(const char* Name) { return dynamic_cast<TWizParEnum*>(FMan.GetWizParWithName(Name)); }

private:
    template <class T, class Item>
    T* Need(Item* I, const char* Name) {
        T* t = dynamic_cast<T*>(I);
        if (!t && FOk) {
            FOk = false;
            FMan.Error(MyAnsiString(FProc) + ": the definition file has no fitting item \"" + Name +
                       "\"; nothing is calculated");
        }
        return t;
    }

    TMotWizManager& FMan;
    const char* FProc;
    bool FOk = true;
};

namespace {

// Rounded to the nearest multiple of 10^-10, a half to the even one.
double Round10(double V) { return std::nearbyint(V * 1e10) / 1e10; }

// The low 32 bits of an enumeration's recommended value.
std::int32_t Low32(const TWizParEnum& E) { return static_cast<std::int32_t>(E.FRuleValue & 0xFFFFFFFF); }

// Bits 16..31 all set: a slider of user-defined length.
bool UserDefinedSlider(const TWizParEnum& Slider) { return ((Slider.FRuleValue >> 16) & 0xFFFF) == 0xFFFF; }

} // namespace

void TMotWizManager::RegisterProcedures() {
    const std::pair<const char*, void (TMotWizManager::*)()> bodies[] = {
        {"CalculateMotorProperty", &TMotWizManager::CalculateMotorProperty},
        {"CalculateMotorPropertyTolvar", &TMotWizManager::CalculateMotorPropertyTolvar},
        {"CalculateMotorPropertyLinRot", &TMotWizManager::CalculateMotorPropertyLinRot},
        {"CalculateMotorPropertyLinRotG2", &TMotWizManager::CalculateMotorPropertyLinRotG2},
        {"CalculateMotorProperty_Brenno", &TMotWizManager::CalculateMotorPropertyBrenno},
        {"CalculateMotorPropertyK52", &TMotWizManager::CalculateMotorPropertyK52},
        {"BuildModuleActuatorName", &TMotWizManager::BuildModuleActuatorName},
        {"CalculateStrokeRange", &TMotWizManager::CalculateStrokeRange},
        {"CalculateStrokeRange_Brenno", &TMotWizManager::CalculateStrokeRangeBrenno},
        {"CalculateStrokeRangeK52", &TMotWizManager::CalculateStrokeRangeK52},
        {"CalculateStrokeRangeLinRotG2", &TMotWizManager::CalculateStrokeRangeLinRotG2},
        {"CalculateModuleStrokeRange", &TMotWizManager::CalculateModuleStrokeRange},
        {"SetDistanceA", &TMotWizManager::SetDistanceA},
        {"SetDistanceB", &TMotWizManager::SetDistanceB},
        {"SetDistanceAK52", &TMotWizManager::SetDistanceAK52},
        {"SetDistanceBK52", &TMotWizManager::SetDistanceBK52},
        {"SetDistanceALinRotG2", &TMotWizManager::SetDistanceALinRotG2},
        {"SetDistanceBLinRotG2", &TMotWizManager::SetDistanceBLinRotG2},
        {"CalculateCableResistance", &TMotWizManager::CalculateCableResistance},
        {"CalculateCableResistance_Brenno", &TMotWizManager::Calculate3PhCableResistance},
        {"Calculate3PhCableResistance", &TMotWizManager::Calculate3PhCableResistance},
        {"Calculate1PhCableResistance", &TMotWizManager::Calculate1PhCableResistance},
        {"CalculateFFValues", &TMotWizManager::CalculateFFValues},
        {"CalculateControlParameters", &TMotWizManager::CalculateControlParameters},
        {"ChangeExtSensorType", &TMotWizManager::ChangeExtSensorType},
        {"CalculateECMotorTypeAProperty", &TMotWizManager::CalculateECMotorTypeAProperty},
        {"CalculateECMotorTypeBProperty", &TMotWizManager::CalculateECMotorTypeBProperty},
        {"ChangeECMotorCountDirection", &TMotWizManager::ChangeECMotorCountDirection},
        {"SetExtSensor_Resolution2", &TMotWizManager::SetExtSensorResolution2},
        {"SetFBOnX3PeriodLength", &TMotWizManager::SetFBOnX3PeriodLength},
        {"LinRotUpdatePageVisibility", &TMotWizManager::LinRotUpdatePageVisibility},
        {"CalculateDCMotorProperty", &TMotWizManager::CalculateDCMotorProperty},
    };
    for (const auto& [name, method] : bodies) SetProcedureMethod(name, [this, m = method] { (this->*m)(); });
}

namespace {

// Recommended, default and (outside the start) drive value.
void Recommend(TWizParDouble& P, double X, bool Initializing) {
    P.FRuleValue = X;
    P.FDefaultValue = X;
    if (!Initializing)
        P.FTreeValue = X;
}

// Recommended and (outside the start) drive value; the default stays.
void Propose(TWizParDouble& P, double X, bool Initializing) {
    P.FRuleValue = X;
    if (!Initializing)
        P.FTreeValue = X;
}

// V in the drive unit's integer, shown in the metric system.
MyAnsiString MetricText(const TDeviceUnit& U, double V) { return U.IntToValStr(usMetric, U.ValToInt(usSI, V)); }

// The motor model's geometry inputs.
struct TMotorGeometry {
    TWizValDouble *SL, *SAL, *SEPL, *PP, *TAL, *TEPL, *TSL, *F, *StatorLength, *StatorMass;
    TWizValDouble *CompleteLength, *CompleteEndPiece, *CompleteMass, *RelEdge;
    TWizValString *PreName, *SDExt, *Ext, *Name;
    TWizParEnum* Direction;
    TWizParDouble *Zero, *SS, *MS, *FC, *EFC, *Home;
    TWizValDouble* TSP; // optional

    explicit TMotorGeometry(TProcItems& I)
        : SL(I.ValD("Slider_Length")), SAL(I.ValD("Slider_ActiveLength")), SEPL(I.ValD("Slider_EndPieceLength")),
          PP(I.ValD("Slider_PolePitch")), TAL(I.ValD("Stator_ActiveLength")), TEPL(I.ValD("Stator_EndPieceLength")),
          TSL(I.ValD("Stator_SensorLength")), F(I.ValD("Motor_FactorPerPolePitch")),
          StatorLength(I.ValD("Stator_Length")), StatorMass(I.ValD("Stator_Mass")),
          CompleteLength(I.ValD("Complete_Stator_Length")), CompleteEndPiece(I.ValD("Complete_Stator_EndPieceLength")),
          CompleteMass(I.ValD("Complete_Stator_Mass")), RelEdge(I.ValD("RelativeEdgeForce")),
          PreName(I.ValS("Motor_PreName")), SDExt(I.ValS("Motor_Name_SD_Extension")), Ext(I.ValS("Motor_Name_Extension")),
          Name(I.ValS("Motor_Name")), Direction(I.ParE("Slider_Direction")), Zero(I.ParD("Zero_Position")),
          SS(I.ParD("Shortened_Stroke")), MS(I.ParD("Maximal_Stroke")), FC(I.ParD("Force_Constant")),
          EFC(I.ParD("EdgeForce_Constant")), Home(I.ParD("HomeConf_SliderHomePosition")),
          TSP(I.OptValD("Stator_SensorPosition")) {}

    double Tsp() const { return TSP ? TSP->FValue : 0.0; }
    // The complete stator is the stator itself.
    void PlainStator() const {
        CompleteLength->FValue = StatorLength->FValue;
        CompleteEndPiece->FValue = TEPL->FValue;
        CompleteMass->FValue = StatorMass->FValue;
    }
    // The effective active length.
    double ActiveLength() const {
        return TAL->FValue + TSL->FValue > SAL->FValue ? SAL->FValue - TSL->FValue : TAL->FValue;
    }
};

// Force constant, edge force constant and the relative edge force from the
// strokes SS and MS.
void ForceConstants(TMotorGeometry& G, double AL, double SS, double MS, bool Initializing) {
    const double pp = G.PP->FValue;
    const double fc = pp > 0 ? AL / pp * G.F->FValue : 0.0;
    Recommend(*G.FC, fc, Initializing);
    const double efc = AL > 0 ? (1 - (MS - SS) / (2 * AL)) * fc : 0.0;
    Recommend(*G.EFC, efc, Initializing);
    G.RelEdge->FValue = fc > 0 ? efc / fc : 0.0;
}

// The zero position by the slider's direction, with the slider length SL and
// the stator end piece TEPL.
void ZeroPosition(TMotorGeometry& G, double SL, double TEPL, bool Initializing) {
    const double sal = G.SAL->FValue, sepl = G.SEPL->FValue;
    const double centre = (sal + G.TSL->FValue + G.TAL->FValue) / 2;
    switch (Low32(*G.Direction)) {
    case 0:
        G.Zero->FRuleValue = (SL - sepl - TEPL) - centre;
        break;
    case 1:
        G.Zero->FRuleValue = (sal + sepl - TEPL) - centre;
        break;
    default:
        break;
    }
    Recommend(*G.Zero, G.Zero->FRuleValue, Initializing);
}

// Prefix + stroke "x" stroke (metric texts of the unit U) + the
// extensions, Middle between them.
MyAnsiString MotorName(const TMotorGeometry& G, const TDeviceUnit& U, double First, double Second,
                       const MyAnsiString& Middle = {}) {
    return G.PreName->FValue + MetricText(U, First) + "x" + MetricText(U, Second) + G.SDExt->FValue + Middle +
        G.Ext->FValue;
}

void HomeLimits(TMotorGeometry& G) {
    const double z = G.Zero->FRuleValue, ms = G.MS->FRuleValue;
    G.Home->FMinValue = Round10(z - ms / 2);
    G.Home->FMaxValue = Round10(z + ms / 2);
}

} // namespace

void TMotWizManager::CalculateMotorProperty() {
    TProcItems items(*this, "CalculateMotorProperty");
    TMotorGeometry g(items);
    if (!items.Ok())
        return;
    g.PlainStator();
    const double al = g.ActiveLength();
    ZeroPosition(g, g.SL->FValue, g.TEPL->FValue, FInitializing);
    const double ss = std::fabs(g.SAL->FValue - g.TSL->FValue - g.TAL->FValue);
    Recommend(*g.SS, ss, FInitializing);
    const double ms = g.SAL->FValue - 3 * g.PP->FValue - 2 * g.Tsp();
    Recommend(*g.MS, ms, FInitializing);
    ForceConstants(g, al, ss, ms, FInitializing);
    HomeLimits(g);
    const TDeviceUnit& u = *FindUnit(g.SS->FUUID);
    g.Name->FValue = MotorName(g, u, g.SS->FDefaultValue, g.MS->FDefaultValue);
}

void TMotWizManager::CalculateMotorPropertyTolvar() {
    TProcItems items(*this, "CalculateMotorPropertyTolvar");
    TMotorGeometry g(items);
    TWizValDouble* sewl = items.ValD("Slider_EndPieceWeldLength");
    TWizParDouble* bearing = items.ParD("BearingLength");
    TWizParDouble* bearingMass = items.ParD("BearingMass");
    if (!items.Ok())
        return;
    const double bl = bearing->FRuleValue;
    if (bl != 0) {
        g.CompleteLength->FValue = g.StatorLength->FValue + 2 * bl;
        g.CompleteEndPiece->FValue = g.TEPL->FValue + bl;
        g.CompleteMass->FValue = g.StatorMass->FValue + 2 * bearingMass->FRuleValue;
    } else {
        g.PlainStator();
    }
    const double csl = g.CompleteLength->FValue, csepl = g.CompleteEndPiece->FValue;
    const double al = g.ActiveLength();
    double ss = std::fabs(g.SAL->FValue - g.TSL->FValue - g.TAL->FValue);
    double ms = g.SAL->FValue - 3 * g.PP->FValue - 2 * g.Tsp();
    if (bl != 0) {
        ss = std::max(0.0, std::min(ss, g.SL->FValue - csl - 2 * sewl->FValue));
        ms = ss;
    }
    Recommend(*g.SS, ss, FInitializing);
    Recommend(*g.MS, ms, FInitializing);
    if (bl != 0)
        Recommend(*g.Zero, ss / 2 + sewl->FValue, FInitializing);
    else
        ZeroPosition(g, g.SL->FValue, csepl, FInitializing);
    ForceConstants(g, al, ss, ms, FInitializing);
    HomeLimits(g);
    const TDeviceUnit& u = *FindUnit(g.SS->FUUID);
    if (bl > 0)
        g.Name->FValue = MotorName(g, u, g.SS->FDefaultValue, g.SS->FDefaultValue, "-L" + MetricText(u, bl));
    else
        g.Name->FValue = MotorName(g, u, g.SS->FDefaultValue, g.MS->FDefaultValue);
}

void TMotWizManager::CalculateMotorPropertyLinRot() {
    TProcItems items(*this, "CalculateMotorPropertyLinRot");
    TMotorGeometry g(items);
    if (!items.Ok())
        return;
    g.PlainStator();
    ForceConstants(g, g.ActiveLength(), g.SS->FRuleValue, g.MS->FRuleValue, FInitializing);
    const TDeviceUnit& u = *FindUnit(g.SS->FUUID);
    g.Name->FValue = MotorName(g, u, g.SS->FDefaultValue, g.SS->FDefaultValue);
}

void TMotWizManager::CalculateMotorPropertyLinRotG2() {
    TProcItems items(*this, "CalculateMotorPropertyLinRotG2");
    TMotorGeometry g(items);
    TWizParDouble* moved = items.ParD("MovedPart_Length");
    if (!items.Ok())
        return;
    g.PlainStator();
    const double al = g.ActiveLength();
    ZeroPosition(g, moved->FRuleValue, g.TEPL->FValue, FInitializing);
    const double ss = std::fabs(g.SAL->FValue - g.TSL->FValue - g.TAL->FValue);
    Recommend(*g.SS, ss, FInitializing);
    const double ms = g.SAL->FValue - 3 * g.PP->FValue - 2 * g.Tsp();
    Recommend(*g.MS, ms, FInitializing);
    ForceConstants(g, al, ss, ms, FInitializing);
    const TDeviceUnit& u = *FindUnit(g.SS->FUUID);
    g.Name->FValue = MotorName(g, u, g.SS->FDefaultValue, g.MS->FDefaultValue);
}

void TMotWizManager::CalculateMotorPropertyBrenno() {
    TProcItems items(*this, "CalculateMotorProperty_Brenno");
    TWizValDouble* sl = items.ValD("Slider_Length");
    TWizValDouble* stator = items.ValD("Stator_Length");
    TWizParDouble* zero = items.ParD("Zero_Position");
    TWizParDouble* ms = items.ParD("Maximal_Stroke");
    TWizParDouble* home = items.ParD("HomeConf_SliderHomePosition");
    TWizValString* pre = items.ValS("Motor_PreName");
    TWizValString* slider = items.ValS("Slider_Name");
    TWizValString* name = items.ValS("Motor_Name");
    if (!items.Ok())
        return;
    Recommend(*zero, (sl->FValue - stator->FValue) / 2, FInitializing);
    home->FMinValue = Round10(zero->FRuleValue - ms->FRuleValue / 2);
    home->FMaxValue = Round10(zero->FRuleValue + ms->FRuleValue / 2);
    name->FValue = pre->FValue + slider->FValue;
}

void TMotWizManager::CalculateMotorPropertyK52() {
    TProcItems items(*this, "CalculateMotorPropertyK52");
    TWizParEnum* slider = items.ParE("Slider");
    TWizValDouble* sliderLength = items.ValD("Slider_Length");
    TWizValDouble* statorLength = items.ValD("Stator_Length");
    TWizValDouble* statorMass = items.ValD("Stator_Mass");
    TWizValDouble* completeLength = items.ValD("Complete_Stator_Length");
    TWizValDouble* completeMass = items.ValD("Complete_Stator_Mass");
    TWizValDouble* scale = items.ValD("Force_Scale_Factor");
    TWizValDouble* standard = items.ValD("Force_Constant_Standard_Slider");
    TWizValDouble* front = items.ValD("MinDistanceFront_SliderEnd_StatorEnd");
    TWizValDouble* back = items.ValD("MinDistanceBack_SliderEnd_StatorEnd");
    TWizParDouble* fc = items.ParD("Force_Constant");
    TWizParDouble* ss = items.ParD("Shortened_Stroke");
    TWizParDouble* ms = items.ParD("Maximal_Stroke");
    TWizParDouble* home = items.ParD("HomeConf_SliderHomePosition");
    const bool userLength = slider && UserDefinedSlider(*slider);
    TWizParDouble* moved = userLength ? items.ParD("MovedPart_Length") : nullptr;
    TWizValDouble* sliderMass = userLength ? items.ValD("Slider_Mass") : nullptr;
    TWizParDouble* movedMass = userLength ? items.ParD("MovedPart_Mass") : nullptr;
    if (!items.Ok())
        return;
    double sl = sliderLength->FValue;
    if (userLength) {
        sl = moved->FRuleValue;
        sliderLength->FValue = sl;
        sliderMass->FValue = movedMass->FRuleValue;
    }
    completeLength->FValue = statorLength->FValue;
    completeMass->FValue = statorMass->FValue;
    Recommend(*fc, scale->FValue * standard->FValue, FInitializing);
    const double stroke = std::fabs(sl - completeLength->FValue) - (front->FValue + back->FValue);
    Recommend(*ss, stroke, FInitializing);
    Recommend(*ms, stroke, FInitializing);
    home->FMinValue = front->FValue;
    home->FMaxValue = front->FValue + stroke;
}

void TMotWizManager::BuildModuleActuatorName() {
    TProcItems items(*this, "BuildModuleActuatorName");
    TWizValString* name = items.ValS("Module_Name");
    TWizValString* base = items.ValS("Module_Base_Name");
    TWizValString* ext = items.ValS("Module_Name_Extension");
    TWizValString* motorExt = items.ValS("Motor_Name_Extension");
    if (!items.Ok())
        return;
    name->FValue = base->FValue + "/" + ext->FValue + motorExt->FValue;
}

namespace {

// The items every stroke range calculation reads and writes.
struct TStrokeItems {
    TWizParDouble *HP, *IP, *SHP, *MinPos, *MaxPos;
    TWizParEnum* Mode;
    TWizValDouble *A, *B, *C, *D; // all four or none

    explicit TStrokeItems(TProcItems& I)
        : HP(I.ParD("HomeConf_HomePosition")), IP(I.ParD("InitialPosConf_Position")),
          SHP(I.ParD("HomeConf_SliderHomePosition")), MinPos(I.ParD("Minimal_Position")),
          MaxPos(I.ParD("Maximal_Position")), Mode(I.ParE("Home_Mode")), A(I.OptValD("DistanceA")),
          B(I.OptValD("DistanceB")), C(I.OptValD("DistanceC")), D(I.OptValD("DistanceD")) {
        if (!A || !B || !C || !D)
            A = B = C = D = nullptr;
    }
};

// "Range_Error" and the two drive integers in the current unit system.
MyAnsiString RangeText(const TDeviceUnit& U, std::int64_t A, std::int64_t B) {
    const TUnitSystem us = UnitManager().GetUnitSystem();
    const MyAnsiString caption = U.GetUnitCaption(us);
    return LangText("Range_Error") + U.IntToValStr(us, A) + " " + caption + " .. " + U.IntToValStr(us, B) + " " +
        caption;
}

// The range check of the slider home position, the distances, the new
// position limits MinPos and MaxPos and the initial position's check.
void StrokeRange(TStrokeItems& S, const TDeviceUnit& U, bool Initializing, double SL, double CSL, double MinPos,
                 double MaxPos) {
    auto toInt = [&U](double V) { return U.ValToInt(usSI, V); };
    const double shp = S.SHP->FRuleValue;
    const std::int64_t shpInt = toInt(shp), lo = toInt(S.SHP->FMinValue), hi = toInt(S.SHP->FMaxValue);
    const bool e = shpInt > hi || shpInt < lo;
    S.SHP->FErrorFlag = e;

    const double ip = S.IP->FRuleValue, hp = S.HP->FRuleValue;
    if (S.A) {
        S.A->FValue = shp;
        S.B->FValue = SL - CSL - shp;
        S.C->FValue = ip - hp + shp;
        S.D->FValue = SL - S.C->FValue - CSL;
        S.A->FErrorFlag = e;
        S.B->FErrorFlag = e;
        if (e) {
            S.A->FInfoText = RangeText(U, lo, hi);
            S.B->FInfoText = RangeText(U, toInt(SL - CSL - S.SHP->FMaxValue), toInt(SL - CSL - S.SHP->FMinValue));
        } else {
            S.A->FInfoText.clear();
            S.B->FInfoText.clear();
        }
    }

    Propose(*S.MinPos, MinPos, Initializing);
    Propose(*S.MaxPos, MaxPos, Initializing);
    S.MinPos->FErrorFlag = e;
    S.MaxPos->FErrorFlag = e;

    const std::int64_t ipInt = toInt(ip), hpInt = toInt(hp);
    bool distanceError = true;
    if (e) {
        S.IP->FErrorFlag = false;
    } else if (ipInt < toInt(MinPos) || ipInt > toInt(MaxPos)) {
        S.IP->FErrorFlag = true;
        S.IP->FInfoText = LangText("InitPosError");
    } else {
        const char* text = nullptr;
        switch (Low32(*S.Mode)) {
        case 1:
            if (!(ipInt > hpInt))
                text = "InitPosErrorMechStopNeg";
            break;
        case 2:
            if (!(ipInt < hpInt))
                text = "InitPosErrorMechStopPos";
            break;
        default:
            break;
        }
        S.IP->FErrorFlag = text != nullptr;
        if (text)
            S.IP->FInfoText = LangText(text);
        distanceError = S.IP->FErrorFlag;
    }
    if (S.C) {
        S.C->FErrorFlag = distanceError;
        S.D->FErrorFlag = distanceError;
    }
}

} // namespace

// The model's limits: the maximal stroke around the zero position, moved by
// the slider's home position; StatorLength names the stator's length.
bool TMotWizManager::CentredStrokeRange(const char* Proc, const char* StatorLength) {
    TProcItems items(*this, Proc);
    TStrokeItems s(items);
    TWizParDouble* ms = items.ParD("Maximal_Stroke");
    TWizParDouble* zero = items.ParD("Zero_Position");
    TWizValDouble* sl = items.ValD("Slider_Length");
    TWizValDouble* stator = items.ValD(StatorLength);
    if (!items.Ok())
        return false;
    const double hp = s.HP->FRuleValue, shift = zero->FRuleValue - s.SHP->FRuleValue, half = ms->FRuleValue / 2;
    StrokeRange(s, *FindUnit(s.SHP->FUUID), FInitializing, sl->FValue, stator->FValue, (hp - half) + shift,
                (hp + half) + shift);
    return true;
}

void TMotWizManager::CalculateStrokeRange() { CentredStrokeRange("CalculateStrokeRange", "Complete_Stator_Length"); }

void TMotWizManager::CalculateStrokeRangeBrenno() {
    if (!CentredStrokeRange("CalculateStrokeRange_Brenno", "Stator_Length"))
        return;
    // Page 8 shows the home and initial positions.
    if (const TPageHandler& refresh = GetCompletePage(8).InitPage)
        refresh();
}

void TMotWizManager::CalculateStrokeRangeK52() {
    TProcItems items(*this, "CalculateStrokeRangeK52");
    TStrokeItems s(items);
    TWizParEnum* slider = items.ParE("Slider");
    TWizValDouble* sl = items.ValD("Slider_Length");
    TWizValDouble* csl = items.ValD("Complete_Stator_Length");
    const bool userLength = slider && UserDefinedSlider(*slider);
    TWizParDouble* moved = userLength ? items.ParD("MovedPart_Length") : nullptr;
    if (!items.Ok())
        return;
    if (userLength)
        sl->FValue = moved->FRuleValue;
    const double hp = s.HP->FRuleValue, shp = s.SHP->FRuleValue;
    StrokeRange(s, *FindUnit(s.SHP->FUUID), FInitializing, sl->FValue, csl->FValue, hp - (shp - s.SHP->FMinValue),
                hp + (s.SHP->FMaxValue - shp));
}

void TMotWizManager::CalculateStrokeRangeLinRotG2() {
    TProcItems items(*this, "CalculateStrokeRangeLinRotG2");
    TStrokeItems s(items);
    TWizParDouble* moved = items.ParD("MovedPart_Length");
    TWizValDouble* csl = items.ValD("Complete_Stator_Length");
    if (!items.Ok())
        return;
    const double hp = s.HP->FRuleValue, shp = s.SHP->FRuleValue;
    StrokeRange(s, *FindUnit(s.SHP->FUUID), FInitializing, moved->FRuleValue, csl->FValue,
                hp + s.SHP->FMinValue - shp, hp + s.SHP->FMaxValue - shp);
}

void TMotWizManager::CalculateModuleStrokeRange() {
    TProcItems items(*this, "CalculateModuleStrokeRange");
    TWizValDouble* posNeg = items.ValD("GuideUnit_SliderHomePosNegative");
    TWizValDouble* gapNeg = items.ValD("GuideUnit_SliderHomeGapNegative");
    TWizValDouble* posPos = items.ValD("GuideUnit_SliderHomePosPositive");
    TWizValDouble* gapPos = items.ValD("GuideUnit_SliderHomeGapPositive");
    TWizValDouble* nominal = items.ValD("GuideUnit_NominalStroke");
    TWizParEnum* mode = items.ParE("Home_Mode");
    TWizParDouble* shp = items.ParD("HomeConf_SliderHomePosition");
    TWizParDouble* hp = items.ParD("HomeConf_HomePosition");
    TWizParDouble* ip = items.ParD("InitialPosConf_Position");
    TWizParDouble* ms = items.ParD("Maximal_Stroke");
    TWizParDouble* zero = items.ParD("Zero_Position");
    TWizParDouble* minPos = items.ParD("Minimal_Position");
    TWizParDouble* maxPos = items.ParD("Maximal_Position");
    if (!items.Ok())
        return;
    const std::int32_t m = Low32(*mode);
    if (m == 1 || m == 2) {
        if (m == 1) {
            shp->FRuleValue = posNeg->FValue;
            hp->FRuleValue = -gapNeg->FValue;
            ip->FRuleValue = 0;
        } else {
            shp->FRuleValue = posPos->FValue;
            hp->FRuleValue = gapPos->FValue + nominal->FValue;
            ip->FRuleValue = nominal->FValue;
        }
        for (TWizParDouble* p : {shp, hp, ip}) {
            p->FErrorFlag = false;
            if (!FInitializing)
                p->FTreeValue = p->FRuleValue;
        }
        mode->FErrorFlag = false;
    } else {
        for (TWizParDouble* p : {shp, hp, ip}) p->FErrorFlag = true;
        mode->FErrorFlag = true;
    }
    mode->FInfoText.clear();
    const double shift = zero->FRuleValue - shp->FRuleValue, half = ms->FRuleValue / 2;
    Propose(*minPos, (hp->FRuleValue - half) + shift, FInitializing);
    Propose(*maxPos, (hp->FRuleValue + half) + shift, FInitializing);
}

// Distance A is the slider's home position; the stroke range follows it.
void TMotWizManager::ProposeHomeFromDistanceA(const char* Proc, void (TMotWizManager::*StrokeRange)()) {
    TProcItems items(*this, Proc);
    TWizValDouble* a = items.ValD("DistanceA");
    TWizParDouble* shp = items.ParD("HomeConf_SliderHomePosition");
    if (!items.Ok())
        return;
    Propose(*shp, a->FValue, FInitializing);
    (this->*StrokeRange)();
}

void TMotWizManager::SetDistanceA() { ProposeHomeFromDistanceA("SetDistanceA", &TMotWizManager::CalculateStrokeRange); }

void TMotWizManager::SetDistanceB() {
    TProcItems items(*this, "SetDistanceB");
    TWizValDouble* b = items.ValD("DistanceB");
    TWizValDouble* sl = items.ValD("Slider_Length");
    TWizValDouble* csl = items.ValD("Complete_Stator_Length");
    TWizParDouble* shp = items.ParD("HomeConf_SliderHomePosition");
    if (!items.Ok())
        return;
    Propose(*shp, sl->FValue - csl->FValue - b->FValue, FInitializing);
    CalculateStrokeRange();
}

void TMotWizManager::SetDistanceAK52() { ProposeHomeFromDistanceA("SetDistanceAK52", &TMotWizManager::CalculateStrokeRangeK52); }

void TMotWizManager::SetDistanceBK52() {
    TProcItems items(*this, "SetDistanceBK52");
    TWizValDouble* b = items.ValD("DistanceB");
    TWizParEnum* slider = items.ParE("Slider");
    TWizValDouble* sl = items.ValD("Slider_Length");
    TWizValDouble* csl = items.ValD("Complete_Stator_Length");
    TWizParDouble* shp = items.ParD("HomeConf_SliderHomePosition");
    const bool userLength = slider && UserDefinedSlider(*slider);
    TWizParDouble* moved = userLength ? items.ParD("MovedPart_Length") : nullptr;
    if (!items.Ok())
        return;
    const double length = userLength ? moved->FRuleValue : sl->FValue;
    Propose(*shp, length - csl->FValue - b->FValue, FInitializing);
    CalculateStrokeRangeK52();
}

void TMotWizManager::SetDistanceALinRotG2() { ProposeHomeFromDistanceA("SetDistanceALinRotG2", &TMotWizManager::CalculateStrokeRangeLinRotG2); }

void TMotWizManager::SetDistanceBLinRotG2() {
    TProcItems items(*this, "SetDistanceBLinRotG2");
    TWizValDouble* b = items.ValD("DistanceB");
    TWizParDouble* moved = items.ParD("MovedPart_Length");
    TWizValDouble* csl = items.ValD("Complete_Stator_Length");
    TWizParDouble* shp = items.ParD("HomeConf_SliderHomePosition");
    if (!items.Ok())
        return;
    Propose(*shp, moved->FRuleValue - csl->FValue - b->FValue, FInitializing);
    CalculateStrokeRangeLinRotG2();
}

void TMotWizManager::CableResistance(const char* Proc, bool ReadPhases) {
    TProcItems items(*this, Proc);
    TWizParEnum* phases = ReadPhases ? items.ParE("Com_NumberOfPhases") : nullptr;
    struct TCable {
        TWizParEnum* Type;
        TWizParDouble* Length;
        TWizValDouble *Generic, *Own;
    };
    const TCable cables[] = {
        {items.ParE("Cable1_Type"), items.ParD("Cable1_Length"), items.ValD("Cable1_Resistivity_Gen"),
         items.ValD("Cable1_Resistivity")},
        {items.ParE("Cable2_Type"), items.ParD("Cable2_Length"), items.ValD("Cable2_Resistivity_Gen"),
         items.ValD("Cable2_Resistivity")},
    };
    TWizParDouble* coil = items.ParD("Coil_Resistance");
    TWizParDouble* ext = items.ParD("Ext_Cable_Resistance");
    TWizValDouble* total = items.ValD("Total_Resistance");
    if (!items.Ok())
        return;
    // One- and two-phase motors: the current goes out and back.
    double k = 1;
    if (phases) {
        const std::int32_t n = Low32(*phases);
        if (n == 1 || n == 2)
            k = 2;
    }
    double r = 0;
    for (const TCable& c : cables) {
        const std::int32_t type = Low32(*c.Type);
        if (type == 1)
            r += k * c.Length->FRuleValue * c.Generic->FValue;
        else if (type != 0)
            r += k * c.Length->FRuleValue * c.Own->FValue;
    }
    Recommend(*ext, r, FInitializing);
    total->FValue = r + coil->FRuleValue;
}

void TMotWizManager::CalculateCableResistance() { CableResistance("CalculateCableResistance", true); }

void TMotWizManager::Calculate3PhCableResistance() { CableResistance("Calculate3PhCableResistance", false); }

void TMotWizManager::Calculate1PhCableResistance() {
    TProcItems items(*this, "Calculate1PhCableResistance");
    TWizParDouble* l1 = items.ParD("Cable1_Length");
    TWizParDouble* l2 = items.ParD("Cable2_Length");
    TWizValDouble* g1 = items.ValD("Cable1_Resistivity_Gen");
    TWizValDouble* g2 = items.ValD("Cable2_Resistivity_Gen");
    TWizParDouble* coil = items.ParD("Coil_Resistance");
    TWizParDouble* ext = items.ParD("Ext_Cable_Resistance");
    TWizValDouble* total = items.ValD("Total_Resistance");
    if (!items.Ok())
        return;
    const double r = l1->FRuleValue * g1->FValue + l2->FRuleValue * g2->FValue;
    Recommend(*ext, r, FInitializing);
    total->FValue = r + coil->FRuleValue;
}

namespace {

constexpr double Gravity = 9.8064;

} // namespace

bool TMotWizManager::ControllerCurrentLimit(const char* Proc, double& Limit) {
    TWizTreePar* p = FTree ? FTree->FindParameter(4100) : nullptr;
    if (!p) {
        Error(MyAnsiString(Proc) + ": the drive has no controller current limit (4100); nothing is calculated");
        return false;
    }
    Limit = p->ValueSI();
    return true;
}

void TMotWizManager::CalculateFFValues() {
    TProcItems items(*this, "CalculateFFValues");
    TWizParEnum* movePart = items.ParE("Move_Part");
    TWizValDouble* sliderMass = items.ValD("Slider_Mass");
    TWizValDouble* statorMass = items.ValD("Complete_Stator_Mass");
    TWizValDouble* flange = items.OptValD("Flange_Mass");
    TWizValDouble* guideSlider = items.OptValD("GuideUnit_SliderMass");
    TWizValDouble* guideStator = items.OptValD("GuideUnit_StatorMass");
    TWizParDouble* additional = items.ParD("Additional_Mass");
    TWizParDouble* fcPar = items.ParD("Force_Constant");
    TWizParDouble* cf = items.ParD("Constant_Force");
    TWizParEnum* direction = items.ParE("Force_Direction");
    TWizParDouble* viscous = items.ParD("Viscous_Friction");
    TWizParDouble* dry = items.ParD("Dry_Friction");
    TWizParDouble* orientation = items.ParD("Orientation");
    TWizParDouble* maxCurrent = items.ParD("Maximal_Current");
    TWizValDouble* motorMass = items.ValD("TotalMoved_Motor_Mass");
    TWizValDouble* movedMass = items.ValD("TotalMoved_Mass");
    TWizValDouble* gravitation = items.ValD("GravitaionForce");
    TWizValDouble* signedForce = items.ValD("SignedExtConstForce");
    TWizValDouble* sumForces = items.ValD("SumOfConstForces");
    TWizParDouble* ffConst = items.ParD("FF_ConstForce_SetA");
    TWizParDouble* ffFriction = items.ParD("FF_Friction_SetA");
    TWizParDouble* ffDamping = items.ParD("FF_Damping_SetA");
    TWizParDouble* ffAcceleration = items.ParD("FF_Acceleration_SetA");
    double controller = 0;
    if (!items.Ok() || !ControllerCurrentLimit("CalculateFFValues", controller))
        return;
    auto opt = [](const TWizValDouble* V) { return V ? V->FValue : 0.0; };
    double mm = 0;
    switch (Low32(*movePart)) {
    case 0:
        mm = sliderMass->FValue + opt(guideSlider);
        break;
    case 1:
        mm = statorMass->FValue + opt(guideStator);
        break;
    case 2:
        mm = statorMass->FValue + opt(flange);
        break;
    default:
        break;
    }
    const double tm = mm + additional->FRuleValue;
    motorMass->FValue = mm;
    movedMass->FValue = tm;
    const double sinTheta = std::sin(orientation->FRuleValue);
    const double s = direction->FRuleValue != 0 ? 1.0 : -1.0;
    gravitation->FValue = sinTheta * (-tm * Gravity);
    signedForce->FValue = s * cf->FRuleValue;
    sumForces->FValue = s * cf->FRuleValue - sinTheta * Gravity * tm;
    const double fc = fcPar->FRuleValue;
    const double ff = fc > 0 ? (sinTheta * Gravity * tm - s * cf->FRuleValue) / fc : 0.0;
    Propose(*ffConst, ff, FInitializing);
    const double m = maxCurrent->FRuleValue;
    if (ff > controller || -ff > controller) {
        ffConst->FInfoText = LangText("ConstantCurrent_over_ControllerMax");
        ffConst->FErrorFlag = true;
    } else if (ff > m || -ff > m) {
        ffConst->FInfoText = LangText("ConstantCurrent_over_MotorMax");
        ffConst->FErrorFlag = true;
    } else {
        ffConst->FInfoText = LangText("Meaning_of_FF_Constant_Force");
        ffConst->FErrorFlag = false;
    }
    const auto perForceConstant = [fc](double X) { return fc > 0 ? X / fc : 0.0; };
    Propose(*ffFriction, perForceConstant(dry->FRuleValue), FInitializing);
    ffFriction->FInfoText = LangText("Meaning_of_FF_Friction");
    Propose(*ffDamping, perForceConstant(viscous->FRuleValue), FInitializing);
    ffDamping->FInfoText = LangText("Meaning_of_FF_Damping");
    Propose(*ffAcceleration, perForceConstant(tm), FInitializing);
    ffAcceleration->FInfoText = LangText("Meaning_of_FF_Acceleration");
    if (auto* load = dynamic_cast<TWizParDouble*>(GetWizParWithName("Total_Load_Mass")); load && load->FFoundInTree)
        Propose(*load, tm, FInitializing);
}

void TMotWizManager::CalculateControlParameters() {
    TProcItems items(*this, "CalculateControlParameters");
    TWizParDouble* maxCurrent = items.ParD("Maximal_Current");
    TWizParDouble* integrator = items.ParD("IntegratorLimit_SetA");
    TWizParDouble* currentSetA = items.ParD("MaxCurrent_SetA");
    double c = 0;
    if (!items.Ok() || !ControllerCurrentLimit("CalculateControlParameters", c))
        return;
    if (maxCurrent->FRuleValue > maxCurrent->FMaxValue)
        maxCurrent->FRuleValue = maxCurrent->FMaxValue;
    const double m = maxCurrent->FRuleValue;
    const double l = c >= m ? m : c;
    integrator->FRuleValue = l;
    currentSetA->FRuleValue = l;
    if (!FInitializing) {
        maxCurrent->FTreeValue = m;
        integrator->FTreeValue = l;
        currentSetA->FTreeValue = l;
    }
}

void TMotWizManager::ChangeExtSensorType() {
    auto* deadBand = dynamic_cast<TWizParDouble*>(GetWizParWithName("NoiseDeadBandSetA"));
    if (FInitializing || !deadBand || !deadBand->FFoundInTree)
        return;
    TProcItems items(*this, "ChangeExtSensorType");
    TWizParEnum* type = items.ParE("ExtSensor_Type");
    TWizParDouble* resolution = items.ParD("ExtSensor_Resolution");
    if (!items.Ok())
        return;
    const std::int64_t t = type->FRuleValue;
    if (t == 0) {
        Propose(*deadBand, deadBand->FDefaultValue, FInitializing);
        return;
    }
    Propose(*deadBand, 0, FInitializing);
    Propose(*resolution, t == 2 ? 0.00025 : 0.000001, FInitializing);
}

// ---- Rotary EC and DC motors ----------------------------------------------

namespace {

const char* const DivisionByZero = "Calculation aborted (division by zero)!";

// The motor's pole pairs: the nearest integer, a half to the even one.
double PolePairs(const TWizParDouble& P) { return std::nearbyint(P.FRuleValue); }

// The items the EC motor calculations share.
struct TECItems {
    TWizValDouble *PhaseR, *PhaseL, *BEMF, *LinBEMF;
    TWizParDouble *CoilR, *CoilL, *PolePairs, *Period, *FC, *SensorRes, *HallErr;

    // One coil is half of what is measured between two phases.
    void CoilFromPhases(bool Initializing) const {
        Propose(*CoilR, PhaseR->FValue / 2, Initializing);
        Propose(*CoilL, PhaseL->FValue / 2, Initializing);
    }

    explicit TECItems(TProcItems& I)
        : PhaseR(I.ValD("PhasePhase_Resistance")), PhaseL(I.ValD("PhasePhase_Inductance")),
          BEMF(I.ValD("BEMFConstant")), LinBEMF(I.ValD("LinBEMFConstant")), CoilR(I.ParD("Coil_Resistance")),
          CoilL(I.ParD("Coil_Inductivity")), PolePairs(I.ParD("NoOfPolePairs")), Period(I.ParD("Com_PeriodLength")),
          FC(I.ParD("Force_Constant")), SensorRes(I.ParD("MotSen_Resolution")),
          HallErr(I.ParD("MotSen_Hall_Distance_Err")) {}
};

// Counts and metres per count of the external sensor, and the distance per
// motor revolution they make.
struct TRevolution {
    TWizParDouble *Counts, *Resolution;
    TWizValDouble* Distance;

    explicit TRevolution(TProcItems& I)
        : Counts(I.ParD("ExtSensor_CountsPerRev")), Resolution(I.ParD("ExtSensor_Resolution")),
          Distance(I.ValD("ExtSensor_Resolution2")) {}
    // Sets and returns the distance per revolution.
    double Update() const { return Distance->FValue = Counts->FRuleValue * Resolution->FRuleValue; }
};

// The force constant and the back EMF constant cannot be computed: both are
// flagged and the force constant's recommendation becomes 0.
void AbortForce(TECItems& E) {
    E.FC->FRuleValue = 0;
    E.FC->FErrorFlag = true;
    E.FC->FInfoText = DivisionByZero;
    E.LinBEMF->FValue = 0;
    E.LinBEMF->FErrorFlag = true;
    E.LinBEMF->FInfoText = DivisionByZero;
}

// The commutation period could not be computed (no pole pairs): the period
// keeps its values and the force calculation is aborted.
void AbortPeriod(TECItems& E) {
    E.Period->FErrorFlag = true;
    E.Period->FInfoText = DivisionByZero;
    AbortForce(E);
}

// "BackEMFTooHigh" with Max shown in the unit U of the current unit system.
MyAnsiString BackEMFTooHigh(const TDeviceUnit& U, double Max) {
    const TUnitSystem us = UnitManager().GetUnitSystem();
    return LangTextFmt("BackEMFTooHigh", {U.IntToValStr(us, U.ValToInt(usSI, Max)) + " " + U.GetUnitCaption(us)});
}

// From the commutation period PL (already set): the period's check, then
// the force constant from the back EMF over Distance (metres per motor
// revolution), the sensor resolution and the hall distance error.
void ECForceConstant(const TMotWizManager& M, TECItems& E, double PL, double Distance, double HallErr) {
    if (M.FindUnit(E.Period->FUUID)->ValToInt(usSI, PL) == 0) {
        E.Period->FErrorFlag = true;
        E.Period->FInfoText = "Value must not be zero!";
        AbortForce(E);
        return;
    }
    E.Period->FErrorFlag = false;
    E.Period->FInfoText.clear();
    const double kf = std::numbers::sqrt2 * 60 * E.BEMF->FValue / Distance;
    if (!std::isfinite(kf)) {
        AbortForce(E);
        return;
    }
    E.LinBEMF->FValue = kf;
    Propose(*E.FC, kf, M.FInitializing);
    const double max = E.FC->FMaxValue;
    const bool high = kf >= max;
    E.LinBEMF->FErrorFlag = high;
    E.FC->FErrorFlag = high;
    E.LinBEMF->FInfoText = high ? BackEMFTooHigh(*M.FindUnit(E.LinBEMF->FUUID), max) : MyAnsiString();
    E.FC->FInfoText = high ? BackEMFTooHigh(*M.FindUnit(E.FC->FUUID), max) : MyAnsiString();
    Propose(*E.SensorRes, PL / 4, M.FInitializing);
    Propose(*E.HallErr, HallErr, M.FInitializing);
}

} // namespace

void TMotWizManager::UpdatePageVisibility(int Page) {
    if (const TPageHandler& update = GetCompletePage(Page).UpdateVisibility)
        update();
}

void TMotWizManager::CalculateECMotorTypeAProperty() {
    TProcItems items(*this, "CalculateECMotorTypeAProperty");
    TECItems e(items);
    const TRevolution rev(items);
    TWizParDouble* searchPos = items.ParD("PhaseSearch_MaxPos");
    TWizParDouble* searchSpeed = items.ParD("PhaseSearch_MaxSpeed");
    TWizParEnum* posRec = items.OptParE("PosRec_Mode");
    const bool ssi = posRec && posRec->FRuleValue == 4;
    TWizParDouble* ssiRes = ssi ? items.ParD("SSI_Resolution") : nullptr;
    TWizParEnum* ssiBits = ssi ? items.ParE("SSI_PositionBits") : nullptr;
    if (!items.Ok())
        return;
    e.CoilFromPhases(FInitializing);
    const double r2 = rev.Update();
    if (ssi) // one SSI increment: 2^bits per revolution
        Propose(*ssiRes, std::ldexp(r2, -static_cast<int>(static_cast<std::uint32_t>(Low32(*ssiBits)) % 32)),
                FInitializing);
    Propose(*searchPos, 3 * r2, FInitializing);
    Propose(*searchSpeed, r2 / 10, FInitializing);
    const double pl = r2 / PolePairs(*e.PolePairs);
    if (!std::isfinite(pl)) {
        AbortPeriod(e);
    } else {
        Propose(*e.Period, pl, FInitializing);
        ECForceConstant(*this, e, pl, r2, pl / 12);
    }
    UpdatePageVisibility(11);
}

void TMotWizManager::CalculateECMotorTypeBProperty() {
    TProcItems items(*this, "CalculateECMotorTypeBProperty");
    TECItems e(items);
    TWizValDouble* fbPeriod = items.ValD("FBOnX3PeriodLength");
    TWizValDouble* hallAngle = items.OptValD("MotSen_Hall_Distance_Err_Angle");
    if (!items.Ok())
        return;
    e.CoilFromPhases(FInitializing);
    const double pl = e.Period->FRuleValue;
    Propose(*e.Period, pl, FInitializing);
    fbPeriod->FValue = PolePairs(*e.PolePairs) * pl;
    ECForceConstant(*this, e, pl, pl, hallAngle ? pl * hallAngle->FValue / 360 : pl / 12);
    UpdatePageVisibility(12);
}

void TMotWizManager::ChangeECMotorCountDirection() {
    if (FInitializing || FChangeActuator)
        return;
    TProcItems items(*this, "ChangeECMotorCountDirection");
    TWizParDouble* angle = items.ParD("Com_PhaseAngle");
    if (!items.Ok())
        return;
    double x = 2 * std::numbers::pi - angle->FRuleValue;
    if (x > angle->FMaxValue || x < 0)
        x = 0;
    Propose(*angle, x, FInitializing);
}

void TMotWizManager::SetExtSensorResolution2() {
    TProcItems items(*this, "SetExtSensor_Resolution2");
    const TRevolution rev(items);
    TWizValInteger* type = items.ValI("Actuator_Type");
    if (!items.Ok())
        return;
    TWizParDouble* resolution = rev.Resolution;
    const double r = rev.Distance->FValue / rev.Counts->FRuleValue;
    if (std::isfinite(r)) {
        resolution->FErrorFlag = false;
        resolution->FInfoText.clear();
        Propose(*resolution, r, FInitializing);
        if (type->FValue == 6)
            CalculateECMotorTypeAProperty();
        else if (type->FValue == 11)
            CalculateDCMotorProperty();
    } else {
        // No counts per revolution: the entry is kept and nothing follows.
        resolution->FErrorFlag = true;
        resolution->FInfoText = DivisionByZero;
    }
    if (FDialog)
        FDialog->UpdateAll();
}

void TMotWizManager::SetFBOnX3PeriodLength() {
    TProcItems items(*this, "SetFBOnX3PeriodLength");
    TECItems e(items);
    TWizValDouble* fbPeriod = items.ValD("FBOnX3PeriodLength");
    TWizParDouble* maxDifference = items.ParD("Maximal_Feedback_Difference");
    if (!items.Ok())
        return;
    const double pl = fbPeriod->FValue / PolePairs(*e.PolePairs);
    Propose(*maxDifference, fbPeriod->FValue / 4, FInitializing);
    if (!std::isfinite(pl)) {
        AbortPeriod(e);
        UpdatePageVisibility(12);
        return;
    }
    e.Period->FRuleValue = pl;
    CalculateECMotorTypeBProperty();
}

void TMotWizManager::CalculateDCMotorProperty() {
    TProcItems items(*this, "CalculateDCMotorProperty");
    const TRevolution rev(items);
    TWizParDouble* polePairs = items.ParD("NoOfPolePairs");
    TWizParDouble* period = items.ParD("Com_PeriodLength");
    TWizValDouble* bemf = items.ValD("BEMFConstant");
    TWizParDouble* fc = items.ParD("Force_Constant");
    TWizParDouble* maxTemp = items.ParD("TempModelPar_MaxWindingTemp");
    TWizParDouble* envTemp = items.ParD("TempModelPar_EnvironmentTemp");
    TWizParDouble* coil = items.ParD("Coil_Resistance");
    TWizParDouble* nominal = items.ParD("Nominal_Current");
    TWizParDouble* mass = items.ParD("Motor_Mass");
    TWizParDouble* rWinding = items.ParD("TempModelPar_RWOutHousing");
    TWizParDouble* rHousing = items.ParD("TempModelPar_RHousingMounting");
    TWizParDouble* rMounting = items.ParD("TempModelPar_RMountingEnvironment");
    TWizParDouble* cWinding = items.ParD("TempModelPar_CWinding");
    TWizParDouble* cHousing = items.ParD("TempModelPar_CHousing");
    TWizParDouble* cMounting = items.ParD("TempModelPar_CMounting");
    if (!items.Ok())
        return;
    const double r2 = rev.Update();
    const double pl = r2 / PolePairs(*polePairs);
    if (std::isfinite(pl)) {
        period->FErrorFlag = false;
        period->FInfoText.clear();
        Propose(*period, pl, FInitializing);
    } else {
        period->FErrorFlag = true;
        period->FInfoText = DivisionByZero;
    }
    if (bemf->FValue != 0 && r2 != 0)
        Propose(*fc, std::numbers::sqrt2 * 60 * bemf->FValue / r2, FInitializing);
    // Thermal resistance from the winding's heating at nominal current,
    // split 1/10, 1/10 and 4/5 over the three stages.
    const double r = coil->FRuleValue, i = nominal->FRuleValue;
    double rth = r != 0 && i != 0 ? (maxTemp->FRuleValue - envTemp->FRuleValue) / (r * i * i) : 0.0;
    if (!std::isfinite(rth))
        rth = 0;
    Propose(*rWinding, rth / 10, FInitializing);
    Propose(*rHousing, rth / 10, FInitializing);
    Propose(*rMounting, rth * 4 / 5, FInitializing);
    // Heat capacity of the copper winding (a quarter of the mass, 385 J/(kg K)).
    const double cw = mass->FRuleValue / 4 * 385;
    Propose(*cWinding, cw, FInitializing);
    Propose(*cHousing, cw / 2, FInitializing);
    Propose(*cMounting, cw / 2, FInitializing);
}

// ---- Pages of linear-rotary motors ----------------------------------------

void TMotWizManager::LinRotUpdatePageVisibility() {
    auto* mode = dynamic_cast<TWizParEnum*>(GetWizParWithName("PosRec_Mode"));
    if (!mode)
        return;
    // Position recovery mode 3 needs no homing: pages 6 and 13 go.
    TWizardPage& homing = GetCompletePage(6);
    TWizardPage& rotHoming = GetCompletePage(13);
    const bool show = mode->FRuleValue != 3;
    const bool change = show ? (!homing.FVisible || !rotHoming.FVisible) : (homing.FVisible || rotHoming.FVisible);
    if (!change)
        return;
    homing.FVisible = show;
    rotHoming.FVisible = show;
    // The visible pages of the file in the file's order; the current page
    // stays current when it is still shown.
    const TWizardPage* current = GetPageCount() > 0 ? ActualWizardPageList[static_cast<std::size_t>(
                                                          std::clamp(FPageIndex, 0, GetPageCount() - 1))]
                                                    : nullptr;
    ActualWizardPageList.clear();
    for (const auto& p : CompleteWizardPageList)
        if (p->FVisible && p->FPagePos >= 0)
            ActualWizardPageList.push_back(p.get());
    std::stable_sort(ActualWizardPageList.begin(), ActualWizardPageList.end(),
                     [](const TWizardPage* A, const TWizardPage* B) { return A->FPagePos < B->FPagePos; });
    const auto it = std::find(ActualWizardPageList.begin(), ActualWizardPageList.end(), current);
    if (it != ActualWizardPageList.end())
        FPageIndex = static_cast<std::int32_t>(it - ActualWizardPageList.begin());
    else
        FPageIndex = std::clamp(FPageIndex, 0, std::max(GetPageCount() - 1, 0));
    if (FDialog)
        FDialog->UpdateAll();
}

} // namespace vo
