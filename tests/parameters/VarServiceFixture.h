#pragma once
// A device with the variable service beside the parameter service, logged in
// over a pseudo-terminal to the simulated drive vx41 (whose variables come
// from the same module descriptions), and an actor without a server whose
// records a test fills and answers as the server would.
#include "comm/OvraClnt.h"
#include "kernel/MsgTools.h"
#include "kernel/MxMLib20.h"
#include "parameters/varService.h"
#include "tests/parameters/ParLoginFixture.h"
#include "tests/support/RecordActor.h"

#include <iostream>
#include <vector>

namespace vo::test {


class VarServiceTestBase : public ParLoginTestBase {
protected:
    void RegisterServices() override {
        ParLoginTestBase::RegisterServices();
        Manager->RegisterServiceClass("VariableService", DeviceServiceClass<TVariableService>());
        if (VariableManager().GetClassCount() == 0)
            RegisterVariableClasses(VariableManager());
    }

    static TVariableService& Vars(TDevice& D) { return *D.FindService<TVariableService>("VariableService"); }

    // A device on the sample drive, logged in with every service started.
    TDevice& LoggedIn(const char* User = "USER", const char* Password = "user") {
        TDevice& d = NewDevice("VelkorOnline", User, Password);
        EXPECT_TRUE(Start(d));
        if (Vars(d).ServiceStatus() != dsStarted) {
            ADD_FAILURE() << "variable service not started";
            for (const std::string& l : Trace.Lines()) std::cerr << l << "\n";
        }
        return d;
    }

    // Runs one batch the way a view does it, in its own turn at the provider:
    // Mark is called between PrepareValueRequest and ExecuteValueRequest.
    // True when the answer came back in time.
    bool Batch(TVariableService& S, const std::function<void()>& Mark) {
        const int before = S.BatchCount();
        TServiceClient client;
        bool done = false;
        client.FOnExecute = [&](TServiceClient& C) {
            S.PrepareValueRequest();
            Mark();
            S.ExecuteValueRequest();
            done = true;
            C.Release();
        };
        client.Connect(S.Provider());
        client.Request();
        return RunUntil([&] { return done && S.BatchCount() > before && !S.GetUpdateRunning() &&
                                  S.Provider().Status() == psIdle; },
                        std::chrono::seconds(10));
    }

    // The request frame of every record of the actor, as hexadecimal texts.
    std::vector<std::string> Requests(TOvraActor& A) {
        std::vector<std::string> out;
        A.Reset();
        for (int i = 0; i < A.GetCount(); ++i, A.Next()) {
            TMessageWriter w;
            w.CreateMessage();
            Client->PutRequestData(A, w);
            TMxMessagePtr m(w.GetItem());
            TMessageReader r;
            r.SetItem(m.get());
            r.GetCommand();
            MsgGetInt(r);
            out.push_back(SimToHex(MsgGetStr(r)));
            r.SetItem(nullptr);
        }
        A.Reset();
        return out;
    }
    // Hands each record its answer frame (hex: echo, status, data) as the
    // server's reply does; the result is the frame's second byte.
    void Answer(TOvraActor& A, const std::vector<std::string>& Frames) {
        A.Reset();
        for (const std::string& hex : Frames) {
            const MyAnsiString frame = SimHex(hex);
            const int result = frame.size() >= 2 ? static_cast<uint8_t>(frame[1]) : 0xB2;
            TMessageWriter w;
            w.CreateMessage();
            w.PutCommand(MsgIntToText(A.GetHeader().OvraPat));
            MsgPutInt(w, result);
            if (result < 0x80 || result == 0xA4)
                MsgPutStr(w, frame);
            TMxMessagePtr m(w.GetItem());
            TMessageReader r;
            r.SetItem(m.get());
            Client->GetResponseData(r, A);
            r.SetItem(nullptr);
            A.Next();
        }
        A.Reset();
    }

    // The frames a drive received that read or write by UPID or memory.
    std::vector<std::string> ValueFrames() const {
        std::vector<std::string> out;
        for (const std::string& f : FramesIn())
            for (const char* cmd : {"88 ", "89 ", "15 ", "16 ", "30 ", "31 ", "13 "})
                if (f.rfind(cmd, 0) == 0)
                    out.push_back(f);
        return out;
    }
};

} // namespace vo::test
