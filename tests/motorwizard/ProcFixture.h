#pragma once
// A definition file with every item the calculation procedures read,
// on a fake drive whose positions count 0.1 um per increment and show in mm
// (metric system).
#include <algorithm>
#include <string>
#include <vector>

#include "parameters/UniMan.h"
#include "tests/motorwizard/WizFakes.h"

namespace vo::test {

inline const std::vector<std::string> ProcDoubleValues = {
    "Slider_Length", "Slider_ActiveLength", "Slider_EndPieceLength", "Slider_PolePitch", "Stator_ActiveLength",
    "Stator_EndPieceLength", "Stator_SensorLength", "Motor_FactorPerPolePitch", "Stator_Length", "Stator_Mass",
    "Complete_Stator_Length", "Complete_Stator_EndPieceLength", "Complete_Stator_Mass", "RelativeEdgeForce",
    "Slider_EndPieceWeldLength", "Slider_Mass", "Force_Scale_Factor", "Force_Constant_Standard_Slider",
    "MinDistanceFront_SliderEnd_StatorEnd", "MinDistanceBack_SliderEnd_StatorEnd", "DistanceA", "DistanceB",
    "DistanceC", "DistanceD", "GuideUnit_SliderHomePosNegative", "GuideUnit_SliderHomeGapNegative",
    "GuideUnit_SliderHomePosPositive", "GuideUnit_SliderHomeGapPositive", "GuideUnit_NominalStroke", "Stator_SensorPosition", "Cable1_Resistivity", "Cable2_Resistivity", "Cable1_Resistivity_Gen", "Cable2_Resistivity_Gen", "Total_Resistance", "Flange_Mass", "GuideUnit_SliderMass", "GuideUnit_StatorMass", "TotalMoved_Motor_Mass", "TotalMoved_Mass", "GravitaionForce", "SignedExtConstForce", "SumOfConstForces",
    "PhasePhase_Resistance", "PhasePhase_Inductance", "ExtSensor_Resolution2", "BEMFConstant", "LinBEMFConstant",
    "FBOnX3PeriodLength", "MotSen_Hall_Distance_Err_Angle"};
inline const std::vector<std::string> ProcIntValues = {"Actuator_Type"};
inline const std::vector<std::string> ProcStringValues = {
    "Motor_PreName", "Motor_Name_SD_Extension", "Motor_Name_Extension", "Motor_Name", "Slider_Name",
    "Module_Name", "Module_Base_Name", "Module_Name_Extension"};
inline const std::vector<std::string> ProcDoublePars = {
    "Zero_Position", "Shortened_Stroke", "Maximal_Stroke", "Force_Constant", "EdgeForce_Constant",
    "HomeConf_SliderHomePosition", "BearingLength", "BearingMass", "MovedPart_Length", "MovedPart_Mass",
    "HomeConf_HomePosition", "InitialPosConf_Position", "Minimal_Position", "Maximal_Position", "Cable1_Length", "Cable2_Length", "Coil_Resistance", "Ext_Cable_Resistance", "Additional_Mass", "Constant_Force", "Viscous_Friction", "Dry_Friction", "Orientation", "Maximal_Current", "FF_ConstForce_SetA", "FF_Friction_SetA", "FF_Damping_SetA", "FF_Acceleration_SetA", "Total_Load_Mass", "IntegratorLimit_SetA", "MaxCurrent_SetA", "NoiseDeadBandSetA", "ExtSensor_Resolution",
    "Coil_Inductivity", "ExtSensor_CountsPerRev", "NoOfPolePairs", "SSI_Resolution", "PhaseSearch_MaxPos",
    "PhaseSearch_MaxSpeed", "Com_PeriodLength", "MotSen_Resolution", "MotSen_Hall_Distance_Err", "Com_PhaseAngle",
    "Maximal_Feedback_Difference", "Nominal_Current", "Motor_Mass", "TempModelPar_MaxWindingTemp",
    "TempModelPar_EnvironmentTemp", "TempModelPar_RWOutHousing", "TempModelPar_RHousingMounting",
    "TempModelPar_RMountingEnvironment", "TempModelPar_CWinding", "TempModelPar_CHousing", "TempModelPar_CMounting"};
inline const std::vector<std::string> ProcEnumPars = {"Slider_Direction", "Slider", "Home_Mode", "Cable1_Type", "Cable2_Type", "Com_NumberOfPhases", "Move_Part", "Force_Direction", "ExtSensor_Type", "PosRec_Mode", "SSI_PositionBits"};

class ProcTest : public WizardTest {
protected:
    void SetUp() override {
        WizardTest::SetUp();
        savedSystem = UnitManager().GetUnitSystem();
        UnitManager().SetUnitSystem(usMetric);
        tree.String(6220, "ABC");
        tree.Unit(1, 1e-7, "mm", 1e-4);
    }
    void TearDown() override { UnitManager().SetUnitSystem(savedSystem); }

    // Loads the file without the items named in Omit and leaves the start.
    void Load(const std::vector<std::string>& Omit = {}) {
        auto kept = [&Omit](const std::string& n) { return std::find(Omit.begin(), Omit.end(), n) == Omit.end(); };
        std::string pars, vals;
        int upid = 5000;
        for (const auto& n : ProcDoublePars) {
            ++upid;
            if (!kept(n))
                continue;
            tree.Integer(upid, 0).uuid = 1;
            pars += "[D /Type 'DOUBLE' /Name '" + n + "' /TreeUPID " + std::to_string(upid) +
                " /MinValue -10.0 /MaxValue 10.0 ]\n";
        }
        for (const auto& n : ProcEnumPars)
            if (kept(n))
                pars += "[D /Type 'ENUM' /Name '" + n + "' /TreeUPID " + std::to_string(++upid + 1000) +
                    " /ENumDef [A [D /Value 0 /Caption 'A' /OnSelect [A ]] ] ]\n";
        for (const auto& n : ProcDoubleValues)
            if (kept(n))
                vals += "[D /Type 'DOUBLE' /Name '" + n + "' /Value 0.0 /UUID 1 ]\n";
        for (const auto& n : ProcStringValues)
            if (kept(n))
                vals += "[D /Type 'STRING' /Name '" + n + "' /Value '' ]\n";
        for (const auto& n : ProcIntValues)
            if (kept(n))
                vals += "[D /Type 'INTEGER' /Name '" + n + "' /Value 0 ]\n";
        Adf("ABC.adf", "/MCParameters [A " + pars + "] /WizardValues [A " + vals + "]");
        ASSERT_TRUE(Start());
        man.FInitializing = false;
    }

    TWizValDouble& V(const char* n) { return dynamic_cast<TWizValDouble&>(*man.GetWizValWithName(n)); }
    TWizValString& T(const char* n) { return dynamic_cast<TWizValString&>(*man.GetWizValWithName(n)); }
    TWizValInteger& I(const char* n) { return dynamic_cast<TWizValInteger&>(*man.GetWizValWithName(n)); }
    // A value's value or a parameter's recommended value (items the file
    // lacks are passed over).
    void Set(const char* n, double x) {
        if (auto* v = dynamic_cast<TWizValDouble*>(man.GetWizValWithName(n)))
            v->FValue = x;
        else if (man.GetWizParExists(n))
            D(n).FRuleValue = x;
    }
    void SetEnum(const char* n, std::int64_t x) { E(n).FRuleValue = x; }

    TUnitSystem savedSystem = usSI;
};

} // namespace vo::test
