#pragma once
// Block reader: reads a range of drive memory larger than one telegram. The
// range is split into get-block records that fit the drive's buffer, all sent
// as one request of the reader's own actor; the owner's response event is
// called once when every record has been answered, after which the bytes are
// taken in order with GetData / GetDataBuf.
//
// A block of n bytes covers n div DataFieldSize * AddrIncrement addresses, so
// the next block starts that many addresses later. Misuse raises the class
// name followed by the operation and the reason ("TBlockReader.Put: actor is
// busy"). Drive and link errors come as Result(): the first non-zero record
// result. Runs on the main scheduler in the GUI thread.
#include "platform/AnsiString.h"

#include <cstdint>
#include <functional>

namespace vo {

class TBasicOvraService;
class TGetBlockPattern;
class TOvraActor;
class TOvraClient;

class TBlockReader {
public:
    using TBlockReaderResponse = std::function<void(TBlockReader& Sender)>;

    // Takes an actor from the client's pool (the program's client by default).
    TBlockReader();
    explicit TBlockReader(TOvraClient& Client);
    // Gives the actor back (also while busy: its reply is then dropped).
    virtual ~TBlockReader();
    TBlockReader(const TBlockReader&) = delete;
    TBlockReader& operator=(const TBlockReader&) = delete;

    const char* ClassName() const { return FClassName; }

    void Clear();
    // Puts the get-block records of ASize bytes from AAddress. Refuses a busy
    // actor, a device that is not online and a size that is no multiple of
    // the drive's data field size.
    void Put(TBasicOvraService& AOvraService, int32_t AAddress, int32_t ASize);
    void Execute();
    // Rewinds to the first record; the data is then taken from the start.
    void Reset();
    // The next Count bytes read. At the end of the data fewer bytes come:
    // GetDataBuf returns how many it copied, GetData returns only those.
    MyAnsiString GetData(int32_t Count);
    int32_t GetDataBuf(void* Buffer, int32_t Count);
    bool IsBusy() const;

    uint8_t Result() const { return FResult; }
    int32_t Address() const { return FAddress; }
    int32_t Size() const { return FSize; }
    int32_t MaxBufferSize() const { return FMaxBufferSize; }
    TOvraActor& Actor() const { return *FActor; }
    void SetOnResponse(TBlockReaderResponse Handler) { FOnResponse = std::move(Handler); }

    void* UserData = nullptr;

protected:
    TBlockReader(TOvraClient& Client, const char* AClassName, const char* AActorName, bool AFlash);

private:
    [[noreturn]] void Fail(const char* What) const;
    TGetBlockPattern* Pattern() const;
    void ActorResponse();

    const char* FClassName;
    bool FFlash;
    TOvraClient* FClient;
    TOvraActor* FActor;
    TBasicOvraService* FOvraService = nullptr;
    int32_t FAddress = 0;
    int32_t FSize = 0;
    uint8_t FResult = 0;
    TBlockReaderResponse FOnResponse;
    MyAnsiString ReadBuffer;
    int32_t FMaxBufferSize = 0;
};

} // namespace vo
