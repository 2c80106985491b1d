#pragma once
// The clipboard plug-in ("clipboard://"): scripts exchange values through the
// desktop clipboard, between scripts and between running copies of the
// program. It holds exactly one stored object, "cb.data", and is not part of
// the default search.
//
// The clipboard content is one block under the format "StorageLib Tarq": the
// text notation of the stored value as UTF-16 text (each code-page-1252 byte
// widened), followed by one zero character. A reader takes the text up to
// the first zero character and reads every value in it, in order, as the
// elements of one array.
//
// The plug-in reaches the clipboard through TSLClipboard; the Qt program
// plugs in the system clipboard (storagelib/gui), headless runs keep the
// in-process store TSLMemoryClipboard with the same format name and content.
#include <map>
#include <memory>
#include <string>

#include "storagelib/SL20Sto.h"

namespace vo {

inline constexpr const char* SLClipboardFormatName = "StorageLib Tarq";

// A clipboard: blocks of bytes under format names.
class TSLClipboard {
public:
    virtual ~TSLClipboard() = default;
    // Opens the clipboard for one operation; raises "Cannot open clipboard"
    // when it cannot be had.
    virtual void Open() = 0;
    virtual void Close() noexcept = 0;
    virtual bool HasFormat(const std::string& Format) = 0;
    // The block under Format (empty when there is none).
    virtual std::string GetBlock(const std::string& Format) = 0;
    // Empties the clipboard (every format) and puts Block under Format.
    virtual void SetBlock(const std::string& Format, const std::string& Block) = 0;
};

// The clipboard of a process without a desktop: one store shared by every
// instance in the process.
class TSLMemoryClipboard : public TSLClipboard {
public:
    void Open() override {}
    void Close() noexcept override {}
    bool HasFormat(const std::string& Format) override;
    std::string GetBlock(const std::string& Format) override;
    void SetBlock(const std::string& Format, const std::string& Block) override;
    // Empties the store (tests).
    static void ClearAll();
};

// Text <-> the clipboard block: UTF-16 little-endian with a terminating zero
// character (2n + 2 bytes for n characters); reading stops at the first zero
// character, and characters without a code-page-1252 byte become "?".
std::string SLTextToClipboardBlock(const MyAnsiString& Text);
MyAnsiString SLClipboardBlockToText(const std::string& Block);

class TSLClipboardStorageObject : public TSLStorageObject {
    VO_REFOBJ_CLASS(TSLClipboardStorageObject, TSLStorageObject)
public:
    TSLClipboardStorageObject(std::shared_ptr<TSLClipboard> Clipboard, TSLStreamEncoder* Encoder,
                              TSLStreamDecoder* Decoder);

    MyAnsiString GetName() const override { return "cb.data"; }
    TStorageFormat GetFormat() const override { return sfASCII; }
    // sfASCII changes nothing; anything else raises
    // "TSLClipboardStorageObject.SetFormat: format sfEASCII is currently not supported".
    void SetFormat(TStorageFormat Format) override;
    TSLObject* GetData() override { return FData.Get(); }
    void SetData(TSLObject* Data) override { FData = Data; }
    // The data becomes an array of the values in the clipboard text;
    // "TSLClipboardStorageObject.Read: clipboard is empty" without the format.
    void Read() override;
    // Replaces the clipboard's whole content with the data's text.
    void Write() override;

private:
    std::shared_ptr<TSLClipboard> FClipboard;
    TRef<TSLStreamEncoder> Encoder;
    TRef<TSLStreamDecoder> Decoder;
    TRef<TSLObject> FData;
};

class TClipboardStoragePlugin : public TStoragePluginInterface {
public:
    // Without a clipboard the in-process store is used.
    explicit TClipboardStoragePlugin(std::unique_ptr<TSLClipboard> Clipboard = nullptr);

    const char* ClassName() const noexcept override { return "TClipboardStoragePlugin"; }
    // False unless Name is exactly "cb.data" and the clipboard holds the format.
    bool ObjectExists(const MyAnsiString& Name) override;
    using TStoragePluginInterface::GetObject;
    // A new object with no data (it reads on Read); any other name raises
    // "TClipboardStoragePlugin error: no object named %s found".
    TSLStorageObject* GetObject(const MyAnsiString& Name, TStreamAccess Access, bool Debug) override;
    bool CanCreate(const MyAnsiString& Name) override { return Name == "cb.data"; }
    // "TClipboardStoragePlugin.CreateObject: can not create object with name '%s'"
    // for any name but "cb.data".
    TSLStorageObject* CreateObject(const MyAnsiString& Name) override;
    MyAnsiString GetScheme() const override { return "clipboard://"; }

    TSLClipboard& Clipboard() noexcept { return *Cb; }

private:
    TSLClipboardStorageObject* NewObject();

    std::shared_ptr<TSLClipboard> Cb;
};

} // namespace vo
