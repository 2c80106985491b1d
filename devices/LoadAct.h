#pragma once
// The loader's command plug-in ("OvraCommand"): each data call executes one
// single drive command described by a TOvraCommandRecord and writes the
// result (and a word or string read) back into the record.
//
// Commands: 0 stop, 1 start, 2 erase flash at Address, 3 read the word at
// Address (into Data), 4 write Data at Address, 5 flash Data at Address,
// 6 read a string of at most MaxSize bytes at Address (into Str), 7 write Str
// (at most 255 bytes) at Address. Another number sets the error flag
// ("unknown command") and sends nothing; a failed command is reported only
// through OvraRes.
#include "devices/LoadSrv.h"

namespace vo {

class TOvraActor;

struct TOvraCommandRecord {
    uint8_t Command = 0;
    int32_t Address = 0;
    int32_t Data = 0;
    int32_t Mask = 0;
    MyAnsiString Str;
    uint8_t MaxSize = 0;
    uint8_t OvraRes = 0;
};

class TOvraCommandPlugin : public TLoaderPlugin {
public:
    explicit TOvraCommandPlugin(TBasicOvraService& AOvraService);
    ~TOvraCommandPlugin() override;
    const char* ClassName() const override { return "TOvraCommandPlugin"; }

    void Open(TLoaderPluginResponse RespProc) override;
    void Close(bool Abort) override;
    // DataPtr is a TOvraCommandRecord; Address, Size and Flush are not used.
    void Data(int32_t Address, void* DataPtr, int32_t Size, bool Flush) override;

private:
    [[noreturn]] void Fail(const char* What) const;
    void ActorResponse();

    TBasicOvraService& FOvraService;
    TLoaderPluginResponse FRespProc;
    TOvraActor* Actor;
    TOvraCommandRecord* FCmdPtr = nullptr;
};

} // namespace vo
