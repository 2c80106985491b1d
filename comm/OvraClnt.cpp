#include "comm/OvraClnt.h"

#include "comm/OvraActr.h"
#include "kernel/Debug.h"

#include <algorithm>
#include <atomic>
#include <string>

namespace vo {

// ------------------------------------------------------------------ services

TOvraService* TOvraServiceHandle::Get() const {
    return FAnchor ? FAnchor->Service : nullptr;
}

TOvraService::TOvraService() : FAnchor(std::make_shared<TOvraServiceHandle::TAnchor>(TOvraServiceHandle::TAnchor{this})) {
}

TOvraService::~TOvraService() {
    FAnchor->Service = nullptr;
    while (!ListenerList.empty()) {
        TOvraListener* l = ListenerList.back();
        ListenerList.pop_back();
        l->FOvraService = nullptr;
    }
}

void TOvraService::Init(int32_t /*ProtocolVersion*/) {}

void TOvraService::AddListener(TOvraListener& Item) {
    if (std::find(ListenerList.begin(), ListenerList.end(), &Item) != ListenerList.end())
        throw Exception("TOvraService.AddListener: listener already in list");
    ListenerList.push_back(&Item);
}

void TOvraService::RemoveListener(TOvraListener& Item) {
    auto it = std::find(ListenerList.begin(), ListenerList.end(), &Item);
    if (it == ListenerList.end())
        throw Exception("TOvraService.RemoveListener: listener not in list");
    ListenerList.erase(it);
}

void TOvraService::DispatchUnsolicited(const MyAnsiString& Frame) {
    if (Frame.empty())
        return;
    const auto id = static_cast<uint8_t>(Frame[0]);
    // A listener may connect or disconnect listeners from its handler: walk
    // a copy and skip those that left meanwhile.
    const std::vector<TOvraListener*> listeners = ListenerList;
    for (TOvraListener* l : listeners) {
        if (std::find(ListenerList.begin(), ListenerList.end(), l) == ListenerList.end())
            continue;
        if (l->OvraId() == id)
            l->DoMessage(Frame);
    }
}

TOvraListener::~TOvraListener() {
    Disconnect();
}

void TOvraListener::Connect(TOvraService& AOvraService) {
    Disconnect();
    AOvraService.AddListener(*this);
    FOvraService = &AOvraService;
}

void TOvraListener::Disconnect() {
    if (!FOvraService)
        return;
    TOvraService* s = FOvraService;
    FOvraService = nullptr;
    s->RemoveListener(*this);
}

void TOvraListener::DoMessage(const MyAnsiString& Data) {
    if (FOnMessage)
        FOnMessage(Data, FInfo);
}

// ------------------------------------------------------------------ actors

TActorRecord& TOvraActor::Current(const char* Operation, const char* AtEnd) {
    TActorRecord* rec = CurrentRecord();
    if (!rec)
        throw Exception(std::string(ClassName()) + "." + Operation + ": " + AtEnd);
    return *rec;
}

void TOvraActor::WrongKind(const char* Operation) const {
    throw Exception(std::string(ClassName()) + "." + Operation + ": record holds data of another kind");
}

// ------------------------------------------------------------------ patterns

TOvraPattern::TOvraPattern(TOvraService* AOwner, uint8_t AOvraId)
    : FOwner(AOwner), FOwnerHandle(AOwner ? AOwner->Handle() : TOvraServiceHandle()), FOvraId(AOvraId) {
}

TServiceRecordHeader TOvraPattern::MakeHeader(uint8_t Command, int32_t User) const {
    TServiceRecordHeader h;
    h.OvraPat = PatternClass().GetPatternId();
    h.OvraIdt = Command;
    h.OvraSrv = FOwnerHandle;
    h.OvraRes = 0;
    h.OvraUsr = User;
    return h;
}

bool TOvraPattern::HeaderMatches(const TServiceRecordHeader& Header) const {
    return Header.OvraPat == PatternClass().GetPatternId() && Header.OvraIdt == FOvraId &&
        Header.OvraSrv == FOwnerHandle;
}

void TOvraPattern::CheckHeader(const TServiceRecordHeader& Header) const {
    if (!HeaderMatches(Header))
        throw Exception(ClassName() + ".Get: error in record header");
}

namespace {

class TRawFramePatternClass final : public TOvraPatternClass {
public:
    TRawFramePatternClass() : TOvraPatternClass("TRawFramePattern") { TOvraPatternClass::SetPatternId(OvraRawPatternId); }

    // The id is reserved; registration cannot change it.
    void SetPatternId(uint8_t) override {}

    void SetRequestFrameData(TOvraActor& Src, MyAnsiString& Frame) const override {
        const TOvraRecord<TRawFrameData> rec = Src.GetData<TRawFrameData>();
        if (!rec.RecDat.Request.empty())
            Frame.append(rec.RecDat.Request, 1); // the command byte is written already
    }

    void GetResponseFrameData(const MyAnsiString& Frame, TOvraActor& Dst) const override {
        TOvraRecord<TRawFrameData> rec = Dst.GetData<TRawFrameData>();
        int index = 2;
        rec.Header.OvraRes = static_cast<uint8_t>(FrmGetInt(Frame, index, 1));
        rec.RecDat.Response = Frame;
        Dst.SetData(rec);
    }
};

} // namespace

TOvraPatternClass& TRawFramePattern::Class() {
    static TRawFramePatternClass cls;
    return cls;
}

void TRawFramePattern::Put(TOvraActor& Actor, const MyAnsiString& Frame, int32_t User) const {
    if (Frame.empty())
        throw Exception(ClassName() + ".Put: empty frame");
    Actor.AddData(std::make_unique<TOvraRecord<TRawFrameData>>(MakeHeader(static_cast<uint8_t>(Frame[0]), User),
                                                               TRawFrameData{Frame, {}}));
}

bool TRawFramePattern::HeaderMatches(const TServiceRecordHeader& Header) const {
    return Header.OvraPat == OvraRawPatternId && Header.OvraSrv == OwnerHandle();
}

// ------------------------------------------------------------------ client

namespace {
std::atomic<TOvraClient*> GOvraClient{nullptr};
}

TOvraClient* OvraClient() noexcept {
    return GOvraClient.load();
}

void SetOvraClient(TOvraClient* Client) noexcept {
    GOvraClient.store(Client);
}

TOvraClient::TOvraClient() = default;

TOvraClient::~TOvraClient() {
    ActorList.clear();
    FAllActors.clear();
}

void TOvraClient::RegisterOvraPattern(TOvraPatternClass& APattern) {
    if (static_cast<int32_t>(PatternList.size()) >= OvraMaxPatterns)
        throw Exception(std::string(ClassName()) + ".RegisterOvraPattern: pattern list is full");
    if (IsPatternRegistered(APattern) || &APattern == &TRawFramePattern::Class())
        throw Exception(std::string(ClassName()) + ".RegisterOvraPattern: " + APattern.ClassName() +
                        " is already registerd");
    PatternList.push_back(&APattern);
    APattern.SetPatternId(static_cast<uint8_t>(PatternList.size()));
}

TOvraPatternClass& TOvraClient::GetOvraPattern(uint8_t APatternId) const {
    if (APatternId == OvraRawPatternId)
        return TRawFramePattern::Class();
    if (APatternId == 0 || APatternId > PatternList.size())
        throw Exception(std::string(ClassName()) + ".GetOvraPattern: no pattern with id " +
                        std::to_string(APatternId));
    return *PatternList[APatternId - 1u];
}

bool TOvraClient::IsPatternRegistered(const TOvraPatternClass& APattern) const {
    return std::find(PatternList.begin(), PatternList.end(), &APattern) != PatternList.end();
}

TOvraActor& TOvraClient::GetActor() {
    if (ActorList.empty()) {
        FAllActors.push_back(std::make_unique<TOvraActorImplementation>(*this));
        return *FAllActors.back();
    }
    TOvraActorImplementation* a = ActorList.back();
    ActorList.pop_back();
    a->FPooled = false;
    return *a;
}

TOvraActorImplementation* TOvraClient::Own(TOvraActor& Actor) const {
    auto* impl = dynamic_cast<TOvraActorImplementation*>(&Actor);
    if (!impl || &impl->OvraClient() != this)
        return nullptr;
    return impl;
}

void TOvraClient::PutActor(TOvraActor& Actor) {
    TOvraActorImplementation* impl = Own(Actor);
    if (!impl)
        throw Exception("wrong actor class type");
    if (impl->FPooled)
        throw Exception(std::string(ClassName()) + ".PutActor: actor is already pooled");
    impl->Clear(); // refuses a busy actor
    Pool(*impl);
}

void TOvraClient::ReleaseActor(TOvraActor& Actor) noexcept {
    TOvraActorImplementation* impl = Own(Actor);
    if (!impl || impl->FPooled)
        return;
    // Its user is gone: nobody is told about the reply.
    impl->SetOnResponse(nullptr);
    if (impl->GetBusy()) {
        impl->FPoolWhenDone = true;
        return;
    }
    try {
        impl->Clear();
        Pool(*impl);
    } catch (const std::exception& e) {
        LogInfo(MyAnsiString(e.what()) + " - " + ClassName() + ".ReleaseActor");
    }
}

void TOvraClient::Pool(TOvraActorImplementation& Actor) {
    Actor.FPoolWhenDone = false;
    Actor.FPooled = true;
    ActorList.push_back(&Actor);
}

void TOvraClient::PutRequestData(TOvraActor& Src, TMessageWriter& Dst) const {
    const TServiceRecordHeader h = Src.GetHeader();
    const TOvraPatternClass& pattern = GetOvraPattern(h.OvraPat);
    const TOvraService* service = h.OvraSrv.Get();
    MyAnsiString frame(1, static_cast<char>(h.OvraIdt));
    pattern.SetRequestFrameData(Src, frame);
    Dst.PutCommand(MsgIntToText(h.OvraPat));
    // A record whose service is gone names no device; the server answers it
    // with "no device" like any unknown handle.
    MsgPutInt(Dst, service ? service->PortHandle() : -1);
    MsgPutStr(Dst, frame);
}

void TOvraClient::GetResponseData(TMessageReader& Src, TOvraActor& Dst) const {
    TServiceRecordHeader h = Dst.GetHeader();
    const MyAnsiString command = Src.GetCommand();
    if (command.empty() || MsgTextToInt(command) != h.OvraPat)
        throw Exception("TServicePattern.GetResponseData: wrong pattern id");
    const int32_t result = MsgGetInt(Src);
    if (result < 0 || result > 0xFF)
        throw Exception("TServicePattern.GetResponseData: result " + MsgIntToText(result) + " out of range");
    h.OvraRes = static_cast<uint8_t>(result);
    if ((h.OvraRes & 0x80) != 0 && h.OvraRes != 0xA4) {
        // An error without data: the record keeps what Put stored.
        Dst.SetHeader(h);
        return;
    }
    const MyAnsiString frame = MsgGetStr(Src);
    const TOvraPatternClass& pattern = GetOvraPattern(h.OvraPat);
    MyAnsiString why;
    if (frame.size() < 2)
        why = "answer of " + std::to_string(frame.size()) + " bytes has no result";
    else if (static_cast<uint8_t>(frame[0]) != h.OvraIdt)
        why = "answer to command " + MsgIntToText(static_cast<uint8_t>(frame[0])) + " instead of " +
            MsgIntToText(h.OvraIdt);
    else {
        try {
            pattern.GetResponseFrameData(frame, Dst);
            return;
        } catch (const EOvraFrameTooShort& e) {
            why = e.what();
        }
    }
    // The answer does not fit the record: an error result, and the fields are
    // not taken from it.
    LogInfo(pattern.ClassName() + ".GetResponseFrameData: " + why + " (" + StrToHexStr(frame) + ")");
    h = Dst.GetHeader();
    h.OvraRes = OvraResBadReply;
    Dst.SetHeader(h);
}

// ------------------------------------------------------------------ frames

void FrmPutInt(uint32_t Value, int N, MyAnsiString& Frame) {
    for (int i = 0; i < N; ++i) {
        Frame.push_back(static_cast<char>(Value & 0xFF));
        Value = i < 3 ? Value >> 8 : 0;
    }
}

uint32_t FrmGetInt(const MyAnsiString& Frame, int& Index, int N) {
    if (N <= 0)
        return 0;
    if (Index < 1 || static_cast<size_t>(Index) - 1 + static_cast<size_t>(N) > Frame.size())
        throw EOvraFrameTooShort("FrmGetInt: frame too short (" + std::to_string(N) + " bytes at position " +
                                 std::to_string(Index) + " of " + std::to_string(Frame.size()) + ")");
    uint32_t value = 0;
    for (int i = 0; i < N && i < 4; ++i)
        value |= static_cast<uint32_t>(static_cast<uint8_t>(Frame[static_cast<size_t>(Index - 1 + i)])) << (8 * i);
    Index += N;
    return value;
}

} // namespace vo
