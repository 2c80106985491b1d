#pragma once
// A device with the parameter service, logged in over a pseudo-terminal to
// the simulated drive vx41 (whose parameter table comes from the same module
// descriptions), and a client that runs one pass of the service.
#include "kernel/CsServices.h"
#include "parameters/ParInit.h"
#include "parameters/ParMan.h"
#include "parameters/ParSrv.h"
#include "parameters/UniSrv.h"
#include "tests/support/DeviceFixture.h"

#include <functional>

namespace vo::test {

class ParLoginTestBase : public DeviceTestBase {
protected:
    void RegisterServices() override {
        DeviceTestBase::RegisterServices();
        Manager->RegisterServiceClass("UnitService", DeviceServiceClass<TUnitService>());
        Manager->RegisterServiceClass("ParameterService", DeviceServiceClass<TParameterService>());
        if (!ParameterManager().ParameterClassExists("UInt16"))
            RegisterParameterClasses(ParameterManager());
    }

    static TParameterService& Params(TDevice& D) { return *D.FindService<TParameterService>("ParameterService"); }

    // The request frames of parameter reads and writes, in order.
    std::vector<std::string> ParameterFrames() const {
        std::vector<std::string> out;
        for (const std::string& f : FramesIn())
            if (f.rfind("88 ", 0) == 0 || f.rfind("89 ", 0) == 0)
                out.push_back(f);
        return out;
    }

    // Runs one pass as the service's current client: Prepare is called
    // in the client's turn, then the client waits for the service's notify.
    // False when the pass did not end in time.
    bool RunPass(TParameterService& S, const std::function<void(TServiceClient&)>& Prepare,
                 const std::function<void(TServiceClient&)>& Execute) {
        TServiceClient client;
        bool started = false, done = false;
        client.FOnExecute = [&](TServiceClient& C) {
            if (started) {
                done = true;
                C.Release();
                return;
            }
            started = true;
            Prepare(C);
            C.Wait(0x7FFFFFFF);
            Execute(C);
        };
        client.FOnNotify = [&](TObject*) {
            if (S.Provider().Status() == psWaitClient)
                client.Continue();
        };
        client.Connect(S.Provider());
        client.Request();
        const bool ok = RunUntil([&] { return done; }, std::chrono::seconds(10));
        if (!ok && S.Provider().CurrentClient() == &client)
            client.Release();
        return ok;
    }

    // Writes Text (in Mode) into the node of device UPID Upid in one pass.
    bool Write(TParameterService& S, std::int32_t Upid, const MyAnsiString& Text, const MyAnsiString& Mode = "HEX") {
        TParameter* p = S.FindParameterWithDeviceUPID(Upid);
        EXPECT_NE(p, nullptr);
        if (!p)
            return false;
        return RunPass(
            S,
            [&](TServiceClient& C) {
                S.PrepareModify(C);
                p->SetScaledValue(Text, usSI, Mode);
                p->Modify(C);
            },
            [&](TServiceClient& C) { S.ExecuteModify(C); });
    }
};

} // namespace vo::test
