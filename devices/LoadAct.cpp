#include "devices/LoadAct.h"

#include "comm/OvraClnt.h"
#include "devices/QsBasic.h"
#include "platform/Exception.h"

namespace vo {

TOvraCommandPlugin::TOvraCommandPlugin(TBasicOvraService& AOvraService)
    : FOvraService(AOvraService), Actor(&OvraClient()->GetActor()) {
    Actor->SetName("Ovra Command Plugin Actor");
    Actor->SetOnResponse([this](TOvraActor&) { ActorResponse(); });
}

TOvraCommandPlugin::~TOvraCommandPlugin() {
    Actor->SetOnResponse(nullptr);
    Actor->OvraClient().ReleaseActor(*Actor);
}

void TOvraCommandPlugin::Fail(const char* What) const { throw Exception(MyAnsiString(ClassName()) + What); }

void TOvraCommandPlugin::Open(TLoaderPluginResponse RespProc) {
    if (FOpenFlag || FBusyFlag)
        Fail(".Open: plugin state error");
    FRespProc = std::move(RespProc);
    FOpenFlag = true;
    FBusyFlag = false;
    FErrorFlag = false;
    FErrorMsg.clear();
}

void TOvraCommandPlugin::Close(bool Abort) {
    (void)Abort;
    if (FBusyFlag)
        Fail(".Close: plugin state error");
    FOpenFlag = false;
    if (FRespProc)
        FRespProc(*this);
}

void TOvraCommandPlugin::Data(int32_t Address, void* DataPtr, int32_t Size, bool Flush) {
    (void)Address;
    (void)Size;
    (void)Flush;
    if (FBusyFlag || !FOpenFlag)
        Fail(".PutData: plugin state error");
    FCmdPtr = static_cast<TOvraCommandRecord*>(DataPtr);
    TOvraCommandRecord& c = *FCmdPtr;
    TBasicOvraService& s = FOvraService;
    Actor->Clear();
    switch (c.Command) {
    case 0: s.StopProgram()->Put(*Actor, 0); break;
    case 1: s.StartProgram()->Put(*Actor, 0); break;
    case 2: s.EraseFlash()->Put(*Actor, c.Address, 0); break;
    case 3: s.GetMemoryWord()->Put(*Actor, c.Address, 0); break;
    case 4: s.SetMemoryWord()->Put(*Actor, c.Address, c.Data, 0); break;
    case 5: s.SetFlashWord()->Put(*Actor, c.Address, c.Data, 0); break;
    case 6: s.GetMemoryString()->Put(*Actor, c.Address, c.MaxSize, 0); break;
    case 7: s.SetMemoryString()->Put(*Actor, c.Address, c.MaxSize, c.Str.substr(0, 255), 0); break;
    default:
        FErrorFlag = true;
        FErrorMsg = "unknown command";
        return;
    }
    FBusyFlag = true;
    Actor->Execute();
}

void TOvraCommandPlugin::ActorResponse() {
    Actor->Reset();
    TOvraCommandRecord& c = *FCmdPtr;
    c.OvraRes = Actor->GetIndex() < Actor->GetCount() ? Actor->GetResult() : OvraResBadReply;
    if (c.OvraRes == 0) {
        if (c.Command == 3)
            c.Data = FOvraService.GetMemoryWord()->GetData(*Actor);
        else if (c.Command == 6)
            c.Str = FOvraService.GetMemoryString()->GetData(*Actor);
    }
    FBusyFlag = false;
    FOpenFlag = false;
    if (FRespProc)
        FRespProc(*this);
}

} // namespace vo
