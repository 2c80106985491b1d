#include "motorwizard/WizSrvTree.h"

#include <map>

#include "devices/DevMan.h"
#include "devices/ModulSrv.h"
#include "devices/StatSrv.h"
#include "kernel/CsServices.h"
#include "kernel/MxTLib20.h"
#include "parameters/ParSrv.h"
#include "parameters/Parameter.h"
#include "parameters/PtGen.h"
#include "parameters/PtRadio.h"
#include "parameters/UniSrv.h"
#include "platform/Exception.h"

namespace vo {

namespace {

TWizTreeKind KindOf(const TParameter& P) {
    if (P.IsInteger())
        return TWizTreeKind::tkInteger;
    if (dynamic_cast<const TRadioDir16Parameter*>(&P))
        return TWizTreeKind::tkRadio16;
    if (dynamic_cast<const TRadioDir32Parameter*>(&P))
        return TWizTreeKind::tkRadio32;
    if (dynamic_cast<const TRadioDirBitParameter*>(&P))
        return TWizTreeKind::tkRadioBit;
    if (P.IsString())
        return TWizTreeKind::tkString;
    if (P.IsBoolean())
        return TWizTreeKind::tkBoolean;
    return TWizTreeKind::tkOther;
}

class TServiceTree;

class TServicePar : public TWizTreePar {
public:
    TServicePar(TServiceTree& Tree, TParameter& P) : FTree(Tree), FPar(P), FKind(KindOf(P)) {}

    TParameter& Node() const { return FPar; }
    TWizTreeKind Kind() const override { return FKind; }
    std::int32_t UPID() const override { return FPar.UPID(); }
    MyAnsiString Caption() const override { return FPar.Caption(); }
    MyAnsiString Path() const override { return FPar.GetPath(); }

    std::int32_t UnitUUID() const override { return Int() ? Int()->UUID() : 0; }
    double DefaultSI() const override { return Int() ? Int()->GetDefaultValueDouble(usSI) : 0.0; }
    double MinSI() const override { return Int() ? Int()->GetMinValueDouble(usSI) : 0.0; }
    double MaxSI() const override { return Int() ? Int()->GetMaxValueDouble(usSI) : 0.0; }
    double ValueSI() const override { return FPar.GetValue(usSI); }
    std::int64_t DefaultInt() const override {
        if (Int())
            return Int()->GetDefaultValue();
        if (auto* r = dynamic_cast<const TRadioDir16Parameter*>(&FPar))
            return r->DefaultValue();
        if (auto* r = dynamic_cast<const TRadioDir32Parameter*>(&FPar))
            return r->DefaultValue();
        if (auto* r = dynamic_cast<const TRadioDirBitParameter*>(&FPar))
            return r->DefaultValue();
        return 0;
    }
    std::int64_t IntValue() const override { return FPar.GetIntValue(); }
    MyAnsiString DefaultStr() const override { return DefaultText("SCALED"); }
    MyAnsiString StrValue() const override {
        if (FKind != TWizTreeKind::tkString)
            return FPar.GetStrValue();
        TValueRec v;
        FPar.GetScaledValue(v, usMetric, FPar.GetDisplayModeStr());
        return v.ValueStr;
    }
    bool DefaultBool() const override {
        const MyAnsiString t = DefaultText("SCALED");
        return t == "True" || t == "TRUE" || t == "1";
    }
    bool BoolValue() const override { return FPar.GetBoolValue(); }
    int ChildCount() const override {
        Children();
        return static_cast<int>(FChildren.size());
    }
    std::int64_t ChildValue(int Index) const override { return Children().at(static_cast<std::size_t>(Index))->GetChildValue(); }
    MyAnsiString ChildCaption(int Index) const override { return Children().at(static_cast<std::size_t>(Index))->Caption(); }

    void SetScaledValue(const MyAnsiString& Text) override { FPar.SetScaledValue(Text, usSI, "SCALED"); }
    void SetIntValue(std::int64_t Value) override { FPar.SetIntValue(usSI, Value); }
    void SetBoolValue(bool Value) override { FPar.SetBoolValue(Value); }
    void Modify() override;

private:
    const TGenericIntParameter* Int() const { return dynamic_cast<const TGenericIntParameter*>(&FPar); }
    MyAnsiString DefaultText(const char* Mode) const {
        TValueRec v;
        FPar.GetDefaultStr(v, usSI, Mode);
        return v.ValueStr;
    }
    const std::vector<TParameter*>& Children() const {
        FChildren.clear();
        FPar.ForEachChild([&](TParameter& C, bool&) { FChildren.push_back(&C); });
        return FChildren;
    }

    TServiceTree& FTree;
    TParameter& FPar;
    TWizTreeKind FKind;
    mutable std::vector<TParameter*> FChildren;
};

class TServiceTree : public TWizTree {
public:
    explicit TServiceTree(TDevice& Device)
        : FDevice(Device), FParams(Device.FindService<TParameterService>("ParameterService")),
          FUnits(Device.FindService<TUnitService>("UnitService")),
          FStatus(Device.FindService<TStatusService>("StatusService")),
          FModules(Device.FindService<TModuleService>("ModuleService")) {
        FStatusClient.FOnExecute = [this](TServiceClient&) {
            if (FHandlers.StatusExecute)
                FHandlers.StatusExecute();
        };
        FStatusClient.FOnUpdate = [this](TServiceClient&) {
            if (FHandlers.StatusUpdate)
                FHandlers.StatusUpdate();
        };
        FParameterClient.FOnExecute = [this](TServiceClient&) {
            if (FInBatch) {
                FInBatch = false;
                if (FHandlers.ParameterNotify)
                    FHandlers.ParameterNotify();
            } else if (FHandlers.ParameterExecute) {
                FHandlers.ParameterExecute();
            }
        };
        FParameterClient.FOnNotify = [this](TObject*) {
            if (FParams && FInBatch && FParams->Provider().Status() == psWaitClient)
                FParameterClient.Continue();
        };
    }

    TWizTreePar* FindParameter(std::int32_t UPID) override {
        TParameter* p = FParams ? FParams->FindParameter(UPID) : nullptr;
        if (!p) {
            FPars.erase(UPID);
            return nullptr;
        }
        auto& slot = FPars[UPID];
        if (!slot || &slot->Node() != p)
            slot = std::make_unique<TServicePar>(*this, *p);
        return slot.get();
    }
    const TDeviceUnit* FindUnit(std::int32_t UUID) const override { return FUnits ? FUnits->GetUnitWithUUID(UUID) : nullptr; }
    bool Online() const override { return FDevice.DeviceType() == dtOnline; }
    MyAnsiString ADFFileExt() const override { return FModules ? FModules->FADFFileExt : MyAnsiString("adf"); }

    void Bind(THandlers Handlers) override { FHandlers = std::move(Handlers); }
    // After a stop request the status service shows the firmware stopped as
    // soon as the drive acknowledges; the drive's own status is known once
    // two more status words were read.
    bool GetRunning() const override {
        if (!FStatus)
            return false;
        if (FStopPhase && FStatus->StatusReadCount() < FStopReads)
            return true;
        return FStatus->GetRunning();
    }
    void RequestStatusTurn() override {
        if (!FStatus)
            return;
        if (!FStatusClient.GetConnected())
            FStatusClient.Connect(FStatus->Provider());
        FStatusClient.Request();
    }
    void StopDevice() override {
        if (!FStatus)
            return;
        FStopReads = FStatus->StatusReadCount() + 2;
        FStopPhase = true;
        FStatus->StopDevice();
        // The status service tells of changes only; the wait checks again
        // every poll interval.
        if (!FTicker) {
            FTicker = TMxTask::CreateMain("MotorWizard.StopWait");
            FTicker->SetOnExecute([this](TMxTask& Sender) {
                if (!FStopPhase) {
                    Sender.Terminate();
                    return;
                }
                Sender.Sleep(static_cast<std::int32_t>(StatusServicePollInterval.Milliseconds()));
                if (FHandlers.StatusUpdate)
                    FHandlers.StatusUpdate();
            });
        }
        if (FTicker->State() != tsReady)
            FTicker->Start();
    }
    void ReleaseStatus() override { FStatusClient.Release(); }
    void DisconnectStatus() override {
        FStopPhase = false;
        if (FStatusClient.GetConnected())
            FStatusClient.Disconnect();
    }
    void RequestParameterTurn() override {
        if (!FParams)
            throw Exception("the device has no parameter service");
        if (!FParameterClient.GetConnected())
            FParameterClient.Connect(FParams->Provider());
        FParameterClient.Request();
    }
    void PrepareModify() override { FParams->PrepareModify(FParameterClient); }
    void ExecuteModify() override {
        FParameterClient.Wait(0x7FFFFFFF);
        FInBatch = true;
        FParams->ExecuteModify(FParameterClient);
    }
    void ReleaseParameter() override {
        FParameterClient.Release();
        FParameterClient.Disconnect();
    }
    std::vector<MyAnsiString> RefusedWrites() const override {
        std::vector<MyAnsiString> out;
        if (FParams)
            for (const TParameterWriteFailure& f : FParams->WriteFailures())
                out.push_back("\"" + f.Node->Caption() + "\" (UPID " + std::to_string(f.Node->UPID()) + ")");
        return out;
    }

    TServiceClient& ParameterClient() { return FParameterClient; }

private:
    TDevice& FDevice;
    TParameterService* FParams;
    TUnitService* FUnits;
    TStatusService* FStatus;
    TModuleService* FModules;
    THandlers FHandlers;
    TServiceClient FStatusClient;
    TServiceClient FParameterClient;
    bool FInBatch = false;
    bool FStopPhase = false;
    std::uint32_t FStopReads = 0;
    std::unique_ptr<TMxTask> FTicker;
    std::map<std::int32_t, std::unique_ptr<TServicePar>> FPars;
};

void TServicePar::Modify() { FPar.Modify(FTree.ParameterClient()); }

} // namespace

std::unique_ptr<TWizTree> MakeServiceTree(TDevice& Device) { return std::make_unique<TServiceTree>(Device); }

} // namespace vo
