#include "devices/OvraImpl.h"

#include "comm/OvraClnt.h"
#include "devices/DevMan.h"
#include "devices/QsBasic.h"
#include "kernel/MxTLib20.h"
#include "kernel/PrgObjs.h"

#include <algorithm>

namespace vo {

namespace {
TOvraInterfaceFactory* GFactory = nullptr;

TOvraClient& Client() {
    TOvraClient* c = OvraClient();
    if (!c)
        throw Exception("OvraInterface: communication client not created");
    return *c;
}
} // namespace

TOvraInterfaceFactory* OvraInterfaceFactory() noexcept {
    return GFactory;
}
void SetOvraInterfaceFactory(TOvraInterfaceFactory* Factory) noexcept {
    GFactory = Factory;
}

// ------------------------------------------------------------------ interface

TOvraInterfaceImplementation::TOvraInterfaceImplementation(TBasicOvraService& AOvraService)
    : FActor(&Client().GetActor()), FOvraService(&AOvraService) {
    FActor->SetOnResponse([this](TOvraActor& Actor) { Answer(Actor); });
}

TOvraInterfaceImplementation::~TOvraInterfaceImplementation() {
    FActor->SetOnResponse({});
    if (TOvraClient* c = OvraClient())
        c->ReleaseActor(*FActor);
}

TOvraActor& TOvraInterfaceImplementation::Begin(const char* Operation) {
    if (FState != TOvraInterfaceState::stIdle)
        throw Exception(MyAnsiString("OvraInterface.") + Operation + ": interface not ready");
    FActor->Clear();
    return *FActor;
}

void TOvraInterfaceImplementation::Send(TOvraInterfaceState AState) {
    FState = AState;
    try {
        FActor->Execute();
    } catch (...) {
        FState = TOvraInterfaceState::stIdle;
        FActor->Clear();
        throw;
    }
}

void TOvraInterfaceImplementation::Refuse(TOvraInterfaceState AState) {
    FState = AState;
    if (!FRefusal) {
        FRefusal = TMxTask::CreateMain("OvraInterface.Refused");
        FRefusal->SetOnExecute([this](TMxTask& Sender) {
            Sender.Terminate();
            Finish(OvraResNotSupported);
        });
    }
    FRefusal->Start();
}

void TOvraInterfaceImplementation::Answer(TOvraActor& Actor) {
    Actor.Reset();
    const uint8_t result = Actor.GetResult();
    TBasicOvraService& s = *FOvraService;
    using enum TOvraInterfaceState;
    switch (FState) {
    case stRead:
        if (result == 0)
            FData = s.GetMemoryWord()->GetData(Actor);
        break;
    case stLogin:
        if (result == 0) { // a refused login leaves the facts alone
            TOvraLoginFacts facts = s.LoginFacts();
            const auto login = s.DeviceLogin()->Get(Actor);
            facts.ProtocolVersion = login.ProtocolVersion;
            facts.DataFieldSize = login.DataFieldSize;
            facts.AddrFieldSize = login.AddrFieldSize;
            facts.AddrIncrement = login.AddrIncrement;
            facts.FlashBaseAddr = login.FlashBaseAddr;
            s.SetLoginFacts(facts);
        }
        break;
    case stGetFirstEmptyAddr:
        if (result == 0)
            FData = s.GetFirstEmptyAddr()->GetData(Actor);
        break;
    // The custom answer keeps the bytes after a drive status too (empty after
    // an error result). A block read by UPID delivers its result only: its
    // callers read DataStr of the read before.
    case stGetParWithUPID: FDataStr = s.GetParWithUPID()->GetResponse(Actor); break;
    case stGetInstanceTreeName: FDataStr = s.GetInstanceTreeName()->GetData(Actor); break;
    default: break;
    }
    Actor.Clear();
    Finish(result);
}

void TOvraInterfaceImplementation::Finish(uint8_t Result) {
    FError = Result;
    FState = TOvraInterfaceState::stIdle;
    if (FOnResponse)
        FOnResponse(*this);
}

void TOvraInterfaceImplementation::ReadMemory(int32_t AAddress) {
    TOvraActor& a = Begin("ReadMemory");
    FAddress = AAddress;
    FOvraService->GetMemoryWord()->Put(a, AAddress, 0);
    Send(TOvraInterfaceState::stRead);
}

void TOvraInterfaceImplementation::WriteMemory(int32_t AAddress, int32_t AData) {
    TOvraActor& a = Begin("WriteMemory");
    FAddress = AAddress;
    FData = AData;
    FOvraService->SetMemoryWord()->Put(a, AAddress, AData, 0);
    Send(TOvraInterfaceState::stWrite);
}

void TOvraInterfaceImplementation::WriteFlash(int32_t AAddress, int32_t AData) {
    TOvraActor& a = Begin("WriteFlash");
    FAddress = AAddress;
    FData = AData;
    FOvraService->SetFlashWord()->Put(a, AAddress, AData, 0);
    Send(TOvraInterfaceState::stFlash);
}

void TOvraInterfaceImplementation::StartProgram() {
    FOvraService->StartProgram()->Put(Begin("StartProgram"), 0);
    Send(TOvraInterfaceState::stStart);
}

void TOvraInterfaceImplementation::StopProgram() {
    FOvraService->StopProgram()->Put(Begin("StopProgram"), 0);
    Send(TOvraInterfaceState::stStop);
}

void TOvraInterfaceImplementation::OldStartProgram(int32_t AAddress) {
    FOvraService->OldStartProgram()->Put(Begin("OldStartProgram"), AAddress, 0);
    Send(TOvraInterfaceState::stStart);
}

void TOvraInterfaceImplementation::EraseFlash(int32_t AAddress) {
    TOvraActor& a = Begin("EraseFlash");
    FAddress = AAddress;
    FOvraService->EraseFlash()->Put(a, AAddress, 0);
    Send(TOvraInterfaceState::stErase);
}

void TOvraInterfaceImplementation::EraseFlashAll() {
    FOvraService->EraseFlashAll()->Put(Begin("EraseFlashAll"), 0);
    Send(TOvraInterfaceState::stEraseAll);
}

void TOvraInterfaceImplementation::ResetDevice() {
    FOvraService->ResetDevice()->Put(Begin("ResetDevice"), 0);
    Send(TOvraInterfaceState::stReset);
}

void TOvraInterfaceImplementation::RebootDevice(int32_t Option) {
    FOvraService->RebootDevice()->Put(Begin("RebootDevice"), static_cast<uint8_t>(Option), 0);
    Send(TOvraInterfaceState::stReboot);
}

void TOvraInterfaceImplementation::DeviceLogin(const MyAnsiString& APassword) {
    FOvraService->DeviceLogin()->Put(Begin("LoginDevice"), APassword, 0);
    Send(TOvraInterfaceState::stLogin);
}

void TOvraInterfaceImplementation::DeviceLogout() {
    FOvraService->DeviceLogout()->Put(Begin("DeviceLogout"), 0);
    Send(TOvraInterfaceState::stLogout);
}

void TOvraInterfaceImplementation::CopyRamToFlash(int32_t RamStartAddr, int32_t FlashStartAddr, int32_t BlockSize) {
    FOvraService->CopyRamToFlash()->Put(Begin("CopyRamToFlash"), RamStartAddr, FlashStartAddr, BlockSize, 0);
    Send(TOvraInterfaceState::stCopyRamToFlash);
}

void TOvraInterfaceImplementation::GetFirstEmptyAddr(int32_t StartAddr, int32_t EndAddr) {
    FOvraService->GetFirstEmptyAddr()->Put(Begin("GetFirstEmptyAddr"), StartAddr, EndAddr, 0);
    Send(TOvraInterfaceState::stGetFirstEmptyAddr);
}

void TOvraInterfaceImplementation::BlinkDevice(const MyAnsiString& AStr) {
    FOvraService->BlinkDevice()->Put(Begin("BlinkDevice"), AStr, 0);
    Send(TOvraInterfaceState::stBlinkDevice);
}

void TOvraInterfaceImplementation::SetParWithUPID(const MyAnsiString& AStr) {
    FOvraService->SetParWithUPID()->Put(Begin("SetParWithUPID"), AStr, 0);
    Send(TOvraInterfaceState::stSetParWithUPID);
}

void TOvraInterfaceImplementation::GetParWithUPID(const MyAnsiString& AStr) {
    FOvraService->GetParWithUPID()->Put(Begin("GetParWithUPID"), AStr, 0);
    Send(TOvraInterfaceState::stGetParWithUPID);
}

void TOvraInterfaceImplementation::SetBlockUPID(const MyAnsiString& AStr) {
    TOvraActor& a = Begin("SetBlockUPID");
    if (!FOvraService->SetBlockUPID())
        return Refuse(TOvraInterfaceState::stSetBlockUPID);
    FOvraService->SetBlockUPID()->Put(a, AStr, 0);
    Send(TOvraInterfaceState::stSetBlockUPID);
}

void TOvraInterfaceImplementation::GetBlockUPID(const MyAnsiString& AStr) {
    TOvraActor& a = Begin("GetBlockUPID");
    if (!FOvraService->GetBlockUPID())
        return Refuse(TOvraInterfaceState::stGetBlockUPID);
    FOvraService->GetBlockUPID()->Put(a, AStr, 0);
    Send(TOvraInterfaceState::stGetBlockUPID);
}

void TOvraInterfaceImplementation::ClearInstancePar(int32_t Instance) {
    FOvraService->ClearInstancePar()->Put(Begin("ClearInstancePar"), Instance, 0);
    Send(TOvraInterfaceState::stClearPar);
}

void TOvraInterfaceImplementation::ClearInstanceAll(int32_t Instance) {
    FOvraService->ClearInstanceAll()->Put(Begin("ClearInstanceAll"), Instance, 0);
    Send(TOvraInterfaceState::stClearAll);
}

void TOvraInterfaceImplementation::SetInstanceDefPar(int32_t Instance) {
    FOvraService->SetInstanceDefPar()->Put(Begin("SetInstanceDefPar"), Instance, 0);
    Send(TOvraInterfaceState::stSetDefPar);
}

void TOvraInterfaceImplementation::GetInstanceTreeName(int32_t Instance) {
    FOvraService->GetInstanceTreeName()->Put(Begin("GetInstanceTreeName"), Instance, 0);
    Send(TOvraInterfaceState::stGetInstanceTreeName);
}

void TOvraInterfaceImplementation::UpdateUPIDList() {
    FOvraService->UpdateUPIDList()->Put(Begin("UpdateUPIDList"), 0, 0);
    Send(TOvraInterfaceState::stUpdateUPID);
}

void TOvraInterfaceImplementation::EraseMemory() {
    FOvraService->EraseMemory()->Put(Begin("EraseMemory"), 0);
    Send(TOvraInterfaceState::stEraseMemory);
}

void TOvraInterfaceImplementation::CurveSaveRamToFlash() {
    FOvraService->CurveSaveRamToFlash()->Put(Begin("CurveSaveRamToFlash"), 0);
    Send(TOvraInterfaceState::stCurveSaveRamToFlash);
}

void TOvraInterfaceImplementation::CTSaveRamToFlash() {
    FOvraService->CTSaveRamToFlash()->Put(Begin("CTSaveRamToFlash"), 0);
    Send(TOvraInterfaceState::stCTSaveRamToFlash);
}

// ------------------------------------------------------------------ factory

TOvraInterfaceFactoryImplementation::TOvraInterfaceFactoryImplementation(TDeviceManager* Manager)
    : FManager(Manager) {}

TOvraInterfaceFactoryImplementation::~TOvraInterfaceFactoryImplementation() = default;

TOvraInterface& TOvraInterfaceFactoryImplementation::CreateOvraInterface(const MyAnsiString& DeviceName) {
    TDeviceManager* m = FManager ? FManager : DeviceManager();
    if (!m)
        throw Exception("TOvraInterfaceFactory.CreateOvraInterface: device manager not created");
    TDeviceService& service = m->GetService(DeviceName, "OvraService");
    auto* basic = dynamic_cast<TBasicOvraService*>(&service);
    if (!basic)
        throw Exception("TOvraInterfaceFactory.CreateOvraInterface: service OvraService of device " + DeviceName +
                        " is no TBasicOvraService");
    FInterfaces.push_back(std::make_unique<TOvraInterfaceImplementation>(*basic));
    return *FInterfaces.back();
}

void TOvraInterfaceFactoryImplementation::ReleaseOvraInterface(TOvraInterface& AOvraInterface) {
    auto it = std::find_if(FInterfaces.begin(), FInterfaces.end(),
                           [&](const std::unique_ptr<TOvraInterface>& i) { return i.get() == &AOvraInterface; });
    if (it != FInterfaces.end())
        FInterfaces.erase(it);
}

void InitOvraInterfaceServer() {
    static std::unique_ptr<TOvraInterfaceFactoryImplementation> factory;
    if (factory)
        throw Exception("InitOvraInterfaceServer: the factory exists already");
    auto f = std::make_unique<TOvraInterfaceFactoryImplementation>();
    TOvraInterfaceFactory* iface = f.get();
    ObjectRegistryManager().RegisterObject<TOvraInterfaceFactory>(iface, "OvraInterfaceFactory", "OvraInterfaceFactory",
                                                                  1, 0);
    factory = std::move(f);
    SetOvraInterfaceFactory(iface);
}

} // namespace vo
