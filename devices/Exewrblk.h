#pragma once
// Block writer: writes a range of drive RAM, flash or encrypted flash larger
// than one telegram. Bytes given with PutData / PutDataBuf collect into a
// send buffer; each full buffer (the drive's largest set-block) becomes one
// record, Execute turns the rest into a last record and sends them all as
// one request. The owner's response event is called once per execution.
// Misuse raises the class name followed by the operation and the reason
// ("TBlockWriter.Put: device is not online"); drive and link errors come as
// Result(): the first non-zero record result.
#include "platform/AnsiString.h"

#include <cstdint>
#include <functional>

namespace vo {

class TBasicOvraService;
class TOvraActor;
class TOvraClient;
class TSetBlockPattern;

class TBlockWriter {
public:
    using TBlockWriterResponse = std::function<void(TBlockWriter& Sender)>;

    TBlockWriter();
    explicit TBlockWriter(TOvraClient& Client);
    ~TBlockWriter();
    TBlockWriter(const TBlockWriter&) = delete;
    TBlockWriter& operator=(const TBlockWriter&) = delete;

    static const char* ClassName() { return "TBlockWriter"; }

    void Clear();
    // A plain write from AAddress, to flash with AFlash, else to RAM.
    void Put(TBasicOvraService& AOvraService, int32_t AAddress, bool AFlash);
    // An encrypted flash write from AAddress (the bytes go unchanged).
    void PutEnc(TBasicOvraService& AOvraService, int32_t AAddress);
    void PutData(const MyAnsiString& S);
    void PutDataBuf(const void* Buffer, int32_t Count);
    void Execute();
    bool IsBusy() const;

    uint8_t Result() const { return FResult; }
    int32_t Address() const { return FAddress; }
    int32_t Size() const { return FSize; }
    int32_t CurrentAddress() const { return FCurrentAddress; }
    int32_t MaxBufferSize() const { return FMaxBufferSize; }
    bool Flash() const { return FFlash; }
    bool Encrypted() const { return FEncrypted; }
    TOvraActor& Actor() const { return *FActor; }
    void SetOnResponse(TBlockWriterResponse Handler) { FOnResponse = std::move(Handler); }

    void* UserData = nullptr;

private:
    [[noreturn]] void Fail(const char* What) const;
    void Prepare(TBasicOvraService& AOvraService, int32_t AAddress, bool AFlash, bool AEncrypted);
    TSetBlockPattern* Pattern() const;
    void PutSendBuffer();
    void ActorResponse();

    TOvraClient* FClient;
    TOvraActor* FActor;
    TBasicOvraService* FOvraService = nullptr;
    int32_t FAddress = 0;
    uint8_t FResult = 0;
    int32_t FSize = 0;
    TBlockWriterResponse FOnResponse;
    bool FFlash = false;
    bool FEncrypted = false;
    MyAnsiString SendBuffer;
    int32_t FCurrentAddress = 0;
    int32_t FMaxBufferSize = 0;
};

} // namespace vo
