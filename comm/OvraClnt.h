#pragma once
// The GUI-side half of drive communication.
//
// TOvraClient is the program's one registry of telegram pattern classes and
// the pool of reusable actors. A telegram pattern knows how one kind of drive
// telegram is laid out; an actor (TOvraActor, implemented in OvraActr)
// collects telegram records of any patterns for the drives and sends them to
// the communication server as one request message; the reply comes back
// asynchronously and the actor calls its OnResponse handler.
//
// Records. Every record an actor holds starts with a TServiceRecordHeader
// {pattern id, command code, owning connection service, result, user value}
// followed by the pattern's own data. Records are typed objects
// (TOvraRecord<TData>); the owning service is held by a handle that knows when
// its service is gone, never by an address copied as bytes.
//
// Frames. A request frame is the command byte followed by the pattern's request
// bytes; a response frame is the command byte echoed by the drive, one result
// (status) byte, then the response data, multi-byte integers little-endian.
//
// Results (the record's OvraRes): 0 success; other values below 0x80 are the
// drive's own statuses and come with the answer frame; values with bit 7 set
// are errors without data, except 0xA4, whose data is decoded like a success.
// The client adds OvraResBadReply for an answer it cannot decode: a reply that
// does not fit the request, an answer to another command, or a frame shorter
// than the record's fields. A record is never decoded from bytes past its frame.
//
// Pattern id 0xFF is reserved for raw frames (TRawFramePattern): the request
// frame is given as it is and the whole answer frame is kept.
//
// Everything here runs on the main scheduler in the GUI thread; no locks.
#include "kernel/MsgTools.h"
#include "platform/AnsiString.h"
#include "platform/Exception.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace vo {

// The answer to a record could not be decoded (client side).
inline constexpr uint8_t OvraResBadReply = 0xBE;
// The pattern id of raw frames.
inline constexpr uint8_t OvraRawPatternId = 0xFF;
// The registry hands out the ids 1 .. OvraMaxPatterns, so that no registered
// class ever gets the raw-frame id.
inline constexpr int32_t OvraMaxPatterns = 254;

enum TActorState : uint8_t {
    astReady, // empty
    astInit, // records added
    astExecuting, // request sent, reply pending
    astDone // reply processed
};

class TOvraActor;
class TOvraActorImplementation;
class TOvraClient;
class TOvraListener;
class TOvraService;

// A frame is shorter than the fields read from it.
class EOvraFrameTooShort : public Exception {
public:
    using Exception::Exception;
};

// ------------------------------------------------------------------ services

// Names a connection service without owning it. It answers nullptr once its
// service is destroyed, so a record that outlives its service is sent with no
// device handle instead of reading freed memory.
class TOvraServiceHandle {
public:
    TOvraServiceHandle() = default;
    // The service, or nullptr when the handle is empty or the service is gone.
    TOvraService* Get() const;
    bool Empty() const { return !FAnchor; }
    // Handles of the same service (or both empty) are equal.
    bool operator==(const TOvraServiceHandle& Other) const { return FAnchor == Other.FAnchor; }

private:
    friend class TOvraService;
    struct TAnchor {
        TOvraService* Service;
    };
    explicit TOvraServiceHandle(std::shared_ptr<TAnchor> Anchor) : FAnchor(std::move(Anchor)) {}
    std::shared_ptr<TAnchor> FAnchor;
};

// The facts a drive tells in its login answer; every later frame is shaped by
// them (address and data widths, buffer size).
struct TOvraLoginFacts {
    uint8_t ProtocolVersion = 0;
    uint8_t DataFieldSize = 0;
    uint8_t AddrFieldSize = 0;
    uint8_t AddrIncrement = 0;
    uint8_t MaxBufferSize = 0;
    uint16_t ProcessorType = 0;
    uint16_t DeviceType = 0;
    uint16_t DeviceVersion = 0;
    uint16_t FlashType = 0;
    int32_t FlashBaseAddr = 0;
    MyAnsiString DeviceString;
};

// The connection side of one drive as the client needs it: the device handle
// the server gave when it opened the drive, the login facts, and the listeners
// of unsolicited frames. The device's connection service builds on it.
class TOvraService {
public:
    TOvraService();
    // Disconnects every listener (last first); handles answer nullptr.
    virtual ~TOvraService();
    TOvraService(const TOvraService&) = delete;
    TOvraService& operator=(const TOvraService&) = delete;

    virtual const char* ClassName() const { return "TOvraService"; }

    // Binds the telegram patterns of a protocol generation (the basic
    // connection service does; the base binds nothing).
    virtual void Init(int32_t ProtocolVersion);

    TOvraServiceHandle Handle() const { return TOvraServiceHandle(FAnchor); }

    // The device handle of every telegram record of this drive (-1: none).
    int32_t PortHandle() const { return FPortIdent; }
    void SetPortHandle(int32_t Handle) { FPortIdent = Handle; }
    // Logged in: the login facts are valid.
    bool DeviceOnline() const { return FDeviceOnline; }
    void SetDeviceOnline(bool Value) { FDeviceOnline = Value; }

    const TOvraLoginFacts& LoginFacts() const { return FLoginFacts; }
    void SetLoginFacts(const TOvraLoginFacts& Facts) { FLoginFacts = Facts; }
    uint8_t ProtocolVersion() const { return FLoginFacts.ProtocolVersion; }
    uint8_t DataFieldSize() const { return FLoginFacts.DataFieldSize; }
    uint8_t AddrFieldSize() const { return FLoginFacts.AddrFieldSize; }
    uint8_t AddrIncrement() const { return FLoginFacts.AddrIncrement; }
    uint8_t MaxBufferSize() const { return FLoginFacts.MaxBufferSize; }
    uint16_t DeviceType() const { return FLoginFacts.DeviceType; }
    int32_t FlashBaseAddr() const { return FLoginFacts.FlashBaseAddr; }

    // Raises "TOvraService.AddListener: listener already in list".
    void AddListener(TOvraListener& Item);
    // Raises "TOvraService.RemoveListener: listener not in list".
    void RemoveListener(TOvraListener& Item);
    size_t ListenerCount() const { return ListenerList.size(); }
    // A drive frame that answers no pending request: every connected listener
    // whose id equals the frame's first byte gets it, in connection order. An
    // empty frame, or one nobody listens for, is dropped.
    void DispatchUnsolicited(const MyAnsiString& Frame);

private:
    std::shared_ptr<TOvraServiceHandle::TAnchor> FAnchor;
    int32_t FPortIdent = -1;
    bool FDeviceOnline = false;
    TOvraLoginFacts FLoginFacts;
    std::vector<TOvraListener*> ListenerList; // not owned
};

// Receives the unsolicited frames of one command code from a service.
class TOvraListener {
public:
    using TOvraListenerEvent = std::function<void(const MyAnsiString& Data, int32_t Info)>;

    explicit TOvraListener(uint8_t AOvraId = 0, int32_t AInfo = 0) : FOvraId(AOvraId), FInfo(AInfo) {}
    ~TOvraListener(); // disconnects
    TOvraListener(const TOvraListener&) = delete;
    TOvraListener& operator=(const TOvraListener&) = delete;

    // Disconnects from a previous service first.
    void Connect(TOvraService& AOvraService);
    void Disconnect();
    // Calls OnMessage(Data, Info) when assigned.
    void DoMessage(const MyAnsiString& Data);

    uint8_t OvraId() const { return FOvraId; }
    void SetOvraId(uint8_t Id) { FOvraId = Id; }
    int32_t Info() const { return FInfo; }
    void SetInfo(int32_t Info) { FInfo = Info; }
    TOvraService* OvraService() const { return FOvraService; }
    void SetOnMessage(TOvraListenerEvent Handler) { FOnMessage = std::move(Handler); }

private:
    friend class TOvraService;
    uint8_t FOvraId;
    int32_t FInfo;
    TOvraService* FOvraService = nullptr;
    TOvraListenerEvent FOnMessage;
};

// ------------------------------------------------------------------ records

struct TServiceRecordHeader {
    uint8_t OvraPat = 0; // pattern id of the class that built the record
    uint8_t OvraIdt = 0; // the drive command code (first request byte)
    TOvraServiceHandle OvraSrv; // the connection service of the drive
    uint8_t OvraRes = 0; // the result; 0 when put
    int32_t OvraUsr = 0; // the caller's value, carried unchanged
};

// One telegram record held by an actor.
struct TActorRecord {
    virtual ~TActorRecord() = default;
    TServiceRecordHeader Header;
};

// The record of one pattern kind: the header, then the pattern's data.
template <class TData>
struct TOvraRecord final : TActorRecord {
    TOvraRecord() = default;
    TOvraRecord(TServiceRecordHeader AHeader, TData ARecDat) : RecDat(std::move(ARecDat)) {
        Header = std::move(AHeader);
    }
    TData RecDat{};
};

// ------------------------------------------------------------------ actors

using TActorEvent = std::function<void(TOvraActor& Actor)>;

// A batch of telegram records for the drives, sent to the server as one
// request message and answered asynchronously (see OvraActr for the only
// implementation). Take one with TOvraClient::GetActor and give it back with
// PutActor (or hold a TOvraActorLease).
class TOvraActor {
public:
    explicit TOvraActor(TOvraClient& AOvraClient) : FOvraClient(AOvraClient) {}
    virtual ~TOvraActor() = default;
    TOvraActor(const TOvraActor&) = delete;
    TOvraActor& operator=(const TOvraActor&) = delete;

    virtual const char* ClassName() const { return "TOvraActor"; }

    // The service of the current record (nullptr when it is gone); at the end
    // raises "<class>.GetOvraService: tried to read at the end".
    virtual TOvraService* GetOvraService() = 0;
    virtual void Clear() = 0;
    virtual void Execute() = 0;
    virtual void Reset() = 0;
    virtual void Next() = 0;
    // Header fields of the current record; "Index Error" at the end.
    virtual uint8_t GetResult() = 0;
    virtual int32_t GetUser() = 0;
    virtual uint8_t GetService() = 0;
    virtual bool GetBusy() const = 0;
    virtual int32_t GetIndex() const = 0;
    virtual int32_t GetCount() const = 0;
    // Appends a record and makes it current.
    virtual void AddData(std::unique_ptr<TActorRecord> Rec) = 0;

    // Copies of the current record. At the end GetData raises
    // "<class>.GetData: no more entries" and SetData "<class>.SetData: end of
    // data set"; a record of another kind raises "<class>.GetData: record
    // holds data of another kind" ("... .SetData: ...").
    template <class TData>
    TOvraRecord<TData> GetData() {
        return Typed<TData>(Current("GetData", "no more entries"), "GetData");
    }
    template <class TData>
    void SetData(const TOvraRecord<TData>& Rec) {
        Typed<TData>(Current("SetData", "end of data set"), "SetData") = Rec;
    }
    // The header of the current record, whatever its kind.
    TServiceRecordHeader GetHeader() { return Current("GetData", "no more entries").Header; }
    void SetHeader(const TServiceRecordHeader& Header) { Current("SetData", "end of data set").Header = Header; }

    bool IsBusy() const { return GetBusy(); }
    int32_t Count() const { return GetCount(); }

    // Called once per completed Execute (on the main scheduler).
    void SetOnResponse(TActorEvent Handler) { FOnResponse = std::move(Handler); }
    const TActorEvent& OnResponse() const { return FOnResponse; }
    TActorState Info() const { return FInfo; }
    const MyAnsiString& Name() const { return FName; }
    void SetName(MyAnsiString Name) { FName = std::move(Name); }
    TOvraClient& OvraClient() const { return FOvraClient; }

protected:
    // The current record, nullptr at the end.
    virtual TActorRecord* CurrentRecord() = 0;

    TActorEvent FOnResponse;
    TActorState FInfo = astReady;
    MyAnsiString FName;
    TOvraClient& FOvraClient;

private:
    TActorRecord& Current(const char* Operation, const char* AtEnd);
    template <class TData>
    TOvraRecord<TData>& Typed(TActorRecord& Rec, const char* Operation) {
        auto* typed = dynamic_cast<TOvraRecord<TData>*>(&Rec);
        if (!typed)
            WrongKind(Operation);
        return *typed;
    }
    [[noreturn]] void WrongKind(const char* Operation) const;
};

// ------------------------------------------------------------------ patterns

// The class side of a telegram pattern kind: its class-wide pattern id and how
// its records become request bytes and how an answer frame fills them. One
// object per kind (a static of the pattern's unit); the client registers it.
class TOvraPatternClass {
public:
    explicit TOvraPatternClass(MyAnsiString AClassName) : FClassName(std::move(AClassName)) {}
    virtual ~TOvraPatternClass() = default;
    TOvraPatternClass(const TOvraPatternClass&) = delete;
    TOvraPatternClass& operator=(const TOvraPatternClass&) = delete;

    const MyAnsiString& ClassName() const { return FClassName; }
    // The class-wide pattern id (0: not registered).
    virtual void SetPatternId(uint8_t Id) { FPatternId = Id; }
    virtual uint8_t GetPatternId() const { return FPatternId; }
    // Appends to Frame (which holds the command byte) the request bytes of the
    // actor's current record.
    virtual void SetRequestFrameData(TOvraActor& Src, MyAnsiString& Frame) const = 0;
    // Decodes a complete answer frame (echo, status, data) into the actor's
    // current record. Fields missing from the frame raise EOvraFrameTooShort.
    virtual void GetResponseFrameData(const MyAnsiString& Frame, TOvraActor& Dst) const = 0;

private:
    MyAnsiString FClassName;
    uint8_t FPatternId = 0;
};

// A pattern object: one drive operation of one connection service, bound to a
// command code. Pattern kinds derive from it and add a typed Put and getters.
class TOvraPattern {
public:
    TOvraPattern(TOvraService* AOwner, uint8_t AOvraId);
    virtual ~TOvraPattern() = default;
    TOvraPattern(const TOvraPattern&) = delete;
    TOvraPattern& operator=(const TOvraPattern&) = delete;

    virtual const TOvraPatternClass& PatternClass() const = 0;
    const MyAnsiString& ClassName() const { return PatternClass().ClassName(); }
    TOvraService* Owner() const { return FOwner; }
    uint8_t OvraId() const { return FOvraId; }

protected:
    // Adds a record {class id, command code, owner, result 0, User; Data}.
    template <class TData>
    void Put(TOvraActor& Actor, TData Data, int32_t User) const {
        Actor.AddData(std::make_unique<TOvraRecord<TData>>(MakeHeader(OvraId(), User), std::move(Data)));
    }
    // The current record after the header check: a record of another
    // pattern, command or drive raises "<class>.Get: error in record header".
    template <class TData>
    TOvraRecord<TData> Get(TOvraActor& Actor) const {
        TOvraRecord<TData> rec = Actor.GetData<TData>();
        CheckHeader(rec.Header);
        return rec;
    }
    TServiceRecordHeader MakeHeader(uint8_t Command, int32_t User) const;
    const TOvraServiceHandle& OwnerHandle() const { return FOwnerHandle; }
    virtual bool HeaderMatches(const TServiceRecordHeader& Header) const;
    void CheckHeader(const TServiceRecordHeader& Header) const;

private:
    TOvraService* FOwner;
    TOvraServiceHandle FOwnerHandle;
    uint8_t FOvraId;
};

// Raw frames under the reserved pattern id 0xFF: the request frame is sent as
// it is (command byte first) and the whole answer frame is kept.
struct TRawFrameData {
    MyAnsiString Request; // the whole request frame
    MyAnsiString Response; // the whole answer frame (echo, status, data); empty after an error result
};

class TRawFramePattern : public TOvraPattern {
public:
    static TOvraPatternClass& Class();

    explicit TRawFramePattern(TOvraService* AOwner) : TOvraPattern(AOwner, 0) {}
    const TOvraPatternClass& PatternClass() const override { return Class(); }

    // Adds a record for Frame; raises "TRawFramePattern.Put: empty frame" for
    // an empty one.
    void Put(TOvraActor& Actor, const MyAnsiString& Frame, int32_t User) const;
    TRawFrameData Get(TOvraActor& Actor) const { return TOvraPattern::Get<TRawFrameData>(Actor).RecDat; }
    MyAnsiString GetRequest(TOvraActor& Actor) const { return Get(Actor).Request; }
    MyAnsiString GetResponse(TOvraActor& Actor) const { return Get(Actor).Response; }

protected:
    // The command code is the record's own.
    bool HeaderMatches(const TServiceRecordHeader& Header) const override;
};

// ------------------------------------------------------------------ client

class TOvraClient {
public:
    TOvraClient();
    // Frees every actor, pooled or not: actors must not be used afterwards.
    ~TOvraClient();
    TOvraClient(const TOvraClient&) = delete;
    TOvraClient& operator=(const TOvraClient&) = delete;

    const char* ClassName() const { return "TOvraClient"; }

    // Appends the class and gives it its 1-based position as pattern id.
    // Raises "<client>.RegisterOvraPattern: pattern list is full" (254
    // classes) and "<client>.RegisterOvraPattern: <pattern> is already
    // registerd".
    void RegisterOvraPattern(TOvraPatternClass& APattern);
    // The class with that id (0xFF: the raw-frame class); raises
    // "<client>.GetOvraPattern: no pattern with id <id>".
    TOvraPatternClass& GetOvraPattern(uint8_t APatternId) const;
    bool IsPatternRegistered(const TOvraPatternClass& APattern) const;
    int32_t PatternCount() const { return static_cast<int32_t>(PatternList.size()); }

    // An actor for exclusive use: the most recently returned one, or a new
    // one (on the main scheduler) when the pool is empty.
    TOvraActor& GetActor();
    // Gives an actor back: raises "wrong actor class type" for an actor that
    // is not one of this client's, the actor's "Clear: actor is busy" while
    // busy (the actor is then not pooled) and "<client>.PutActor: actor is
    // already pooled" for one given back twice.
    void PutActor(TOvraActor& Actor);
    // Gives an actor back in any state and never raises: a busy actor is
    // pooled when its reply has been processed, without calling OnResponse
    // (its user is gone).
    void ReleaseActor(TOvraActor& Actor) noexcept;
    size_t PooledActorCount() const { return ActorList.size(); }
    size_t ActorCount() const { return FAllActors.size(); }

    // Writes the actor's current record into the request message.
    void PutRequestData(TOvraActor& Src, TMessageWriter& Dst) const;
    // Reads the next reply record into the actor's current record.
    void GetResponseData(TMessageReader& Src, TOvraActor& Dst) const;

private:
    friend class TOvraActorImplementation;
    TOvraActorImplementation* Own(TOvraActor& Actor) const;
    void Pool(TOvraActorImplementation& Actor); // the actor is cleared

    std::vector<TOvraPatternClass*> PatternList; // not owned (statics of the pattern units)
    std::vector<std::unique_ptr<TOvraActorImplementation>> FAllActors;
    std::vector<TOvraActorImplementation*> ActorList; // the pool
};

// Takes an actor from the client and gives it back when it goes out of scope
// (TOvraClient::ReleaseActor). It must not outlive the client.
class TOvraActorLease {
public:
    explicit TOvraActorLease(TOvraClient& Client) : FClient(&Client), FActor(&Client.GetActor()) {}
    ~TOvraActorLease() {
        if (FActor)
            FClient->ReleaseActor(*FActor);
    }
    TOvraActorLease(const TOvraActorLease&) = delete;
    TOvraActorLease& operator=(const TOvraActorLease&) = delete;

    TOvraActor& operator*() const { return *FActor; }
    TOvraActor* operator->() const { return FActor; }
    TOvraActor& Get() const { return *FActor; }

private:
    TOvraClient* FClient;
    TOvraActor* FActor;
};

// The program's client (nullptr until the composition root sets it).
TOvraClient* OvraClient() noexcept;
void SetOvraClient(TOvraClient* Client) noexcept;

// ------------------------------------------------------------------ frames

// Appends N bytes of Value, least significant first (N at most 4; more
// bytes are zeros).
void FrmPutInt(uint32_t Value, int N, MyAnsiString& Frame);
// The N bytes at the 1-based position Index as an unsigned little-endian
// number (N = 0 gives 0); advances Index by N. Bytes beyond the frame raise
// EOvraFrameTooShort ("FrmGetInt: frame too short").
uint32_t FrmGetInt(const MyAnsiString& Frame, int& Index, int N);

} // namespace vo
