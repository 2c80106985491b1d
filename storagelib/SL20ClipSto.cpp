#include "storagelib/SL20ClipSto.h"

#include <string>

#include "platform/Cp1252.h"
#include "platform/Exception.h"

namespace vo {

namespace {

std::map<std::string, std::string>& MemoryStore() {
    static auto* store = new std::map<std::string, std::string>();
    return *store;
}

// Opens the clipboard for the lifetime of a scope, closing it also on errors.
class TClipboardOpen {
public:
    explicit TClipboardOpen(TSLClipboard& Cb) : FCb(Cb) { FCb.Open(); }
    ~TClipboardOpen() { FCb.Close(); }
    TClipboardOpen(const TClipboardOpen&) = delete;
    TClipboardOpen& operator=(const TClipboardOpen&) = delete;

private:
    TSLClipboard& FCb;
};

} // namespace

// ---------------------------------------------------------------- TSLMemoryClipboard

bool TSLMemoryClipboard::HasFormat(const std::string& Format) { return MemoryStore().count(Format) != 0; }

std::string TSLMemoryClipboard::GetBlock(const std::string& Format) {
    auto it = MemoryStore().find(Format);
    return it == MemoryStore().end() ? std::string() : it->second;
}

void TSLMemoryClipboard::SetBlock(const std::string& Format, const std::string& Block) {
    MemoryStore().clear();
    MemoryStore()[Format] = Block;
}

void TSLMemoryClipboard::ClearAll() { MemoryStore().clear(); }

// ---------------------------------------------------------------- text <-> block

std::string SLTextToClipboardBlock(const MyAnsiString& Text) {
    std::string block;
    block.reserve(Text.size() * 2 + 2);
    for (char c : Text) {
        const char32_t u = Cp1252ToUnicode(static_cast<unsigned char>(c));
        block.push_back(static_cast<char>(u & 0xFF));
        block.push_back(static_cast<char>((u >> 8) & 0xFF));
    }
    block.push_back('\0');
    block.push_back('\0');
    return block;
}

MyAnsiString SLClipboardBlockToText(const std::string& Block) {
    MyAnsiString text;
    for (std::size_t i = 0; i + 1 < Block.size(); i += 2) {
        const char16_t u = static_cast<char16_t>(static_cast<unsigned char>(Block[i]) |
                                                 (static_cast<unsigned char>(Block[i + 1]) << 8));
        if (u == 0) break;
        unsigned char b = 0;
        text.push_back(UnicodeToCp1252(u, b) ? static_cast<char>(b) : '?');
    }
    return text;
}

// ---------------------------------------------------------------- TSLClipboardStorageObject

TSLClipboardStorageObject::TSLClipboardStorageObject(std::shared_ptr<TSLClipboard> Clipboard,
                                                     TSLStreamEncoder* AEncoder, TSLStreamDecoder* ADecoder)
    : FClipboard(std::move(Clipboard)), Encoder(AEncoder), Decoder(ADecoder) {}

void TSLClipboardStorageObject::SetFormat(TStorageFormat Format) {
    if (Format != sfASCII)
        throw Exception(std::string(ClassName()) + ".SetFormat: format sfEASCII is currently not supported");
}

void TSLClipboardStorageObject::Read() {
    MyAnsiString text;
    {
        TClipboardOpen open(*FClipboard);
        if (!FClipboard->HasFormat(SLClipboardFormatName))
            throw Exception(std::string(ClassName()) + ".Read: clipboard is empty");
        text = SLClipboardBlockToText(FClipboard->GetBlock(SLClipboardFormatName));
    }
    FData.Reset();
    TRef<TSLStringStream> stream = MakeRef<TSLStringStream>();
    stream->SetBuffer("[A " + text + "]");
    TRef<TSLLookaheadStream> look = MakeRef<TSLLookaheadStream>(stream.Get());
    FData = Decoder->ReadSingleObjectRef(look.Get(), false);
}

void TSLClipboardStorageObject::Write() {
    TRef<TSLStringStream> stream = MakeRef<TSLStringStream>();
    Encoder->WriteObject(stream.Get(), FData.Get());
    const std::string block = SLTextToClipboardBlock(stream->TakeBuffer());
    TClipboardOpen open(*FClipboard);
    FClipboard->SetBlock(SLClipboardFormatName, block);
}

// ---------------------------------------------------------------- TClipboardStoragePlugin

TClipboardStoragePlugin::TClipboardStoragePlugin(std::unique_ptr<TSLClipboard> Clipboard)
    : Cb(Clipboard ? std::shared_ptr<TSLClipboard>(std::move(Clipboard)) : std::make_shared<TSLMemoryClipboard>()) {}

bool TClipboardStoragePlugin::ObjectExists(const MyAnsiString& Name) {
    if (Name != "cb.data") return false;
    TClipboardOpen open(*Cb);
    return Cb->HasFormat(SLClipboardFormatName);
}

TSLClipboardStorageObject* TClipboardStoragePlugin::NewObject() {
    TStorageManager* m = GetStorageManager() ? GetStorageManager() : StorageManager();
    TRef<TSLStreamEncoder> encoder = m ? TRef<TSLStreamEncoder>(m->GetEncoder()) : MakeRef<TSLStreamEncoder>();
    TRef<TSLStreamDecoder> decoder = m ? TRef<TSLStreamDecoder>(m->GetDecoder()) : TSLStreamDecoder::CreateStandard();
    TRef<TSLClipboardStorageObject> obj = MakeRef<TSLClipboardStorageObject>(Cb, encoder.Get(), decoder.Get());
    obj->RetainAndAutoRelease();
    return obj.Get();
}

TSLStorageObject* TClipboardStoragePlugin::GetObject(const MyAnsiString& Name, TStreamAccess Access, bool Debug) {
    (void)Access;
    (void)Debug;
    if (!ObjectExists(Name))
        throw Exception(std::string(ClassName()) + " error: no object named " + Name + " found");
    return NewObject();
}

TSLStorageObject* TClipboardStoragePlugin::CreateObject(const MyAnsiString& Name) {
    if (!CanCreate(Name))
        throw Exception(std::string(ClassName()) + ".CreateObject: can not create object with name '" + Name + "'");
    return NewObject();
}

} // namespace vo
