// The storage script classes: scripts open, create, read and write stored
// objects through "StorageObjectManager" and edit archive files through
// "ArchiveManager", in a temporary folder.
#include "SL20PrcFilTestUtil.h"

namespace vo::test {
namespace {

class StorageScriptClassTest : public FileScriptTest {
protected:
    // Ends the script's run and lets go of everything it held.
    void Drop() {
        Ctx.Reset();
        PurgeAutoReleasePool();
    }
};

TEST_F(StorageScriptClassTest, MethodTablesEndAtTheFirstEmptyName) {
    const char* som[] = {"GetObject", "CreateObject", "ObjectExists", "SetData", "GetData",
                         "SetFormat", "GetFormat", "GetName", "Read", "Write"};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(StorageObjectManagerScriptClass().GetMethodName(i), som[i]);
    EXPECT_EQ(StorageObjectManagerScriptClass().GetMethodName(10), "");
    const char* am[] = {"GetArchive", "GetIndexOfName", "GetNameAtIndex", "GetFormatAtIndex",
                        "GetDataAtIndex", "GetCount", "AddEntry", "RemoveEntryWithName",
                        "RemoveEntryAtIndex", "Clear", "Write", "AddLink"};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(ArchiveManagerScriptClass().GetMethodName(i), am[i]);
    EXPECT_EQ(ArchiveManagerScriptClass().GetMethodName(12), "");
    EXPECT_TRUE(Manager->ScriptClassExists("StorageObjectManager"));
    EXPECT_TRUE(Manager->ScriptClassExists("ArchiveManager"));
    EXPECT_EQ(Run("StorageObjectManager count ArchiveManager count"), "10 12");
}

TEST_F(StorageScriptClassTest, AScriptCreatesWritesAndReadsStoredObjects) {
    EXPECT_EQ(Run("StorageObjectManager /m exch def "
                  "'new.stx' m.CreateObject /i exch def i "
                  "i m.GetFormat "
                  "i [D /a 1 /b [A 2 3]] m.SetData i m.Write "
                  "'new.stx' m.ObjectExists 'nosuch.stx' m.ObjectExists "
                  "'new.stx' 'rw' m.GetObject /j exch def j "
                  "j m.GetData j m.GetFormat"),
              "0 'unknown' #1 #0 1 [D /a 1 /b [A 2 3 ] ] 'ascii'");
    EXPECT_NE(Get("new.stx").find("/b"), std::string::npos);
    // Every handle taken on the way was given back.
    EXPECT_EQ(SLObjectHandles().Count(), 0u);
    EXPECT_EQ(Run("StorageObjectManager /m exch def 'new.stx' 'R' m.GetObject m.GetName"),
              "'" + Stored("new.stx") + "'");
}

TEST_F(StorageScriptClassTest, SetDataAndGetDataPassTheObjectsThemselves) {
    Put("o.stx", "[D /a 1]");
    EXPECT_EQ(Run("StorageObjectManager /m exch def 'o.stx' 'rw' m.GetObject pop "
                  "/d [D /x 1] def 0 d m.SetData d /y 2 put 0 m.GetData "
                  "0 m.GetData /z 3 put 0 m.GetData d"),
              "[D /x 1 /y 2 /z 3 ] [D /x 1 /y 2 /z 3 ] [D /x 1 /y 2 /z 3 ]"); // one object throughout
    EXPECT_EQ(SLObjectHandles().Count(), 0u);
    // A storage object without data gives nil.
    EXPECT_EQ(Run("StorageObjectManager /m exch def 'fresh.stx' m.CreateObject m.GetData"), "@0");
    // The data is written only on Write.
    EXPECT_EQ(Get("o.stx"), "[D /a 1]");
}

TEST_F(StorageScriptClassTest, ScrambledFilesReadBackAsPlainFormat) {
    EXPECT_EQ(Run("StorageObjectManager /m exch def 'sec.stx' m.CreateObject pop "
                  "0 'eAscii' m.SetFormat 0 [A 'secret'] m.SetData 0 m.Write 0 m.GetFormat"),
              "'eascii'");
    EXPECT_EQ(Get("sec.stx").substr(0, 4), "%SLE");
    EXPECT_EQ(Get("sec.stx").find("secret"), std::string::npos);
    EXPECT_EQ(Run("StorageObjectManager /m exch def 'sec.stx' 'r' m.GetObject pop 0 m.Read 0 m.GetFormat 0 m.GetData"),
              "'ascii' [A 'secret' ]");
}

TEST_F(StorageScriptClassTest, StorageErrorsReachTheScriptUnchanged) {
    const std::string prefix = "StorageObjectManager /m exch def ";
    Put("o.stx", "1");
    struct TFail {
        const char* Script;
        const char* Message;
    } failures[] = {
        {"'o.stx' 'x' m.GetObject", "illegal access attribute 'X'"},
        {"'nosuch.stx' 'r' m.GetObject", "TStorageManager.GetObject: object with name 'nosuch.stx' not found"},
        {"5 m.GetData", "TSLArray.ObjectAtIndex: no object to fetch at index 5"},
        {"0 [A] m.SetData", "TSLArray.ObjectAtIndex: no object to fetch at index 0"},
        {"'o.stx' 'r' m.GetObject 'bad' m.SetFormat", "unknown storage object format 'BAD'"},
        {"'clipboard://cb.data' m.CreateObject 'eascii' m.SetFormat",
         "TSLClipboardStorageObject.SetFormat: format sfEASCII is currently not supported"},
        {"'o.stx' m.GetData", "Invalid class typecast"},
    };
    for (const TFail& f : failures) {
        SCOPED_TRACE(f.Script);
        EXPECT_EQ(RunError(prefix + f.Script), f.Message);
        // A failed step gives its handle back too.
        Drop();
        EXPECT_EQ(SLObjectHandles().Count(), 0u);
    }
    // A try block catches them.
    EXPECT_EQ(Run(prefix + "[B 'o.stx' 'q' m.GetObject] [B /Msg get] tryexcept"), "'illegal access attribute @'Q@''");
}

TEST_F(StorageScriptClassTest, AScriptEditsArchivesThroughTwoInstancesSharingOneArchive) {
    EXPECT_EQ(Run("ArchiveManager /a exch def ArchiveManager /b exch def "
                  "'arc.sla' 'rw' a.GetArchive /x exch def 'arc.sla' 'r' b.GetArchive /y exch def "
                  "x 'e1.stx' 'ascii' [D /v 1] a.AddEntry x 'e2.stx' 'EASCII' 42 a.AddEntry "
                  "y b.GetCount y 'e2.stx' b.GetIndexOfName y 'none' b.GetIndexOfName "
                  "y 0 b.GetNameAtIndex y 1 b.GetFormatAtIndex y 0 b.GetDataAtIndex"),
              "0 1 2 1 -1 'e1.stx' 'eascii' [D /v 1 ]");
    EXPECT_FALSE(Exists("arc.sla")); // nothing reaches the disk before Write
    Drop();
    EXPECT_EQ(ArchiveManager().GetCount(), 0); // the instances let their archive go

    EXPECT_EQ(Run("ArchiveManager /a exch def 'arc.sla' 'rw' a.GetArchive /x exch def "
                  "x 'e1.stx' 'ascii' [D /v 1] a.AddEntry pop x 'e2.stx' 'eascii' 42 a.AddEntry pop x a.Write"),
              "");
    EXPECT_EQ(SLObjectHandles().Count(), 0u);
    Drop();
    ASSERT_TRUE(Exists("arc.sla"));
    EXPECT_EQ(Get("arc.sla").find("42"), std::string::npos); // the scrambled entry
    // Read back from the file: the scrambled entry keeps its format.
    EXPECT_EQ(Run("ArchiveManager /a exch def 'arc.sla' 'r' a.GetArchive /x exch def "
                  "x a.GetCount x 0 a.GetFormatAtIndex x 1 a.GetFormatAtIndex x 1 a.GetDataAtIndex "
                  "'archive://arc\\e1.stx' loadobj"),
              "2 'ascii' 'eascii' 42 [D /v 1 ]");
}

TEST_F(StorageScriptClassTest, EntriesAreRemovedClearedAndRefusedTwice) {
    const std::string open = "ArchiveManager /a exch def 'arc.sla' 'rw' a.GetArchive /x exch def "
                             "x 'e1' 'ascii' 1 a.AddEntry pop x 'e2' 'ascii' 2 a.AddEntry pop x 'e3' 'ascii' 3 "
                             "a.AddEntry pop ";
    EXPECT_EQ(Run(open + "x 'e2' a.RemoveEntryWithName x a.GetCount x 1 a.GetNameAtIndex "
                         "x 0 a.RemoveEntryAtIndex x 0 a.GetNameAtIndex x a.Clear x a.GetCount"),
              "2 'e3' 'e3' 0");
    Drop();
    EXPECT_EQ(RunError(open + "x 'e1' 'ascii' 9 a.AddEntry"),
              "TSLDictionary.AddObject: object with name 'e1' already exists");
    EXPECT_EQ(Stack(), ""); // the operands were taken
    EXPECT_EQ(Run("ArchiveManager /a exch def 'arc.sla' 'rw' a.GetArchive /x exch def x a.GetCount x 0 a.GetDataAtIndex"),
              "3 1"); // unchanged, still the first entry's data
    Drop();
    struct TFail {
        const char* Script;
        const char* Message;
    } failures[] = {
        {"x -1 a.GetNameAtIndex", "TSLDictionary.GetNameAtIndex: index (-1) out of bounds (3)"},
        {"x 3 a.GetDataAtIndex", "TSLDictionary.GetObjAtIndex: index (3) out of bounds (3)"},
        {"x 'none' a.RemoveEntryWithName", "TSLDictionary.RemoveObject: object with name 'none' not found"},
        {"1 a.GetCount", "TSLArray.ObjectAtIndex: no object to fetch at index 1"},
        {"x 'e4' 'bad' 4 a.AddEntry", "unknown storage object format 'BAD'"},
        {"'' 'rw' a.GetArchive", "Tried to open archive with empty filename"},
        {"'arc.sla' 'z' a.GetArchive", "illegal access attribute 'Z'"},
    };
    for (const TFail& f : failures) {
        SCOPED_TRACE(f.Script);
        EXPECT_EQ(RunError(open + f.Script), f.Message);
        Drop();
        EXPECT_EQ(SLObjectHandles().Count(), 0u);
    }
}

TEST_F(StorageScriptClassTest, ALinkEntryTakesItsTextFromTheFileBesideTheArchiveAtEveryWrite) {
    Put("arc/link.stx", "[A 5 6]");
    EXPECT_EQ(Run("ArchiveManager /a exch def 'arc.sla' 'rw' a.GetArchive /x exch def "
                  "x 'link.stx' 'ascii' a.AddLink x a.Write"),
              "0");
    Drop();
    EXPECT_EQ(Run("'archive://arc\\link.stx' loadobj"), "[A 5 6 ]");
    Drop();
    Put("arc/link.stx", "[A 7]");
    EXPECT_EQ(Run("ArchiveManager /a exch def 'arc.sla' 'rw' a.GetArchive /x exch def "
                  "x 'link.stx' a.GetIndexOfName x 'new.stx' 'ascii' 1 a.AddEntry x a.Write"),
              "0 1");
    Drop();
    // The entry read from the file is an ordinary entry now, written as it was read.
    EXPECT_EQ(Run("'archive://arc\\link.stx' loadobj"), "[A 5 6 ]");
}

TEST_F(StorageScriptClassTest, TheStorageObjectsOfAnInstanceLiveAsLongAsTheInstance) {
    Put("o.stx", "[A 1]");
    Start("StorageObjectManager /m exch def 'o.stx' 'r' m.GetObject pop 'o.stx' 'r' m.GetObject pop "
          "ArchiveManager /a exch def 'arc.sla' 'rw' a.GetArchive pop");
    RunToEnd();
    PurgeAutoReleasePool();
    EXPECT_EQ(ArchiveManager().GetCount(), 1);
    EXPECT_EQ(StorageObjectManagerScriptClass().ObjectCount(), 1u);
    auto* m = static_cast<TSLClass*>(Global("m"));
    TStorageObjectManagerScriptObject* obj = StorageObjectManagerScriptClass().ObjectOf(m->FScrObjHandle);
    ASSERT_NE(obj, nullptr);
    EXPECT_EQ(obj->StoObjArr->GetCount(), 2);
    Drop();
    EXPECT_EQ(StorageObjectManagerScriptClass().ObjectCount(), 0u);
    EXPECT_EQ(ArchiveManagerScriptClass().ObjectCount(), 0u);
    EXPECT_EQ(ArchiveManager().GetCount(), 0);
}

} // namespace
} // namespace vo::test
