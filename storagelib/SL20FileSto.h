#pragma once
// The file plug-in ("file://"): every file is a stored object holding one
// value in the text notation, plain or scrambled. Reading finds a plain name
// in the current folder and then along the class path; creating writes where
// the name points, relative to the current folder.
//
// Writing never loses the previous content: the value is encoded in memory
// first and the file replaced by one rename once the new content is complete
// on disk, so a failed write leaves the old file as it was.
#include <cstdint>

#include "storagelib/SL20Sto.h"

namespace vo {

class TSLFileStorageObject : public TSLStorageObject {
    VO_REFOBJ_CLASS(TSLFileStorageObject, TSLStorageObject)
public:
    TSLFileStorageObject(TSLStreamEncoder* Encoder, TSLStreamDecoder* Decoder, TStorageIDManager* IDManager);
    ~TSLFileStorageObject() override;

    // Opens the file N (a complete name) and reads it.
    void Init(const MyAnsiString& N, TStreamAccess AAccess, bool ADebug);
    // A new object for the file N, write only, nothing read.
    void InitNew(const MyAnsiString& N);

    MyAnsiString GetName() const override { return FName; }
    TStorageFormat GetFormat() const override { return FFormat; }
    void SetFormat(TStorageFormat Format) override { FFormat = Format; }
    TSLObject* GetData() override { return FData.Get(); }
    void SetData(TSLObject* Data) override { FData = Data; }
    // Reads the file anew; afterwards the format is sfASCII whatever the file
    // held. A text that does not parse leaves the data as it was.
    void Read() override;
    // Writes the data, scrambled when the format is sfEASCII.
    void Write() override;

    TStreamAccess GetAccess() const noexcept { return Access; }
    uint16_t GetStorageID() const noexcept { return FStorageID; }

private:
    TStreamAccess Access = saRead;
    MyAnsiString FName;
    TStorageFormat FFormat = sfUnknown;
    bool FDebug = false;
    TRef<TSLObject> FData;
    TRef<TSLStreamEncoder> Encoder;
    TRef<TSLStreamDecoder> Decoder;
    TStorageIDManager* FIDManager;
    uint16_t FStorageID = 0;
};

class TFileStoragePlugin : public TStoragePluginInterface {
public:
    const char* ClassName() const noexcept override { return "TFileStoragePlugin"; }

    bool ObjectExists(const MyAnsiString& Name) override;
    using TStoragePluginInterface::GetObject;
    // "TFileStoragePlugin error: no object named %s found" when missing.
    TSLStorageObject* GetObject(const MyAnsiString& Name, TStreamAccess Access, bool Debug) override;
    // True when the folder part of Name exists (a bare name: the current folder).
    bool CanCreate(const MyAnsiString& Name) override;
    // "TFileStoragePlugin.CreateObject: Could not create object with name %s"
    // when neither the file nor its folder exists.
    TSLStorageObject* CreateObject(const MyAnsiString& Name) override;
    MyAnsiString GetScheme() const override { return "file://"; }

private:
    TStorageManager& Manager() const;
};

} // namespace vo
