#include "devices/ExeInfNd.h"

#include "comm/OvraClnt.h"
#include "devices/QsBasic.h"
#include "kernel/AnsiText.h"
#include "kernel/Debug.h"
#include "kernel/MxTLib20.h"
#include "platform/Exception.h"

#include <algorithm>

namespace vo {

namespace {

// Offsets and widths by layout (index: ProSel).
constexpr size_t inoFileType[2] = {4, 4}, insFileType[2] = {2, 2};
constexpr size_t inoFileVers[2] = {6, 6}, insFileVers[2] = {2, 2};
constexpr size_t inoFileSubType[2] = {10, 10}, insFileSubType[2] = {2, 2};
constexpr size_t pnoTreeBaseName[2] = {12, 12}, pnsTreeBaseName[2] = {16, 16};
constexpr size_t pnoTreeSubName[2] = {28, 28}, pnsTreeSubName[2] = {16, 16};
constexpr size_t pnoTreeVersion[2] = {44, 44}, pnsTreeVersion[2] = {2, 2};
constexpr size_t pnoTreeSubVersion[2] = {46, 46}, pnsTreeSubVersion[2] = {2, 2};
constexpr size_t pnoTreeBetaInfo[2] = {48, 48}, pnsTreeBetaInfo[2] = {16, 16};
constexpr size_t pnoCompleteName[2] = {74, 76}, pnsCompleteName[2] = {62, 62};
constexpr size_t StartAddressOffset = 28, StartAddressWidth = 4;
constexpr size_t CustomOffset = 80;

MyAnsiString CutAtZero(MyAnsiString S) {
    const size_t z = S.find('\0');
    if (z != MyAnsiString::npos)
        S.resize(z);
    return S;
}

} // namespace

// ------------------------------------------------------------------ items

TInfoNodeItem::TInfoNodeItem(MyAnsiString NodeData, uint8_t AProSel)
    : FNodeData(std::move(NodeData)), FProSel(AProSel ? 1 : 0) {
    if (FNodeData.size() < MinNodeSize)
        throw Exception(MyAnsiString(ClassName()) + ".Create: node data error");
}

MyAnsiString TInfoNodeItem::Field(size_t Offset, size_t Width) const {
    if (Offset >= FNodeData.size())
        return {};
    return FNodeData.substr(Offset, Width);
}

MyAnsiString TInfoNodeItem::Text(size_t Offset, size_t Width) const {
    return CutAtZero(Field(Offset, Width));
}

int32_t TInfoNodeItem::Number(size_t Offset, size_t Width) const {
    return static_cast<int32_t>(BinToInt(Field(Offset, Width)));
}

int64_t TInfoNodeItem::BinToInt(const MyAnsiString& Bytes) {
    uint64_t v = 0;
    for (size_t i = Bytes.size(); i-- > 0;)
        v = (v << 8) | static_cast<uint8_t>(Bytes[i]);
    return static_cast<int64_t>(v);
}

int32_t TInfoNodeItem::GetFileType() const {
    return Number(inoFileType[FProSel], insFileType[FProSel]);
}
int32_t TInfoNodeItem::GetFileVersion() const {
    return Number(inoFileVers[FProSel], insFileVers[FProSel]);
}
int32_t TInfoNodeItem::GetFileSubType() const {
    return Number(inoFileSubType[FProSel], insFileSubType[FProSel]);
}
MyAnsiString TInfoNodeItem::GetFileName() const {
    return GetTreeBaseName();
}
MyAnsiString TInfoNodeItem::GetTreeBaseName() const {
    return Text(pnoTreeBaseName[FProSel], pnsTreeBaseName[FProSel]);
}
int32_t TInfoNodeItem::GetStartAddress() const {
    return Number(StartAddressOffset, StartAddressWidth);
}
MyAnsiString TInfoNodeItem::GetTreeSubName() const {
    return Text(pnoTreeSubName[FProSel], pnsTreeSubName[FProSel]);
}
int32_t TInfoNodeItem::GetTreeVersion() const {
    return Number(pnoTreeVersion[FProSel], pnsTreeVersion[FProSel]);
}
int32_t TInfoNodeItem::GetTreeSubVersion() const {
    return Number(pnoTreeSubVersion[FProSel], pnsTreeSubVersion[FProSel]);
}
MyAnsiString TInfoNodeItem::GetTreeBetaInfo() const {
    return Text(pnoTreeBetaInfo[FProSel], pnsTreeBetaInfo[FProSel]);
}
MyAnsiString TInfoNodeItem::GetCompleteName() const {
    return Text(pnoCompleteName[FProSel], pnsCompleteName[FProSel]);
}
MyAnsiString TInfoNodeItem::GetFileInfo() const {
    return Text(CustomOffset, MyAnsiString::npos);
}
MyAnsiString TInfoNodeItem::GetCustomStr(int32_t Index, int32_t Count) const {
    if (Index < 0 || Count <= 0)
        return {};
    return Text(CustomOffset + static_cast<size_t>(Index), static_cast<size_t>(Count));
}
int32_t TInfoNodeItem::GetCustomInt(int32_t Index, int32_t Count) const {
    if (Index < 0 || Count <= 0)
        return 0;
    return Number(CustomOffset + static_cast<size_t>(Index), std::min<size_t>(static_cast<size_t>(Count), 8));
}

// ------------------------------------------------------------------ list

TInfoNodeList::TInfoNodeList() : WorkSignal(std::make_unique<TMxSignal>()) {
    if (TOvraClient* client = OvraClient())
        WorkActor = &client->GetActor();
    WorkTask = std::make_unique<TMxTask>("InfoNodeList");
    WorkTask->SetOnExecute([this](TMxTask& Sender) { Work(Sender); });
    WorkTask->Start();
}

TInfoNodeList::~TInfoNodeList() {
    WorkTask.reset();
    WorkSignal.reset();
    if (WorkActor) {
        WorkActor->SetOnResponse(nullptr);
        WorkActor->OvraClient().ReleaseActor(*WorkActor);
    }
}

void TInfoNodeList::Clear() {
    FNodeList.clear();
}

TInfoNodeItem& TInfoNodeList::GetItem(int Index) const {
    if (Index < 0 || Index >= GetCount())
        throw Exception(MyAnsiString(ClassName()) + ".GetItem: index out of bounds");
    return *FNodeList[static_cast<size_t>(Index)];
}

void TInfoNodeList::ReadInfoNodes(TBasicOvraService& AOvraService, uint8_t ANodeType, TRespProc ARespProc) {
    if (FWorkState != TWorkState::stReady)
        throw Exception(MyAnsiString(ClassName()) + ".ReadInfoNodes: not ready");
    if (!AOvraService.DeviceOnline() || !WorkActor)
        throw Exception(MyAnsiString(ClassName()) + ".ReadInfoNodes: not on-line");
    Clear();
    FOvraService = &AOvraService;
    const uint8_t generation = AOvraService.ProtocolVersion() >> 4;
    FProSel = (generation == 3 || generation == 4) ? 1 : 0;
    FNodeType = ANodeType;
    FRespProc = std::move(ARespProc);
    CurrentNodeAddr = 0;
    FWorkState = TWorkState::stRead1;
    WorkSignal->SetReady(true);
}

void TInfoNodeList::Work(TMxTask& Sender) {
    TRespProc proc;
    try {
        switch (FWorkState) {
        case TWorkState::stRead1: ReadNextNode(); break;
        case TWorkState::stRead2: ReadCurrentNode(); break;
        case TWorkState::stRead3:
            FWorkState = TWorkState::stReady;
            proc = std::move(FRespProc);
            FRespProc = nullptr;
            WorkSignal->SetReady(false);
            break;
        case TWorkState::stReady: WorkSignal->SetReady(false); break;
        }
    } catch (const std::exception& e) {
        // A telegram that cannot be sent ends the walk with what was read.
        LogError(MyAnsiString(ClassName()) + ".Work: " + e.what());
        FWorkState = TWorkState::stRead3;
        WorkSignal->SetReady(true);
    }
    // Wait first: the procedure may start the next walk (or free the list).
    Sender.WaitFor(*WorkSignal, MxInfinite);
    if (proc)
        proc(*this);
}

void TInfoNodeList::ReadNextNode() {
    WorkSignal->SetReady(false);
    WorkActor->Clear();
    FOvraService->FindInfoNode()->Put(*WorkActor, CurrentNodeAddr, FNodeType, 0);
    WorkActor->SetOnResponse([this](TOvraActor& Actor) { FindResponse(Actor); });
    WorkActor->Execute();
}

void TInfoNodeList::FindResponse(TOvraActor& Actor) {
    Actor.Reset();
    if (Actor.GetResult() != 0) {
        FWorkState = TWorkState::stRead3;
    } else {
        const TFindInfoData d = FOvraService->FindInfoNode()->Get(Actor);
        CurrentNodeAddr = d.NodeAddr;
        CurrentNodeType = d.NodeType;
        CurrentNodeSize = d.NodeSize;
        FWorkState = TWorkState::stRead2;
    }
    Actor.Clear();
    WorkSignal->SetReady(true);
}

void TInfoNodeList::SkipCurrentNode() {
    CurrentNodeAddr += FOvraService->AddrIncrement();
    FWorkState = TWorkState::stRead1;
    WorkSignal->SetReady(true);
}

void TInfoNodeList::ReadCurrentNode() {
    const int32_t d = FOvraService->DataFieldSize();
    if (d == 0 || CurrentNodeSize % d != 0 || CurrentNodeSize < TInfoNodeItem::MinNodeSize) {
        // A damaged directory entry: reading it could only fail or find it
        // again, so the walk goes on behind it.
        SkipCurrentNode();
        LogError(ansi::Fmt("%s.ReadCurrentNode: node size error (Size = %d) at address %d", ClassName(),
                           int(CurrentNodeSize), int(CurrentNodeAddr - FOvraService->AddrIncrement())));
        return;
    }
    WorkSignal->SetReady(false);
    WorkActor->Clear();
    const int32_t maxSize = FOvraService->GetMemoryBlock()->GetMaxSize();
    if (maxSize <= 0) {
        SkipCurrentNode();
        LogError(MyAnsiString(ClassName()) + ".ReadCurrentNode: the drive's buffer holds no block");
        return;
    }
    int32_t address = CurrentNodeAddr;
    int32_t remaining = CurrentNodeSize;
    while (remaining > 0) {
        const int32_t n = std::min(remaining, maxSize);
        FOvraService->GetMemoryBlock()->Put(*WorkActor, address, static_cast<uint8_t>(n), 0);
        address += n / d * FOvraService->AddrIncrement();
        remaining -= n;
    }
    WorkActor->SetOnResponse([this](TOvraActor& Actor) { ReadResponse(Actor); });
    WorkActor->Execute();
}

void TInfoNodeList::ReadResponse(TOvraActor& Actor) {
    Actor.Reset();
    MyAnsiString data;
    for (int i = 0; i < Actor.Count(); ++i, Actor.Next()) {
        if (Actor.GetResult() != 0) {
            LogError("Error reading file info block");
            data.clear();
            break;
        }
        data += FOvraService->GetMemoryBlock()->GetData(Actor);
    }
    if (data.size() >= TInfoNodeItem::MinNodeSize) {
        auto item = std::make_unique<TInfoNodeItem>(std::move(data), static_cast<uint8_t>(FProSel));
        const int32_t sub = item->GetFileSubType();
        auto at = std::find_if(FNodeList.begin(), FNodeList.end(),
                               [sub](const std::unique_ptr<TInfoNodeItem>& n) { return n->GetFileSubType() > sub; });
        FNodeList.insert(at, std::move(item));
    }
    Actor.Clear();
    SkipCurrentNode();
}

} // namespace vo
