#pragma once
// The loader's memory plug-ins: they collect the client's blocks into loader
// blocks of at most 512 bytes and move each with a block writer or reader.
// Smaller client blocks at consecutive addresses collect into one loader
// block until it is full, the address jumps, or a block comes with Flush; a
// client block that fills a loader block is moved completely (its last
// partial loader block included) and the plug-in then closes itself, to be
// opened again by the service for the next block.
#include "devices/LoadSrv.h"

#include <memory>

namespace vo {

class TBlockReader;
class TBlockWriter;

enum TBlockLoaderType : uint8_t { bltWriter,
                                  bltReader };

class TBlockLoaderPlugin : public TLoaderPlugin {
public:
    void Open(TLoaderPluginResponse RespProc) override;
    void Close(bool Abort) override;
    void Data(int32_t Address, void* DataPtr, int32_t Size, bool Flush) override;

    virtual TBlockLoaderType BlockLoaderType() const = 0;

    int32_t CurrentCount() const { return FCurrentCount; }
    static constexpr int32_t MaxBlockSize = 512;

protected:
    TBlockLoaderPlugin(int32_t ADataWordSize, int32_t AAddrIncrement);
    virtual void SetBlockAddr(int32_t Address) = 0;
    virtual void BlockData(void* DataPtr, int32_t Size) = 0;
    virtual void ExecuteBlock() = 0;
    // A moved loader block succeeded / failed.
    void BlockLoaderReady();
    void BlockLoaderError();

private:
    [[noreturn]] void Fail(const char* What) const;
    void CopyDataToBlock();
    void MoveBlock();
    void Respond();

    int32_t FCurrentAddress = 0;
    int32_t FCurrentSize = 0;
    char* FCurrentPointer = nullptr;
    int32_t FCurrentCount = 0;
    TLoaderPluginResponse FRespProc;
    bool FlushRequest = false;
    int32_t DataWordSize;
    int32_t AddrIncrement;
};

class TMemoryWriterPlugin : public TBlockLoaderPlugin {
public:
    TMemoryWriterPlugin(TBasicOvraService& AOvraService, bool Flash, bool Encrypted);
    ~TMemoryWriterPlugin() override;
    const char* ClassName() const override { return "TMemoryWriterPlugin"; }
    TBlockLoaderType BlockLoaderType() const override { return bltWriter; }

protected:
    void SetBlockAddr(int32_t Address) override;
    void BlockData(void* DataPtr, int32_t Size) override;
    void ExecuteBlock() override;

private:
    TBasicOvraService& FOvraService;
    std::unique_ptr<TBlockWriter> BlockWriter;
    bool FFlash;
    bool FEncrypted;
};

class TMemoryReaderPlugin : public TBlockLoaderPlugin {
public:
    explicit TMemoryReaderPlugin(TBasicOvraService& AOvraService);
    ~TMemoryReaderPlugin() override;
    const char* ClassName() const override { return "TMemoryReaderPlugin"; }
    TBlockLoaderType BlockLoaderType() const override { return bltReader; }

protected:
    void SetBlockAddr(int32_t Address) override;
    void BlockData(void* DataPtr, int32_t Size) override;
    void ExecuteBlock() override;

private:
    TBasicOvraService& FOvraService;
    std::unique_ptr<TBlockReader> BlockReader;
    int32_t FAddress = 0;
    int32_t FSize = 0;
    void* FDataPtr = nullptr;
};

} // namespace vo
