#pragma once
// The connection service of a device ("OvraService"): it connects one device
// to its drive. It opens the device through the communication server, logs in,
// learns the drive's facts from the login answer, checks the user against the
// drive, and at the end logs out and closes the device again; it also takes
// the device offline and hands the drive's unsolicited frames to its
// listeners.
//
// TOvraConnectionService is the device-service side of the client's
// TOvraService (comm/OvraClnt.h): every telegram record of the drive names it
// as its owning service and carries its device handle and login facts. Its
// subclass TBasicOvraService (devices/QsBasic.h) binds the telegram patterns
// by protocol generation and is the class registered as "OvraService".
//
// Two main-scheduler tasks: "OvraService.WorkTask" runs the connection state
// machine one state per step; "OvraService.RxTask" reads the server's answers
// from the service's queue (every message to the server is sent from it, so
// every answer and the drive's unsolicited frames arrive there). Messages to
// the server:
//
//   info 1  OpenDevice   command queue  "OpenDevice" port, MAC id, IP, 5
//   info 2  CloseDevice  command queue  "CloseDevice" handle
//   info 3  login        request queue  raw frame 01
//   info 4  logout       request queue  raw frame 02
//   info 6  password     request queue  by user and generation (below)
//   info 7  release text request queue  30, address (A bytes), 20
//
// Password reads: "USER" 88 00 C0 0C (0x2x, 0x3x) or 15 00 44 70 10 (0x4x);
// "SERVICE" 88 00 C5 0C or 15 00 48 70 10. "GUEST" (or no user) needs no
// password; "DEVELOPER" is checked locally against the shell's digest; any
// other user name is refused before a telegram is sent.
//
// Time-outs and retries are the server's. Every failure of the start ends in
// stError: the status becomes dsError, the text is logged and shown in an
// error box, and an opened port is closed again (the status then ends
// dsStopped). A close that fails after an error is reported once and not
// repeated.
#include "comm/OvraClnt.h"
#include "devices/DevMan.h"
#include "kernel/MsgTools.h"
#include "kernel/MxMLib20.h"
#include "kernel/MxTLib20.h"
#include "platform/AnsiString.h"

#include <cstdint>
#include <map>
#include <memory>

namespace vo {

enum class TOvraWorkState : uint8_t {
    stReady,
    stOpenDevice,
    stWaitForOpen,
    stReadPassword,
    stWaitForPassword,
    stReadReleaseInfo,
    stWaitForReleaseInfo,
    stLoginDevice,
    stWaitForLogin,
    stCloseDevice,
    stWaitForClose,
    stError,
    stChangeToOfflineDevice,
    stWaitForCloseChangeToOfflineDevice,
    stStartScanning,
    stOpenDeviceScanning,
    stWaitForOpenScanning,
    stScanning,
    stWaitForLoginScanning,
    stLogout,
    stWaitForLogout,
    stWaitForCloseOffline
};

enum class TOvraWorkResult : uint8_t { wrWait,
                                       wrSuccess,
                                       wrUnknownProtocol,
                                       wrError };

const char* OvraWorkStateText(TOvraWorkState State);

// The info codes of the service's messages to the server.
namespace OvraMsgInfo {
inline constexpr uint8_t OpenDevice = 1;
inline constexpr uint8_t CloseDevice = 2;
inline constexpr uint8_t LoginDevice = 3;
inline constexpr uint8_t LogoutDevice = 4;
inline constexpr uint8_t Unsolicited = 5;
inline constexpr uint8_t ReadPassword = 6;
inline constexpr uint8_t ReadReleaseInfo = 7;
} // namespace OvraMsgInfo

// Protocol versions a login accepts.
bool OvraProtocolAccepted(uint8_t Version);
// The address of the release text by protocol generation.
uint32_t OvraReleaseInfoAddress(uint8_t ProtocolVersion);
// The password read for a user (upper case) and protocol version: empty for
// users without a drive password; raises "0x<vv>: unknown protocol version!"
// for a generation other than 0x2x, 0x3x and 0x4x.
MyAnsiString OvraPasswordFrame(const MyAnsiString& UserName, uint8_t ProtocolVersion);
// The release-text read for the facts: empty for an address size other than
// 3 and 4.
MyAnsiString OvraReleaseInfoFrame(uint8_t ProtocolVersion, uint8_t AddrFieldSize);
// The login facts of a login answer (echo, result, fields). Raises
// EOvraLoginAnswer for an answer that cannot shape a telegram: shorter than
// its fields, an address size outside 3..4, a data size of 0, a buffer too
// small for one data word.
TOvraLoginFacts OvraDecodeLoginAnswer(const MyAnsiString& Frame);
// The login facts of a "LoginData" text (A, D, address increment, buffer size
// as four two-digit hexadecimal numbers; protocol 0x20). Raises
// EOvraLoginAnswer for a text that is not of that form or whose facts are
// refused like those of a login answer.
TOvraLoginFacts OvraDecodeLoginData(const MyAnsiString& LoginData);

class EOvraLoginAnswer : public Exception {
public:
    using Exception::Exception;
};

class TOvraConnectionService : public TDeviceService, public TOvraService {
public:
    TOvraConnectionService(TDevice& ADevice, TSLDictionary* AProfDict);
    // Ends both tasks; a port still open is closed at the server.
    ~TOvraConnectionService() override;

    const char* ClassName() const override { return "TOvraService"; }

    // Port name, MAC id and IP address of the device; the server addresses;
    // "LoginData".
    void Initialize() override;
    // Only from dsStopped: an online device opens and logs in (Wait), any
    // other device is started at once.
    void StartUp(bool& Wait) override;
    // From dsStarted or dsError: logout and close (Wait).
    void ShutDown(bool& Wait) override;
    // Raises "kill not implemented".
    void Kill() override;
    // "FlashBaseAddr", "OvraVersion", "MaxBufferSize", "DeviceType" in decimal.
    void DoGetStrVar(const MyAnsiString& Name, MyAnsiString& Value, bool& Found) override;
    // From dsStarted or dsError while logged in: (logout and) close (Wait).
    void ChangeToOffline(bool& Wait) override;
    // Binds the telegram patterns of a protocol generation.
    void Init(int32_t ProtocolVersion) override = 0;

    // A named pattern object of a registered pattern class. Raises
    // "<class>.AddService: pattern <pattern> is not registered" and
    // "<class>.AddService: service <name> already exists".
    template <class TPattern, class... A>
    TPattern& AddService(const MyAnsiString& AName, A... Args) {
        CheckAddService(AName, TPattern::Class());
        auto pattern = std::make_unique<TPattern>(this, Args...);
        TPattern& ref = *pattern;
        ServiceList.emplace(AName, std::move(pattern));
        return ref;
    }
    // The listed pattern object, nullptr when none.
    TOvraPattern* GetService(const MyAnsiString& AName) const;

    TOvraWorkState WorkState() const { return FWorkState; }
    TOvraWorkResult WorkResult() const { return FWorkResult; }
    const MyAnsiString& WorkErrMsg() const { return FWorkErrMsg; }
    bool PortOpenSuccess() const { return FPortOpenSuccess; }
    const MyAnsiString& ReleaseInfo() const { return FReleaseInfo; }
    const MyAnsiString& Password() const { return FPassword; }
    const MyAnsiString& PortName() const { return FPortName; }
    const MyAnsiString& DeviceString() const { return LoginFacts().DeviceString; }
    uint16_t ProcessorType() const { return LoginFacts().ProcessorType; }
    uint16_t DeviceVersion() const { return LoginFacts().DeviceVersion; }
    uint16_t FlashType() const { return LoginFacts().FlashType; }
    TMxTask& WorkTask() { return *FWorkTask; }
    TMxTask& RxTask() { return *FRxTask; }
    uint16_t QueueIdent() const { return RxQueue.GetQueueIdent(); }

private:
    void CheckAddService(const MyAnsiString& AName, const TOvraPatternClass& APattern) const;
    void RefreshDeviceFacts();

    // The work task's step and its states.
    void Work(TMxTask& Sender);
    // Clears the signal and waits on it.
    void WaitForAnswer(TMxTask& Sender);
    void SetWorkState(TOvraWorkState Value) { FWorkState = Value; }
    void Fail(const MyAnsiString& Text);
    void UserCheck();
    void StartWithLoginData();

    // Senders (each sets WorkResult to wrWait first); false when the message
    // could not be sent (WorkErrMsg says why).
    bool SendOpenDevice();
    bool SendCloseDevice();
    bool SendRequest(uint8_t Info, const MyAnsiString& Frame);

    // The receive task's step and its answers.
    void RxWork(TMxTask& Sender);
    void RxAnswer(TMxMessage& Msg);
    void Answered(TOvraWorkResult Result);
    // An answer that ends the step with an error: the text is kept and logged
    // as an error of the work task.
    void AnswerError(const MyAnsiString& Text);
    // The error text of a failed raw telegram.
    MyAnsiString ResultErrorText(uint8_t Result, bool PasswordRead) const;

    // Named pattern objects (AddService).
    std::map<MyAnsiString, std::unique_ptr<TOvraPattern>> ServiceList;

    uint8_t FMasterID = 0;
    MyAnsiString FPassword;
    MyAnsiString FReleaseInfo;
    bool FPortOpenSuccess = false;
    bool FCloseFailed = false; // the last close failed (reported once, not repeated)
    MyAnsiString FPortName;
    int32_t FDeviceMACID = 0;
    int32_t FDeviceIP = 0;
    int32_t FOvraServerCommId = 0;
    int32_t FOvraServerDataId = 0;
    uint8_t FOvraServerDomain = 0;
    MyAnsiString FLoginData;

    TOvraWorkState FWorkState = TOvraWorkState::stReady;
    TOvraWorkResult FWorkResult = TOvraWorkResult::wrWait;
    MyAnsiString FWorkErrMsg;
    TMxSignal WorkSignal;
    TMxQueue RxQueue;
    TMessageWriter MessageWriter;
    TMessageReader MessageReader;
    // Last: destroyed first, so that no step runs on a half-destroyed service.
    std::unique_ptr<TMxTask> FRxTask;
    std::unique_ptr<TMxTask> FWorkTask;
};

} // namespace vo
