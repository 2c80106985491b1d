// Fuzz target of the archive reader: any bytes as an archive file either are
// refused with an error or open; every entry that reads and writes is
// written back in place (through ".tmp" and ".bak"), and the archive read
// again holds the same entries with the same texts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/FileNames.h"
#include "storagelib/SL20Arc.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

struct TWorkDir {
    TWorkDir() {
        char tmpl[] = "/tmp/vo-fuzz-sl20arc-XXXXXX";
        if (!::mkdtemp(tmpl)) std::abort();
        Path = tmpl;
    }
    ~TWorkDir() {
        std::error_code ec;
        std::filesystem::remove_all(Path, ec);
    }
    std::string Path;
};

const std::string& WorkDir() {
    static const TWorkDir dir;
    return dir.Path;
}

// The entries' readers and storage ids come from the program's manager.
vo::TStorageManager& Manager() {
    static vo::TStorageManager* m = new vo::TStorageManager(vo::RealPathToStored(WorkDir()) + "\\");
    return *m;
}

struct TEntryText {
    std::string Name;
    std::string Text;
    vo::TStorageFormat Format;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    using namespace vo;
    Manager();
    fuzz::TObjectCountCheck counts;
    const std::string in = WorkDir() + "/in.sla";
    std::error_code ec;
    std::filesystem::remove(WorkDir() + "/in.bak", ec);
    {
        std::ofstream out(in, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(Data), static_cast<std::streamsize>(Size));
    }
    const MyAnsiString stored = RealPathToStored(in);

    TRef<TSLArchive> archive;
    try {
        archive = TSLArchive::Create(false, stored, saReadWrite, Size % 2 == 1);
    } catch (const Exception&) {
        return 0; // damaged headers, sizes past the end, duplicate names
    }
    // Keep what reads and writes; drop the rest.
    std::vector<TEntryText> kept;
    for (int i = 0; i < archive->GetCount();) {
        TSLArchiveEntry* e = archive->EntryAtIndex(i);
        TSLObject* value = nullptr;
        try {
            value = e->GetData();
        } catch (const Exception&) {
            archive->RemoveEntryAtIndex(i); // a text that does not read
            continue;
        }
        std::string text;
        try {
            text = fuzz::WriteText(value);
        } catch (const Exception&) {
            SLBreakReferenceCycles(value); // a value the writer refuses
            archive->RemoveEntryAtIndex(i);
            continue;
        }
        kept.push_back({e->GetName(), text, e->GetFormat()});
        ++i;
    }
    try {
        archive->Write();
    } catch (const Exception& e) {
        fuzz::Fail("an archive of readable entries does not write", e.what());
    }
    for (int i = 0; i < archive->GetCount(); ++i) SLBreakReferenceCycles(archive->EntryAtIndex(i)->GetData());
    archive.Reset();

    // the previous file is the backup, the new one reads back the same
    if (!std::filesystem::exists(WorkDir() + "/in.bak")) fuzz::Fail("no backup of the previous archive", "");
    if (std::filesystem::exists(WorkDir() + "/in.tmp")) fuzz::Fail("the temporary archive stayed", "");
    TRef<TSLArchive> again;
    try {
        again = TSLArchive::Create(false, stored, saRead, false);
    } catch (const Exception& e) {
        fuzz::Fail("a written archive does not open", e.what());
    }
    if (again->GetCount() != static_cast<int>(kept.size())) fuzz::Fail("entries lost or added", "");
    for (int i = 0; i < again->GetCount(); ++i) {
        TSLArchiveEntry* e = again->EntryAtIndex(i);
        if (e->GetName() != kept[i].Name) fuzz::Fail("entry name changed", kept[i].Name);
        const TStorageFormat expected = kept[i].Format == sfEASCII ? sfEASCII : sfASCII;
        if (e->GetFormat() != expected) fuzz::Fail("entry format changed", kept[i].Name);
        std::string text;
        try {
            text = fuzz::WriteText(e->GetData());
        } catch (const Exception& ex) {
            fuzz::Fail("a written entry does not read back", kept[i].Name + "\n" + ex.what());
        }
        if (text != kept[i].Text) fuzz::Fail("an entry reads back differently", kept[i].Text + "\n---\n" + text);
        SLBreakReferenceCycles(e->GetData());
    }
    return 0;
}
