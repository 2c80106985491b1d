// Archive files: the byte layout the writer produces and the reader takes,
// lazy entries, scrambled entries, the lookup of archive:// names over the
// folder levels below the program and the current folder, damaged and empty
// archives, writing through ".tmp" with the ".bak" backup, shared archives,
// link entries and the storage objects of the plug-in.
#include "storagelib/SL20Arc.h"
#include "storagelib/SL20Stu.h"

#include "tests/storagelib/SL20StoTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace vo {
namespace {

using test::E;
using test::RawArchive;
using test::StorageTest;
using test::V;
using test::W;
namespace fs = std::filesystem;

class ArchiveTest : public StorageTest {
protected:
    TArchiveStoragePlugin& Arc() { return *static_cast<TArchiveStoragePlugin*>(Manager->GetPlugin(1)); }
    // The archive file and entry Find gives for Name ("" when none).
    std::pair<std::string, std::string> Found(const MyAnsiString& Name) {
        MyAnsiString file;
        MyAnsiString entry;
        if (!Arc().Find(Name, file, entry)) return {};
        return {file, entry};
    }
    bool LoggedContains(const std::string& Text) {
        for (const auto& l : Logged())
            if (l.find(Text) != std::string::npos) return true;
        return false;
    }
};

// ---------------------------------------------------------------- layout

TEST_F(ArchiveTest, WrittenLayoutIsByteExact) {
    TRef<TSLArchive> a = TSLArchive::Create(false, "New.sla", saReadWrite, false);
    EXPECT_FALSE(a->GetArchiveFileExists());
    a->AddEntry("Config\\VendorInfo.stx", sfASCII, V("[D /Name 'Velkor' /Year 2024 ]").Get());
    a->AddEntry("b.sct", sfUnknown, V("[B 1 2 add ]").Get());
    a->Write();
    EXPECT_TRUE(a->GetArchiveFileExists());

    const std::string text1 = SLEncodeToString(V("[D /Name 'Velkor' /Year 2024 ]").Get());
    const std::string text2 = SLEncodeToString(V("[B 1 2 add ]").Get());
    const std::string expected = RawArchive({E("Config\\VendorInfo.stx", text1), E("b.sct", text2)});
    const std::string bytes = Get("cwd/New.sla");
    EXPECT_EQ(bytes, expected);
    // the first header field by field
    EXPECT_EQ(bytes.substr(0, 8), std::string("SLA\x04\0\0\0\0", 8));
    EXPECT_EQ(bytes.substr(8, 2), std::string("\x0A\0", 2));
    EXPECT_EQ(static_cast<unsigned char>(bytes[10]), text1.size());
    EXPECT_EQ(bytes.substr(11, 7), std::string(7, '\0'));
    EXPECT_EQ(bytes.substr(18, 4), std::string("\x15\0\0\0", 4));
    EXPECT_EQ(bytes.substr(22, 21), "Config\\VendorInfo.stx");
    // no ".tmp" and no ".bak" for a new archive
    EXPECT_FALSE(Exists("cwd/New.tmp"));
    EXPECT_FALSE(Exists("cwd/New.bak"));
}

TEST_F(ArchiveTest, ScrambledEntryCountsItsPrefixAndReadsBack) {
    {
        TRef<TSLArchive> a = TSLArchive::Create(false, "S.sla", saReadWrite, false);
        a->AddEntry("x.stx", sfEASCII, V("[A 1 'secret' ]").Get());
        a->Write();
    }
    const std::string bytes = Get("cwd/S.sla");
    const std::string text = SLEncodeToString(V("[A 1 'secret' ]").Get());
    ASSERT_EQ(bytes.size(), 22u + 5u + 8u + text.size());
    const std::string data = bytes.substr(27);
    EXPECT_EQ(data.substr(0, 4), "%SLE");
    EXPECT_EQ(bytes[10], static_cast<char>(8 + text.size())); // the size counts the prefix
    EXPECT_EQ(SLUnscramble(data), text);
    EXPECT_EQ(data.find("secret"), std::string::npos);

    TRef<TSLArchive> b = TSLArchive::Create(false, "S.sla", saRead, false);
    TSLArchiveEntry* e = b->EntryWithName("X.STX");
    EXPECT_TRUE(e->IsLazy());
    EXPECT_EQ(e->GetFormat(), sfEASCII);
    EXPECT_EQ(W(e->GetData()), "[A 1 'secret' ]");
    EXPECT_EQ(e->GetFormat(), sfEASCII);
    EXPECT_FALSE(e->IsLazy());
}

TEST_F(ArchiveTest, ReadsHandMadeArchivesWithExtraFieldsAndScrambledData) {
    test::TRawEntry extra = E("a.stx", "'one'");
    extra.Extra = "xyz";
    Put("cwd/H.sla", RawArchive({extra, E("b.stx", SLScramble("[A 2 ]")), E("c.stx", "3")}));
    TRef<TSLArchive> a = TSLArchive::Create(false, "H.sla", saRead, false);
    ASSERT_EQ(a->GetCount(), 3);
    EXPECT_EQ(a->NameAtIndex(0), "a.stx");
    EXPECT_EQ(a->EntryAtIndex(0)->GetStreamHeader().ExtraField, "xyz");
    EXPECT_EQ(a->EntryAtIndex(0)->GetPosition(), 22 + 5 + 3);
    EXPECT_EQ(a->IndexOfEntry("C.stx"), 2);
    EXPECT_EQ(a->IndexOfEntry("d.stx"), -1);
    // read in any order, each once
    EXPECT_EQ(W(a->EntryWithName("c.stx")->GetData()), "3");
    EXPECT_EQ(W(a->EntryWithName("b.stx")->GetData()), "[A 2 ]");
    TSLObject* first = a->EntryWithName("a.stx")->GetData();
    EXPECT_EQ(W(first), "'one'");
    EXPECT_EQ(a->EntryWithName("a.stx")->GetData(), first);
    EXPECT_THROW_MSG(a->EntryWithName("none"), Exception, "TSLDictionary error: no object named none");
}

TEST_F(ArchiveTest, DamagedArchivesAreRefusedWithTheirError) {
    test::TRawEntry v11 = E("a.stx", "1");
    v11.Version = 11;
    test::TRawEntry badSig = E("a.stx", "1");
    badSig.Signature = 0x0104414C53ull;
    std::string pastEnd = RawArchive({E("a.stx", "12345")});
    pastEnd.resize(pastEnd.size() - 2);
    struct Case {
        std::string Bytes;
        std::string Error;
    } cases[] = {
        {RawArchive({v11}), "TSLArchiveEntry.ReadHeader: Invalid file header in archive"},
        {RawArchive({E("a.stx", "1"), badSig}), "TSLArchiveEntry.ReadHeader: Invalid file header in archive"},
        {pastEnd, "Try to seek past the end of the file"},
        {RawArchive({E("a.stx", "1")}) + "SLA", "Try to read past the end of the file"},
        {RawArchive({E("a.stx", "1"), E("A.STX", "2")}), "TSLDictionary.AddObject: object with name 'A.STX' already exists"},
    };
    for (const auto& c : cases) {
        Put("cwd/D.sla", c.Bytes);
        EXPECT_THROW_MSG(TSLArchive::Create(false, "D.sla", saRead, false), Exception, c.Error);
    }
    EXPECT_THROW_MSG(TSLArchive::Create(false, "", saRead, false), Exception, "Tried to open archive with empty filename");
}

TEST_F(ArchiveTest, EmptyFileIsAnArchiveWithoutEntries) {
    Put("cwd/Empty.sla", "");
    TRef<TSLArchive> a = TSLArchive::Create(false, "Empty.sla", saRead, false);
    EXPECT_TRUE(a->GetArchiveFileExists());
    EXPECT_EQ(a->GetCount(), 0);
    EXPECT_FALSE(Manager->ObjectExists("archive://Empty\\x.stx"));
    EXPECT_THROW_MSG(Manager->GetObject("archive://Empty\\x.stx"), Exception, "object 'Empty\\x.stx' not found");
}

TEST_F(ArchiveTest, EntryTextIsReadWithinItsOwnBytes) {
    // an entry cut short must not read on into the next entry's header
    Put("cwd/T.sla", RawArchive({E("a.stx", "[A 1 "), E("b.stx", "2 ]")}));
    TRef<TSLArchive> a = TSLArchive::Create(false, "T.sla", saRead, false);
    EXPECT_THROW(a->EntryWithName("a.stx")->GetData(), Exception);
    EXPECT_EQ(W(a->EntryWithName("b.stx")->GetData()), "2");
    // an empty entry holds nothing
    Put("cwd/U.sla", RawArchive({E("e.stx", ""), E("f.stx", "5")}));
    TRef<TSLArchive> u = TSLArchive::Create(false, "U.sla", saRead, false);
    EXPECT_EQ(u->EntryWithName("e.stx")->GetData(), nullptr);
}

TEST_F(ArchiveTest, SyntaxErrorsNameTheEntry) {
    Put("prog/Archives.sla", RawArchive({E("Config\\Bad.stx", "\r\n[D /a ")}));
    try {
        Manager->GetObject("archive://Archives\\Config\\Bad.stx")->GetData();
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()).rfind("[Bad.stx, 2] Syntax error: ", 0), 0u) << e.what();
    }
    uint16_t id = 0;
    EXPECT_TRUE(Manager->GetStorageIDManager().NameExist(ProgDir + "Archives\\Config\\Bad.stx", id));
}

TEST_F(ArchiveTest, DebugPositionsCountFromTheEntryText) {
    Put("cwd/P.sla", RawArchive({E("first.stx", "1"), E("s.sct", "[B 1 x ]")}));
    TRef<TSLArchive> a = TSLArchive::Create(false, "P.sla", saRead, true);
    auto* block = dynamic_cast<TSLBlock*>(a->EntryWithName("s.sct")->GetData());
    ASSERT_NE(block, nullptr);
    TDbgInfo* info = block->GetObjAtIndex(1)->GetDbgInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->GetTokPos(), 5);
    EXPECT_EQ(info->GetStorageID(), a->EntryWithName("s.sct")->GetStorageID());
}

// ---------------------------------------------------------------- lookup

TEST_F(ArchiveTest, DeepestFolderLevelWinsAndSlaBeforeCln) {
    Put("prog/Archives.sla", RawArchive({E("Config\\VendorInfo.stx", "'outer'")}));
    EXPECT_EQ(Found("Archives\\Config\\VendorInfo.stx"),
              std::make_pair(ProgDir + "Archives.sla", std::string("Config\\VendorInfo.stx")));
    Put("prog/Archives/Config.cln", RawArchive({E("VendorInfo.stx", "'cln'")}));
    EXPECT_EQ(Found("Archives\\Config\\VendorInfo.stx"),
              std::make_pair(ProgDir + "Archives\\Config.cln", std::string("VendorInfo.stx")));
    Put("prog/Archives/Config.sla", RawArchive({E("VendorInfo.stx", "'inner'")}));
    EXPECT_EQ(Found("archives\\config\\vendorinfo.stx").first, ProgDir + "archives\\config.sla");
    EXPECT_EQ(W(Manager->GetObject("archive://Archives\\Config\\VendorInfo.stx")->GetData()), "'inner'");
    // a level that exists but lacks the entry passes the lookup on
    Put("prog/Archives/Config.sla", RawArchive({E("Other.stx", "0")}));
    EXPECT_EQ(Found("Archives\\Config\\VendorInfo.stx").first, ProgDir + "Archives\\Config.cln");
    // the plain name reaches the archives after the files
    EXPECT_EQ(W(Manager->GetObject("Archives\\Config\\VendorInfo.stx")->GetData()), "'cln'");
}

TEST_F(ArchiveTest, CurrentFolderHitReplacesTheProgramFolderHit) {
    Put("prog/Lib.sla", RawArchive({E("x.stx", "'prog'")}));
    EXPECT_EQ(Found("Lib\\x.stx").first, ProgDir + "Lib.sla");
    Put("cwd/Lib.sla", RawArchive({E("x.stx", "'cwd'")}));
    EXPECT_EQ(Found("Lib\\x.stx").first, "Lib.sla");
    EXPECT_EQ(W(Manager->GetObject("archive://Lib\\x.stx")->GetData()), "'cwd'");
    // a rooted name is looked up under that name only
    EXPECT_EQ(Found(Stored("prog/Lib/x.stx")).first, Stored("prog/Lib.sla"));
}

TEST_F(ArchiveTest, DamagedArchiveIsSkippedAndLogged) {
    Put("prog/Archives/Config.sla", "garbage that is no archive at all");
    Put("prog/Archives.sla", RawArchive({E("Config\\VendorInfo.stx", "'ok'")}));
    EXPECT_EQ(W(Manager->GetObject("archive://Archives\\Config\\VendorInfo.stx")->GetData()), "'ok'");
    EXPECT_TRUE(LoggedContains("Archives\\Config.sla"));
    // and it does not block later lookups of other names
    PurgeAutoReleasePool(); // the shared archive of the old file goes
    Put("prog/Archives.sla", RawArchive({E("Config\\VendorInfo.stx", "'ok'"), E("Other.stx", "7")}));
    EXPECT_EQ(W(Manager->GetObject("archive://Archives\\Other.stx")->GetData()), "7");
    // only damaged ones: not found
    EXPECT_THROW_MSG(Manager->GetObject("archive://Archives\\Config\\Nope.stx"), Exception,
                     "object 'Archives\\Config\\Nope.stx' not found");
}

TEST_F(ArchiveTest, NamesWithoutArchive) {
    EXPECT_FALSE(Manager->ObjectExists("archive://x.stx"));
    EXPECT_FALSE(Arc().CanCreate("x.stx")); // no folder level: no archive to put it in
    EXPECT_THROW_MSG(Manager->CreateObject("archive://x.stx"), Exception, "object 'x.stx' can not be created");
}

// ---------------------------------------------------------------- writing

TEST_F(ArchiveTest, RewritingKeepsTheOldArchiveAsBak) {
    const std::string before = RawArchive({E("a.stx", "1"), E("b.stx", "2")});
    Put("cwd/Data.sla", before);
    TSLStorageObject* o = Manager->GetObject("archive://Data\\a.stx");
    o->SetData(V("42").Get());
    o->Write();
    EXPECT_EQ(Get("cwd/Data.bak"), before);
    EXPECT_FALSE(Exists("cwd/Data.tmp"));
    EXPECT_EQ(Get("cwd/Data.sla"), RawArchive({E("a.stx", "42 "), E("b.stx", "2 ")}));
    // written again: the backup is the previous archive, not the first one
    o->SetData(V("43").Get());
    o->Write();
    EXPECT_EQ(Get("cwd/Data.bak"), RawArchive({E("a.stx", "42 "), E("b.stx", "2 ")}));
}

TEST_F(ArchiveTest, FailedWriteLeavesTheArchiveAsItWas) {
    const std::string before = RawArchive({E("a.stx", "1"), E("b.stx", "2")});
    Put("cwd/Data.sla", before);
    TSLStorageObject* o = Manager->GetObject("archive://Data\\b.stx");
    o->SetData(MakeRef<TSLDouble>(std::numeric_limits<double>::quiet_NaN()).Get()); // the writer refuses NaN
    EXPECT_THROW(o->Write(), Exception);
    EXPECT_EQ(Get("cwd/Data.sla"), before);
    EXPECT_FALSE(Exists("cwd/Data.tmp"));
    EXPECT_FALSE(Exists("cwd/Data.bak"));
    // the archive is still usable: the other entry reads, a good value writes
    EXPECT_EQ(W(Manager->GetObject("archive://Data\\a.stx")->GetData()), "1");
    o->SetData(V("3").Get());
    o->Write();
    EXPECT_EQ(Get("cwd/Data.sla"), RawArchive({E("a.stx", "1 "), E("b.stx", "3 ")}));
}

TEST_F(ArchiveTest, NewEntryInAFolderWithoutArchiveCreatesItOnlyWhenWritten) {
    fs::create_directories(Root / "cwd" / "Archives");
    ASSERT_TRUE(Arc().CanCreate("Archives\\New\\X.stx"));
    MyAnsiString file;
    MyAnsiString entry;
    ASSERT_TRUE(Arc().FindDir("Archives\\New\\X.stx", file, entry));
    EXPECT_EQ(file, "Archives\\New.sla");
    EXPECT_EQ(entry, "X.stx");
    TSLStorageObject* o = Manager->CreateObject("archive://Archives\\New\\X.stx");
    EXPECT_EQ(o->GetData(), nullptr);
    EXPECT_EQ(o->GetFormat(), sfASCII);
    EXPECT_FALSE(Exists("cwd/Archives/New.sla"));
    o->SetData(V("[A 1 ]").Get());
    o->Write();
    EXPECT_EQ(Get("cwd/Archives/New.sla"), RawArchive({E("X.stx", "[A 1 ] ")}));
    // only the first level exists: the archive is named after the next one
    ASSERT_TRUE(Arc().FindDir("Top\\Sub\\Y.stx", file, entry));
    EXPECT_EQ(file, "Top.sla");
    EXPECT_EQ(entry, "Sub\\Y.stx");
}

TEST_F(ArchiveTest, RemovedEntryLeavesTheFileOnlyWhenWritten) {
    const std::string before = RawArchive({E("a.stx", "1"), E("b.stx", "2"), E("c.stx", "3")});
    Put("cwd/R.sla", before);
    TRef<TSLArchive> a = ArchiveManager().GetArchive("R.sla");
    a->RemoveEntryWithName("B.STX");
    EXPECT_THROW_MSG(a->RemoveEntryWithName("b.stx"), Exception,
                     "TSLDictionary.RemoveObject: object with name 'b.stx' not found");
    EXPECT_EQ(Get("cwd/R.sla"), before);
    a->AddEntry("z.stx", sfASCII, V("9").Get());
    a->AddEntry("y.stx", sfASCII, V("8").Get());
    a->RemoveEntryAtIndex(3);
    EXPECT_THROW(a->RemoveEntryAtIndex(3), Exception);
    a->Write();
    // the file's order, then what was added
    EXPECT_EQ(Get("cwd/R.sla"), RawArchive({E("a.stx", "1 "), E("c.stx", "3 "), E("z.stx", "9 ")}));
    EXPECT_THROW(a->AddEntry("A.stx", sfASCII, nullptr), Exception);
}

TEST_F(ArchiveTest, LinkEntriesCopyTheirFileAtEveryWrite) {
    Put("cwd/L/script.sct", "% kept as written\r\n[B 1 2 add ]");
    TRef<TSLArchive> a = ArchiveManager().GetArchive("L.sla");
    TRef<TSLArchiveEntry> plain = MakeRef<TSLArchiveEntry>(a.Get(), "script.sct");
    plain->SetLink();
    a->AddEntry(plain.Get());
    TRef<TSLArchiveEntry> hidden = MakeRef<TSLArchiveEntry>(a.Get(), "hidden.sct");
    hidden->SetLink(Stored("cwd/L/script.sct"));
    hidden->SetFormat(sfEASCII);
    a->AddEntry(hidden.Get());
    a->Write();
    std::string bytes = Get("cwd/L.sla");
    const std::string raw = "% kept as written\r\n[B 1 2 add ]";
    EXPECT_EQ(bytes.substr(0, 22 + 10 + raw.size()), RawArchive({E("script.sct", raw)}));
    EXPECT_EQ(SLUnscramble(bytes.substr(22 + 10 + raw.size() + 22 + 10)), raw);
    // the file changed: the next write copies it again
    Put("cwd/L/script.sct", "7");
    a->Write();
    EXPECT_EQ(Get("cwd/L.sla").substr(0, 22 + 10 + 1), RawArchive({E("script.sct", "7")}));
    // a missing link file fails the write and leaves the archive
    const std::string before = Get("cwd/L.sla");
    fs::remove(Root / "cwd" / "L" / "script.sct");
    EXPECT_THROW(a->Write(), Exception);
    EXPECT_EQ(Get("cwd/L.sla"), before);
}

// ---------------------------------------------------------------- shared archives and storage objects

TEST_F(ArchiveTest, OneFileIsOneSharedArchive) {
    Put("cwd/Sh.sla", RawArchive({E("a.stx", "1")}));
    TRef<TSLArchive> a = ArchiveManager().GetArchive("Sh.sla");
    EXPECT_EQ(ArchiveManager().GetArchive("SH.SLA"), a.Get());
    EXPECT_EQ(ArchiveManager().GetArchive(Stored("cwd/Sh.sla")), a.Get());
    // a change through one storage object is seen through another
    TRef<TSLStorageObject> o1 = Manager->GetObject("archive://Sh\\a.stx");
    TRef<TSLStorageObject> o2 = Manager->GetObject("archive://" + Stored("cwd/Sh/a.stx"));
    o1->SetData(V("5").Get());
    EXPECT_EQ(W(o2->GetData()), "5");
    EXPECT_EQ(static_cast<TSLArchiveStorageObject*>(o2.Get())->GetArchive(), a.Get());
    // released by everybody: freed at the next purge and gone from the listing
    const int listed = ArchiveManager().GetCount();
    a.Reset();
    o1.Reset();
    o2.Reset();
    PurgeAutoReleasePool();
    EXPECT_EQ(ArchiveManager().GetCount(), listed - 1);
    EXPECT_EQ(W(Manager->GetObject("archive://Sh\\a.stx")->GetData()), "1"); // never written
}

TEST_F(ArchiveTest, StorageObjectsOfThePlugin) {
    Put("cwd/O.sla", RawArchive({E("a.stx", SLScramble("[A 'x' ]"))}));
    TSLStorageObject* o = Manager->GetObject("archive://O\\a.stx", saRead);
    EXPECT_EQ(o->GetName(), "O\\a.stx");
    o->Read(); // checks only
    EXPECT_EQ(o->GetFormat(), sfEASCII);
    EXPECT_EQ(W(o->GetData()), "[A 'x' ]");
    o->Write(); // archive objects are always read-write
    EXPECT_EQ(SLUnscramble(Get("cwd/O.sla").substr(27)), "[A 'x' ] ");
    // the entry removed behind the object's back
    auto* ao = static_cast<TSLArchiveStorageObject*>(o);
    ao->GetArchive()->RemoveEntryWithName("a.stx");
    EXPECT_THROW(o->Read(), Exception);

    TRef<TSLArchiveStorageObject> fresh = MakeRef<TSLArchiveStorageObject>();
    EXPECT_THROW_MSG(fresh->Read(), Exception, "TSLArchiveStorageObject.Read: object not initialized");
    EXPECT_THROW_MSG(fresh->Write(), Exception, "TSLArchiveStorageObject.Write: object not initialized");

    TRef<TSLArchive> a = ArchiveManager().GetArchive("O.sla");
    EXPECT_THROW_MSG(ArchiveManager().ArchiveDestroy(nullptr), Exception,
                     "TArchiveManager.ArchiveDestroy: archive not found");
}

} // namespace
} // namespace vo
