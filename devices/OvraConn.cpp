#include "devices/OvraConn.h"

#include "comm/OvraServ.h"
#include "kernel/AnsiText.h"
#include "kernel/Debug.h"
#include "kernel/LanguageMan.h"
#include "kernel/MD5Generator.h"
#include "kernel/ShellServices.h"
#include "kernel/UserPrompt.h"

#include <cstdio>

namespace vo {

namespace {

using enum TOvraWorkState;
using enum TOvraWorkResult;

constexpr size_t PasswordSize = 16;
constexpr size_t ReleaseInfoSize = 32;
constexpr size_t DeviceStringSize = 16;

MyAnsiString Hex2(unsigned Value) {
    return ansi::Fmt("%.2X", Value & 0xFFu);
}

// The bytes up to the first 0x00 byte.
MyAnsiString CutAtZero(const MyAnsiString& S) {
    const size_t z = S.find('\0');
    return z == MyAnsiString::npos ? S : S.substr(0, z);
}

// A language text, or Default when the language definition has none.
MyAnsiString TextOrDefault(const char* KeyWord, const char* Default) {
    MyAnsiString text = LangText(KeyWord);
    return text.empty() ? MyAnsiString(Default) : text;
}

// The reply record of one raw telegram.
struct TRawReply {
    uint8_t Result = 0;
    MyAnsiString Frame;
};

// Reads the one reply record of a raw telegram. A reply the server could not
// execute ("ERROR") or that is malformed raises with its text.
TRawReply ReadRawReply(TMessageReader& Reader) {
    const MyAnsiString command = Reader.GetCommand();
    if (command == OvraReplyError) {
        const MyAnsiString text = Reader.GetParameter();
        throw Exception("Communication server error: " + (text.empty() ? MyAnsiString("no reason given") : text));
    }
    if (command.empty())
        throw Exception("Communication server error: empty reply");
    TRawReply reply;
    const int32_t result = MsgGetInt(Reader);
    if (result < 0 || result > 0xFF)
        throw Exception(ansi::Fmt("Communication server error: result %d out of range", result));
    reply.Result = static_cast<uint8_t>(result);
    if (reply.Result < 0x80 || reply.Result == 0xA4)
        reply.Frame = MsgGetStr(Reader);
    return reply;
}

bool IsLoginUser(const MyAnsiString& User) {
    return User.empty() || User == "GUEST" || User == "USER" || User == "SERVICE" || User == "DEVELOPER";
}

// Checks the facts every later telegram is shaped by.
void CheckFacts(const TOvraLoginFacts& Facts, const char* What) {
    if (Facts.AddrFieldSize < 3 || Facts.AddrFieldSize > 4)
        throw EOvraLoginAnswer(ansi::Fmt("Invalid %s: address field size %u (3 or 4 expected)!", What, Facts.AddrFieldSize));
    if (Facts.DataFieldSize == 0 || Facts.DataFieldSize > 4)
        throw EOvraLoginAnswer(ansi::Fmt("Invalid %s: data field size %u (1 to 4 expected)!", What, Facts.DataFieldSize));
    if (Facts.MaxBufferSize < 2 + Facts.DataFieldSize)
        throw EOvraLoginAnswer(ansi::Fmt("Invalid %s: buffer size %u is too small!", What, Facts.MaxBufferSize));
}

} // namespace

const char* OvraWorkStateText(TOvraWorkState State) {
    static const char* const names[] = {"stReady",
                                        "stOpenDevice",
                                        "stWaitForOpen",
                                        "stReadPassword",
                                        "stWaitForPassword",
                                        "stReadReleaseInfo",
                                        "stWaitForReleaseInfo",
                                        "stLoginDevice",
                                        "stWaitForLogin",
                                        "stCloseDevice",
                                        "stWaitForClose",
                                        "stError",
                                        "stChangeToOfflineDevice",
                                        "stWaitForCloseChangeToOfflineDevice",
                                        "stStartScanning",
                                        "stOpenDeviceScanning",
                                        "stWaitForOpenScanning",
                                        "stScanning",
                                        "stWaitForLoginScanning",
                                        "stLogout",
                                        "stWaitForLogout",
                                        "stWaitForCloseOffline"};
    const auto i = static_cast<size_t>(State);
    return i < std::size(names) ? names[i] : "?";
}

bool OvraProtocolAccepted(uint8_t Version) {
    switch (Version) {
    case 0x02:
    case 0x20:
    case 0x21:
    case 0x30:
    case 0x31:
    case 0x40:
    case 0x41:
    case 0x42: return true;
    default: return false;
    }
}

uint32_t OvraReleaseInfoAddress(uint8_t ProtocolVersion) {
    switch (ProtocolVersion & 0xF0) {
    case 0x30: return 0xA2001F48;
    case 0x40: return 0x300830;
    default: return 0x200748;
    }
}

MyAnsiString OvraPasswordFrame(const MyAnsiString& UserName, uint8_t ProtocolVersion) {
    const unsigned generation = ProtocolVersion & 0xF0;
    if (generation != 0x20 && generation != 0x30 && generation != 0x40)
        throw Exception("0x" + Hex2(ProtocolVersion) + ": unknown protocol version!");
    const bool v4 = generation == 0x40;
    if (UserName == "USER")
        return v4 ? MyAnsiString("\x15\x00\x44\x70\x10", 5) : MyAnsiString("\x88\x00\xC0\x0C", 4);
    if (UserName == "SERVICE")
        return v4 ? MyAnsiString("\x15\x00\x48\x70\x10", 5) : MyAnsiString("\x88\x00\xC5\x0C", 4);
    return {};
}

MyAnsiString OvraReleaseInfoFrame(uint8_t ProtocolVersion, uint8_t AddrFieldSize) {
    if (AddrFieldSize != 3 && AddrFieldSize != 4)
        return {};
    MyAnsiString frame(1, '\x30');
    FrmPutInt(OvraReleaseInfoAddress(ProtocolVersion), AddrFieldSize, frame);
    frame.push_back('\x20');
    return frame;
}

TOvraLoginFacts OvraDecodeLoginAnswer(const MyAnsiString& Frame) {
    TOvraLoginFacts f;
    try {
        int i = 3; // after the echo and the result byte
        f.ProtocolVersion = static_cast<uint8_t>(FrmGetInt(Frame, i, 1));
        f.AddrFieldSize = static_cast<uint8_t>(FrmGetInt(Frame, i, 1));
        f.DataFieldSize = static_cast<uint8_t>(FrmGetInt(Frame, i, 1));
        f.AddrIncrement = static_cast<uint8_t>(FrmGetInt(Frame, i, 1));
        f.MaxBufferSize = static_cast<uint8_t>(FrmGetInt(Frame, i, 1));
        f.ProcessorType = static_cast<uint16_t>(FrmGetInt(Frame, i, 2));
        f.DeviceType = static_cast<uint16_t>(FrmGetInt(Frame, i, 2));
        f.DeviceVersion = static_cast<uint16_t>(FrmGetInt(Frame, i, 2));
        f.FlashType = static_cast<uint16_t>(FrmGetInt(Frame, i, 2));
        // The address width must be known before the flash base is read.
        if (f.AddrFieldSize >= 3 && f.AddrFieldSize <= 4) {
            f.FlashBaseAddr = static_cast<int32_t>(FrmGetInt(Frame, i, f.AddrFieldSize));
            if (Frame.size() < static_cast<size_t>(i - 1) + DeviceStringSize)
                throw EOvraFrameTooShort("device string missing");
            f.DeviceString = CutAtZero(Frame.substr(static_cast<size_t>(i - 1), DeviceStringSize));
        }
    } catch (const EOvraFrameTooShort&) {
        throw EOvraLoginAnswer(ansi::Fmt("Invalid login answer: frame of %u bytes is too short!",
                                         static_cast<unsigned>(Frame.size())));
    }
    CheckFacts(f, "login answer");
    return f;
}

TOvraLoginFacts OvraDecodeLoginData(const MyAnsiString& LoginData) {
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    uint8_t v[4] = {};
    bool ok = LoginData.size() >= 8;
    for (size_t k = 0; ok && k < 4; ++k) {
        const int hi = digit(LoginData[2 * k]);
        const int lo = digit(LoginData[2 * k + 1]);
        ok = hi >= 0 && lo >= 0;
        v[k] = static_cast<uint8_t>(hi * 16 + lo);
    }
    if (!ok)
        throw EOvraLoginAnswer("Invalid LoginData '" + LoginData + "': four hexadecimal numbers of two digits expected!");
    TOvraLoginFacts f;
    f.ProtocolVersion = 0x20;
    f.AddrFieldSize = v[0];
    f.DataFieldSize = v[1];
    f.AddrIncrement = v[2];
    f.MaxBufferSize = v[3];
    CheckFacts(f, "LoginData");
    return f;
}

// ------------------------------------------------------------------ service

TOvraConnectionService::TOvraConnectionService(TDevice& ADevice, TSLDictionary* AProfDict)
    : TDeviceService(ADevice, AProfDict) {
    if (FCaption.empty())
        FCaption = "OvraService";
    RxQueue.LogOn(0);
    FRxTask = std::make_unique<TMxTask>("OvraService.RxTask");
    FRxTask->SetOnExecute([this](TMxTask& Sender) { RxWork(Sender); });
    FWorkTask = std::make_unique<TMxTask>("OvraService.WorkTask");
    FWorkTask->SetOnExecute([this](TMxTask& Sender) { Work(Sender); });
    FRxTask->Start();
    FWorkTask->Start();
}

TOvraConnectionService::~TOvraConnectionService() {
    FWorkTask.reset();
    FRxTask.reset();
    // The device is going away with the port still open: let the server close
    // it. The reply goes nowhere (info 0 is ignored by every service).
    if (FPortOpenSuccess && RxQueue.LoggedOn()) {
        try {
            MessageWriter.CreateMessage();
            MessageWriter.PutCommand("CloseDevice");
            MsgPutInt(MessageWriter, PortHandle());
            TMxMessage* m = MessageWriter.GetItem();
            MessageWriter.SetItem(nullptr);
            m->SetReceiver(static_cast<uint16_t>(FOvraServerCommId), FOvraServerDomain, 0);
            RxQueue.SendMessage(m);
        } catch (const std::exception& e) {
            LogInfo(MyAnsiString("OvraService: the port stays open: ") + e.what());
        }
    }
}

void TOvraConnectionService::RefreshDeviceFacts() {
    FPortName = FOwner->GetStrVar("PortName");
    FDeviceMACID = FOwner->DeviceMACID();
    FDeviceIP = FOwner->DeviceIP();
    FLoginData = FOwner->GetStrVar("LoginData");
}

void TOvraConnectionService::Initialize() {
    RefreshDeviceFacts();
    FOvraServerCommId = OvraServerIdent + 1;
    FOvraServerDataId = OvraServerIdent;
    FOvraServerDomain = OvraServerDomain;
}

void TOvraConnectionService::StartUp(bool& Wait) {
    if (FServiceStatus != dsStopped)
        return;
    // The opening code may set the device's port and login data after the
    // services were created.
    RefreshDeviceFacts();
    if (FOwner->DeviceType() == dtOnline) {
        SetServiceStatus(dsStarting);
        Wait = true;
        SetWorkState(stOpenDevice);
    } else {
        SetServiceStatus(dsStarted);
        SetWorkState(stReady);
    }
    WorkSignal.SetReady(true);
}

void TOvraConnectionService::ShutDown(bool& Wait) {
    if (FServiceStatus != dsStarted && FServiceStatus != dsError) {
        Wait = false;
        return;
    }
    if (FCloseFailed && FWorkState == stReady) {
        // The port refused to close and that was reported: trying again at
        // every turn of the device would never end.
        SetServiceStatus(dsStopped);
        Wait = false;
        return;
    }
    SetServiceStatus(dsStopping);
    Wait = true;
    // A close after an error that is still under way ends the stop itself.
    if (FWorkState == stReady) {
        SetWorkState(stLogout);
        WorkSignal.SetReady(true);
    }
}

void TOvraConnectionService::Kill() {
    throw Exception("kill not implemented");
}

void TOvraConnectionService::DoGetStrVar(const MyAnsiString& Name, MyAnsiString& Value, bool& Found) {
    if (ansi::SameText(Name, "FlashBaseAddr"))
        Value = std::to_string(FlashBaseAddr());
    else if (ansi::SameText(Name, "OvraVersion"))
        Value = std::to_string(ProtocolVersion());
    else if (ansi::SameText(Name, "MaxBufferSize"))
        Value = std::to_string(MaxBufferSize());
    else if (ansi::SameText(Name, "DeviceType"))
        Value = std::to_string(TOvraService::DeviceType());
    else
        return;
    Found = true;
}

void TOvraConnectionService::ChangeToOffline(bool& Wait) {
    Wait = false;
    if (FServiceStatus != dsStarted && FServiceStatus != dsError)
        return;
    if (!DeviceOnline() || FWorkState != stReady)
        return;
    Wait = true;
    SetWorkState(stChangeToOfflineDevice);
    WorkSignal.SetReady(true);
}

void TOvraConnectionService::CheckAddService(const MyAnsiString& AName, const TOvraPatternClass& APattern) const {
    TOvraClient* client = OvraClient();
    if (!client || !client->IsPatternRegistered(APattern))
        throw Exception(MyAnsiString(ClassName()) + ".AddService: pattern " + APattern.ClassName() + " is not registered");
    if (ServiceList.count(AName))
        throw Exception(MyAnsiString(ClassName()) + ".AddService: service " + AName + " already exists");
}

TOvraPattern* TOvraConnectionService::GetService(const MyAnsiString& AName) const {
    auto it = ServiceList.find(AName);
    return it == ServiceList.end() ? nullptr : it->second.get();
}

// ------------------------------------------------------------------ messages

bool TOvraConnectionService::SendOpenDevice() {
    FWorkResult = wrWait;
    try {
        if (FPortName.empty())
            throw Exception("OpenDevice: the device has no port name");
        MessageWriter.CreateMessage();
        MessageWriter.PutCommand("OpenDevice");
        MessageWriter.PutParameter(FPortName);
        MsgPutInt(MessageWriter, FDeviceMACID);
        MsgPutInt(MessageWriter, FDeviceIP);
        MsgPutInt(MessageWriter, OvraMsgInfo::Unsolicited);
        TMxMessage* m = MessageWriter.GetItem();
        MessageWriter.SetItem(nullptr);
        m->SetReceiver(static_cast<uint16_t>(FOvraServerCommId), FOvraServerDomain, OvraMsgInfo::OpenDevice);
        RxQueue.SendMessage(m); // an undeliverable message goes back to the pool
        return true;
    } catch (const std::exception& e) {
        if (TMxMessage* m = MessageWriter.GetItem()) {
            MessageWriter.SetItem(nullptr);
            TMxMessage::Free(m);
        }
        FWorkErrMsg = e.what();
        FWorkResult = wrError;
        return false;
    }
}

bool TOvraConnectionService::SendCloseDevice() {
    FWorkResult = wrWait;
    try {
        MessageWriter.CreateMessage();
        MessageWriter.PutCommand("CloseDevice");
        MsgPutInt(MessageWriter, PortHandle());
        TMxMessage* m = MessageWriter.GetItem();
        MessageWriter.SetItem(nullptr);
        m->SetReceiver(static_cast<uint16_t>(FOvraServerCommId), FOvraServerDomain, OvraMsgInfo::CloseDevice);
        RxQueue.SendMessage(m);
        return true;
    } catch (const std::exception& e) {
        FWorkErrMsg = MyAnsiString("CloseDevice: ") + e.what();
        FWorkResult = wrError;
        return false;
    }
}

bool TOvraConnectionService::SendRequest(uint8_t Info, const MyAnsiString& Frame) {
    FWorkResult = wrWait;
    try {
        if (Frame.empty())
            throw Exception("no telegram for this request");
        MessageWriter.CreateMessage();
        MessageWriter.PutCommand(MsgIntToText(OvraRawPatternId));
        MsgPutInt(MessageWriter, PortHandle());
        MsgPutStr(MessageWriter, Frame);
        TMxMessage* m = MessageWriter.GetItem();
        MessageWriter.SetItem(nullptr);
        m->SetReceiver(static_cast<uint16_t>(FOvraServerDataId), FOvraServerDomain, Info);
        RxQueue.SendMessage(m);
        return true;
    } catch (const std::exception& e) {
        FWorkErrMsg = e.what();
        FWorkResult = wrError;
        return false;
    }
}

// ------------------------------------------------------------------ work task

void TOvraConnectionService::WaitForAnswer(TMxTask& Sender) {
    WorkSignal.SetReady(false);
    Sender.WaitFor(WorkSignal, MxInfinite);
}

void TOvraConnectionService::Fail(const MyAnsiString& Text) {
    FWorkErrMsg = Text;
    SetWorkState(stError);
}

void TOvraConnectionService::UserCheck() {
    const MyAnsiString user = UpperCaseText(FOwner->GetStrVar("UserName"));
    const MyAnsiString port = UpperCaseText(FPortName);
    const MyAnsiString profile = UpperCaseText(FOwner->ProfileName());
    if (port == "ETH" && profile == "VELKORINSTALLETH" && user != "DEVELOPER" && user != "SERVICE") {
        Fail("Wrong user name!");
    } else if (user == "DEVELOPER") {
        if (CompareMD5(MD5Value(FOwner->GetStrVar("Password")), ShellServices().pswDeveloper())) {
            SetServiceStatus(dsStarted);
            SetWorkState(stReady);
        } else {
            Fail("Wrong password!");
        }
    } else if (user == "GUEST" || user.empty()) {
        SetServiceStatus(dsStarted);
        SetWorkState(stReady);
    } else {
        SetWorkState(stReadPassword);
    }
}

void TOvraConnectionService::StartWithLoginData() {
    try {
        TOvraLoginFacts facts = OvraDecodeLoginData(FLoginData);
        SetLoginFacts(facts);
        SetDeviceOnline(true);
        SetServiceStatus(dsStarted);
        SetWorkState(stReady);
    } catch (const std::exception& e) {
        Fail(e.what());
    }
}

void TOvraConnectionService::Work(TMxTask& Sender) {
    switch (FWorkState) {
    case stReady:
    case stStartScanning:
    case stOpenDeviceScanning:
    case stWaitForOpenScanning:
    case stScanning:
    case stWaitForLoginScanning: WaitForAnswer(Sender); return;

    case stOpenDevice: {
        FPortOpenSuccess = false;
        FCloseFailed = false;
        const MyAnsiString user = UpperCaseText(FOwner->GetStrVar("UserName"));
        if (!IsLoginUser(user)) {
            Fail("Unknown user name '" + FOwner->GetStrVar("UserName") + "'!");
            return;
        }
        SendOpenDevice();
        SetWorkState(stWaitForOpen);
        break;
    }
    case stWaitForOpen:
        if (FWorkResult == wrSuccess) {
            FPortOpenSuccess = true;
            SetWorkState(stLoginDevice);
            return;
        }
        if (FWorkResult != wrWait)
            SetWorkState(stError);
        break;

    case stLoginDevice:
        if (!FLoginData.empty()) {
            StartWithLoginData();
            return;
        }
        SendRequest(OvraMsgInfo::LoginDevice, MyAnsiString(1, '\x01'));
        SetWorkState(stWaitForLogin);
        break;
    case stWaitForLogin:
        switch (FWorkResult) {
        case wrWait: break;
        case wrSuccess: {
            const MyAnsiString port = UpperCaseText(FPortName);
            if (port == "OQP1" || port == "OQP2" || ProtocolVersion() == 0x02) {
                SetServiceStatus(dsStarted);
                SetWorkState(stReady);
            } else {
                SetWorkState(stReadReleaseInfo);
            }
            return;
        }
        case wrUnknownProtocol: Fail("0x" + Hex2(ProtocolVersion()) + ": Unknown ovra protocol version!"); return;
        case wrError: SetWorkState(stError); return;
        }
        break;

    case stReadReleaseInfo:
        SendRequest(OvraMsgInfo::ReadReleaseInfo, OvraReleaseInfoFrame(ProtocolVersion(), AddrFieldSize()));
        SetWorkState(stWaitForReleaseInfo);
        break;
    case stWaitForReleaseInfo:
        if (FWorkResult == wrSuccess) {
            UserCheck();
            return;
        }
        if (FWorkResult != wrWait)
            SetWorkState(stError);
        break;

    case stReadPassword: {
        MyAnsiString frame;
        try {
            frame = OvraPasswordFrame(UpperCaseText(FOwner->GetStrVar("UserName")), ProtocolVersion());
        } catch (const std::exception& e) {
            Fail(e.what());
            return;
        }
        if (frame.empty()) {
            Fail("Unknown user name '" + FOwner->GetStrVar("UserName") + "'!");
            return;
        }
        SendRequest(OvraMsgInfo::ReadPassword, frame);
        SetWorkState(stWaitForPassword);
        break;
    }
    case stWaitForPassword:
        if (FWorkResult == wrSuccess) {
            if (FPassword == FOwner->GetStrVar("Password")) {
                SetServiceStatus(dsStarted);
                SetWorkState(stReady);
            } else {
                Fail("Wrong password!");
            }
            return;
        }
        if (FWorkResult != wrWait)
            SetWorkState(stError);
        break;

    case stCloseDevice:
        // Whatever the device's type now: a port that was opened is closed.
        if (FPortOpenSuccess) {
            SendCloseDevice();
            SetWorkState(stWaitForClose);
            break;
        }
        SetServiceStatus(dsStopped);
        SetWorkState(stReady);
        return;
    case stWaitForClose:
        if (FWorkResult == wrWait)
            break;
        if (FWorkResult == wrSuccess) {
            FPortOpenSuccess = false;
            FCloseFailed = false;
            SetDeviceOnline(false);
            SetServiceStatus(dsStopped);
            SetWorkState(stReady);
            return;
        }
        // Reported once; the next error does not try to close again.
        FCloseFailed = true;
        SetWorkState(stError);
        return;

    case stError: {
        SetServiceStatus(dsError);
        const MyAnsiString text = FWorkErrMsg;
        LogError(text);
        SetWorkState(FPortOpenSuccess && !FCloseFailed ? stCloseDevice : stReady);
        ShowErrorMessage(text);
        return;
    }

    case stChangeToOfflineDevice:
        if (FOwner->SendLogout()) {
            SendRequest(OvraMsgInfo::LogoutDevice, MyAnsiString(1, '\x02'));
            SetWorkState(stWaitForCloseChangeToOfflineDevice);
        } else {
            SendCloseDevice();
            SetWorkState(stWaitForCloseOffline);
        }
        break;
    case stWaitForCloseChangeToOfflineDevice:
        if (FWorkResult == wrWait)
            break;
        SendCloseDevice();
        SetWorkState(stWaitForCloseOffline);
        break;
    case stWaitForCloseOffline:
        if (FWorkResult == wrWait)
            break;
        if (FWorkResult == wrSuccess)
            FPortOpenSuccess = false;
        SetDeviceOnline(false);
        SetServiceStatus(dsStarted);
        SetWorkState(stReady);
        return;

    case stLogout:
        if (FPortOpenSuccess && FOwner->DeviceType() == dtOnline) {
            if (UpperCaseText(FOwner->GetStrVar("UserName")) == "DEVELOPER")
                LogInfo("Logout Device");
            SendRequest(OvraMsgInfo::LogoutDevice, MyAnsiString(1, '\x02'));
            SetWorkState(stWaitForLogout);
        } else if (FPortOpenSuccess && FOwner->DeviceType() == dtConnectionLost) {
            SendCloseDevice();
            SetWorkState(stWaitForClose);
        } else {
            SetServiceStatus(dsStopped);
            SetWorkState(stReady);
            return;
        }
        break;
    case stWaitForLogout:
        if (FWorkResult == wrWait)
            break;
        SendCloseDevice();
        SetWorkState(stWaitForClose);
        break;
    }
    // A message is under way: wait for its answer. A message that could not
    // be sent is handled by the next step without waiting.
    if (FWorkResult == wrWait)
        WaitForAnswer(Sender);
}

// ------------------------------------------------------------------ receive task

void TOvraConnectionService::RxWork(TMxTask& Sender) {
    if (TMxMessage* m = RxQueue.GetMessage()) {
        TMxMessagePtr msg(m);
        try {
            RxAnswer(*msg);
        } catch (const std::exception& e) {
            MessageReader.SetItem(nullptr);
            LogInfo(MyAnsiString("OvraService.RxTask: ") + e.what());
        }
        MessageReader.SetItem(nullptr);
    }
    Sender.WaitFor(RxQueue, MxInfinite);
}

void TOvraConnectionService::Answered(TOvraWorkResult Result) {
    FWorkResult = Result;
    WorkSignal.SetReady(true);
}

void TOvraConnectionService::AnswerError(const MyAnsiString& Text) {
    FWorkErrMsg = Text;
    LogInfo("Error in OvraService.Work");
    Answered(wrError);
}

MyAnsiString TOvraConnectionService::ResultErrorText(uint8_t Result, bool PasswordRead) const {
    const MyAnsiString port = UpperCaseText(FPortName);
    if (Result == 0xB2) {
        if (port == "CAN")
            return TextOrDefault("DeviceTimeOutStrCAN", "No answer from the drive on the CAN bus!");
        if (port == "ETH")
            return TextOrDefault("DeviceTimeOutStrETH", "No answer from the drive over Ethernet!");
        return TextOrDefault("DeviceTimeOutStrRS", "No answer from the drive on the serial port!");
    }
    if (Result == 0xB3)
        return "Login aborted! Another instance is already logged into this drive!";
    if (Result == 0xC0 && PasswordRead) {
        const TShellServices& shell = ShellServices();
        const MyAnsiString program = shell.GetProductInfoStr("ProgramName") + " " + shell.GetProductInfoStr("ProgramVersionCaption");
        MyAnsiString text;
        try {
            text = LangTextFmt("IncompatibleFirmware", {program, FReleaseInfo, shell.GetCompanyInfoStr("HomePage")});
        } catch (const std::exception&) {
            text.clear();
        }
        if (text.empty())
            text = program + " does not support the firmware " + FReleaseInfo + " of this drive.";
        return text;
    }
    MyAnsiString text = "Device error: " + Hex2(Result) + "!\r";
    if (port == "CAN")
        text += LangText("CANDeviceError");
    return text;
}

void TOvraConnectionService::RxAnswer(TMxMessage& Msg) {
    const uint8_t info = Msg.Info;
    if (info == OvraMsgInfo::Unsolicited) {
        DispatchUnsolicited(Msg.GetText());
        return;
    }
    MessageReader.SetItem(&Msg);

    switch (info) {
    case OvraMsgInfo::OpenDevice: {
        MessageReader.GetCommand();
        const MyAnsiString status = MessageReader.GetParameter();
        const MyAnsiString second = MessageReader.GetParameter();
        if (FWorkState == stWaitForOpen) {
            if (status == "OK") {
                char* end = nullptr;
                const long handle = std::strtol(second.c_str(), &end, 10);
                if (second.empty() || *end != '\0') {
                    FWorkErrMsg = "OpenDevice: invalid device handle '" + second + "'";
                    Answered(wrError);
                    return;
                }
                SetPortHandle(static_cast<int32_t>(handle));
                Answered(wrSuccess);
            } else {
                FWorkErrMsg = second.empty() ? MyAnsiString("OpenDevice failed") : second;
                Answered(wrError);
            }
        } else {
            WorkSignal.SetReady(true);
        }
        return;
    }
    case OvraMsgInfo::CloseDevice: {
        if (FWorkState != stWaitForClose && FWorkState != stWaitForCloseOffline)
            return;
        MessageReader.GetCommand();
        const MyAnsiString status = MessageReader.GetParameter();
        const MyAnsiString second = MessageReader.GetParameter();
        if (status == "OK") {
            Answered(wrSuccess);
        } else {
            FWorkErrMsg = "CloseDevice: " + (second.empty() ? MyAnsiString("failed") : second);
            Answered(wrError);
        }
        return;
    }
    case OvraMsgInfo::LoginDevice:
    case OvraMsgInfo::LogoutDevice:
    case OvraMsgInfo::ReadPassword:
    case OvraMsgInfo::ReadReleaseInfo: break;
    default: return; // released unread
    }

    // The answer of a raw telegram, taken only in the state that waits for it.
    const TOvraWorkState awaited = info == OvraMsgInfo::LoginDevice ? stWaitForLogin
        : info == OvraMsgInfo::ReadPassword                         ? stWaitForPassword
        : info == OvraMsgInfo::ReadReleaseInfo                      ? stWaitForReleaseInfo
                                                                    : stWaitForLogout;
    if (FWorkState != awaited && !(info == OvraMsgInfo::LogoutDevice && FWorkState == stWaitForCloseChangeToOfflineDevice))
        return;

    TRawReply reply;
    try {
        reply = ReadRawReply(MessageReader);
    } catch (const std::exception& e) {
        AnswerError(e.what());
        return;
    }

    if (info == OvraMsgInfo::LogoutDevice) {
        Answered(reply.Result == 0 ? wrSuccess : wrError);
        return;
    }
    if (reply.Result != 0) {
        AnswerError(ResultErrorText(reply.Result, info == OvraMsgInfo::ReadPassword));
        return;
    }

    switch (info) {
    case OvraMsgInfo::LoginDevice: {
        TOvraLoginFacts facts;
        try {
            facts = OvraDecodeLoginAnswer(reply.Frame);
        } catch (const std::exception& e) {
            AnswerError(e.what());
            return;
        }
        SetLoginFacts(facts);
        Init(facts.ProtocolVersion);
        SetDeviceOnline(true);
        Answered(OvraProtocolAccepted(facts.ProtocolVersion) ? wrSuccess : wrUnknownProtocol);
        return;
    }
    case OvraMsgInfo::ReadPassword:
        if (reply.Frame.size() < 2 + PasswordSize) {
            AnswerError(ansi::Fmt("Invalid password answer: frame of %u bytes is too short!",
                                  static_cast<unsigned>(reply.Frame.size())));
            return;
        }
        FPassword = CutAtZero(reply.Frame.substr(2, PasswordSize));
        Answered(wrSuccess);
        return;
    case OvraMsgInfo::ReadReleaseInfo: {
        if (reply.Frame.size() < 2 + ReleaseInfoSize) {
            AnswerError(ansi::Fmt("Invalid release information: frame of %u bytes is too short!",
                                  static_cast<unsigned>(reply.Frame.size())));
            return;
        }
        MyAnsiString text = CutAtZero(reply.Frame.substr(2, ReleaseInfoSize));
        while (!text.empty() && (text.back() == ' ' || static_cast<uint8_t>(text.back()) == 0xFF))
            text.pop_back();
        FReleaseInfo = text;
        Answered(wrSuccess);
        return;
    }
    default: return;
    }
}

} // namespace vo
