#pragma once
// The status service of a device ("StatusService"): whether the drive is
// reachable and whether its firmware runs.
//
// It polls the drive's status word every 500 ms with its own actor on its own
// main-scheduler task "StatusService", keeps the answer as a bit word
// (MainState) that views and services read through the getters below, shows
// it as the image of the device's node, notices a drive that stops answering
// (word 1, the device becomes dtConnectionLost until the next good answer) or
// another drive answering in its place (word 2, the connection-lost dialog),
// and carries out the requests to start, stop, reset or blink the drive, to
// set it up from a firmware or setup file (the script "PackInst\Load.sct")
// and to take the device offline. One request is out at a time; a request
// made meanwhile is taken at the next step after the answer.
//
// A status answer with the result 0xEC ends the handling of that answer, but
// the service is ready again: the polling goes on and a shutdown completes.
// A setup file with an unknown extension is refused once (the request is
// dropped) instead of at every step.
#include "devices/DevMan.h"
#include "platform/AnsiString.h"
#include "platform/Time.h"

#include <cstdint>
#include <memory>

namespace vo {

class TBasicOvraService;
class TModuleService;
class TMxSignal;
class TMxTask;
class TOvraActor;
class TScriptTaskInterface;
class TServiceProvider;

// The poll interval and the idle wait of a service that is not started.
inline TTimeConstant StatusServicePollInterval{"StatusService.PollInterval", 500};
inline TTimeConstant StatusServiceIdleWait{"StatusService.IdleWait", 2000};

// Images of the device's node.
inline constexpr int ImageNoConnection = 88;
inline constexpr int ImageOffline = 87;
inline constexpr int ImageStarting = 122;
inline constexpr int ImageRunningWithError = 121;
inline constexpr int ImageRunning = 119;
inline constexpr int ImageStopped = 120;

class TStatusService : public TDeviceService {
public:
    enum class TWorkState : uint8_t { wsReady,
                                      wsWait,
                                      wsLogin,
                                      wsGoingOffline };

    TStatusService(TDevice& AOwner, TSLDictionary* AProfDict);
    ~TStatusService() override;

    const char* ClassName() const override { return "TStatusService"; }

    void StartUp(bool& Wait) override;
    void ShutDown(bool& Wait) override;
    void Kill() override {}

    // Requests.
    void StartDevice();
    void StopDevice();
    void ResetDevice();
    void BlinkDevice();
    void GoOffline();
    // FileName: ".H86", ".E86", ".GR2", ".GR3", ".HX2" or ".HX3" (any case).
    void SetupDevice(const MyAnsiString& FileName, bool ADebugMode);

    // The status bit word.
    int32_t MainState() const { return FMainState; }
    bool GetOnline() const { return (FMainState & 0x8000) != 0; }
    bool GetRunning() const { return (FMainState & 0x4000) != 0; }
    bool GetControllerError() const { return (FMainState & 0x2000) != 0; }
    bool GetControllerStarting() const { return (FMainState & 0x0400) != 0; }
    bool GetInstancePresent(int Index) const;
    bool GetInstanceRunning(int Index) const;
    // Read these two only while GetOnline is false.
    bool GetCommWarning() const { return (FMainState & 0x0001) != 0; }
    bool GetCommError() const { return (FMainState & 0x0002) != 0; }

    // How many status answers came from the drive so far: a word read after
    // a request tells the drive's own view, not one set by an answer to it.
    uint64_t StatusAnswerCount() const { return FStatusAnswers; }

    TWorkState WorkState() const { return FWorkState; }
    // The number of status words read from the drive so far (a status shown
    // after a stop request is the drive's own once two more were read).
    std::uint32_t StatusReadCount() const { return FStatusReadCount; }
    TServiceProvider& Provider() const { return *FProvider; }
    TMxTask& WorkTask() const { return *FWorkTask; }
    bool DeviceInfoValid() const { return FDeviceInfoValid; }
    bool SetupRequest() const { return FSetupRequest; }

private:
    void Work(TMxTask& Sender);
    // The step of wsReady with the drive online; false: end without a wait.
    bool WorkReady();
    void ActorResponse(TOvraActor& Actor);
    void StatusAnswer(TOvraActor& Actor, bool& Stop);
    void DeviceChanged(uint16_t SerLow, uint16_t SerHigh, uint16_t Part);
    void DeviceResponse();
    void Setup();
    void ScriptTaskResponse();
    void SetMainState(int32_t Value);
    void UpdateImage();
    void Signal();

    TBasicOvraService* FOvraService = nullptr;
    TModuleService* FModuleService = nullptr;
    TOvraActor* FOvraActor = nullptr;
    TWorkState FWorkState = TWorkState::wsReady;
    int32_t FMainState = 0;
    int32_t FCommErrorCount = 0;
    uint64_t FStatusAnswers = 0;
    bool FStartRequest = false;
    bool FStopRequest = false;
    bool FResetRequest = false;
    bool FSetupRequest = false;
    bool FBlinkDeviceRequest = false;
    bool FGoOfflineRequest = false;
    bool FDeviceInfoValid = false;
    uint16_t FSerNbrLow = 0;
    uint16_t FSerNbrHigh = 0;
    uint16_t FPartNbr = 0;
    bool FSendLogout = false;
    bool FShutDownRequest = false;
    MyAnsiString FFileName;
    bool FDebugMode = false;
    bool FUpdateOpen = false; // the bracket opened before going offline
    bool FAwaitingAnswer = false; // the task waits for the answer without a time limit
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true); // for the setup script's answer
    std::uint32_t FStatusReadCount = 0;
    std::unique_ptr<TServiceProvider> FProvider;
    std::unique_ptr<TMxSignal> WorkSignal;
    std::unique_ptr<TMxTask> FWorkTask; // last: destroyed first
};

} // namespace vo
