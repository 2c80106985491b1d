// The storage manager: routing of names by scheme and through the default
// search, the file lookup along the class path, storage ids, contexts and the
// engine hooks, imports, and the name helpers the plug-ins share.
#include "storagelib/SL20Sto.h"
#include "storagelib/SL20Stu.h"

#include "tests/storagelib/SL20StoTestUtil.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace vo {
namespace {

using test::StorageTest;
using test::V;
using test::W;

// ---------------------------------------------------------------- name helpers

TEST(StorageNames, SplitNameByLevel) {
    struct Case {
        const char* Name;
        int Level;
        const char* Dir;
        const char* Rest;
    };
    const Case cases[] = {
        {"A\\B\\f.stx", 2, "A\\B", "f.stx"},
        {"A\\B\\f.stx", 1, "A", "B\\f.stx"},
        {"A\\B\\f.stx", 0, ".", "A\\B\\f.stx"},
        {"C:\\A\\f.stx", 1, "C:\\A", "f.stx"},
        {"C:\\A\\f.stx", 0, "C:", "A\\f.stx"},
        {"C:\\f.stx", 0, "C:\\", "f.stx"},
        {"\\f.stx", 0, "\\", "f.stx"},
        {"\\tmp\\p\\f.stx", 1, "\\tmp", "p\\f.stx"},
        {"\\tmp\\p\\f.stx", 2, "\\tmp\\p", "f.stx"},
        {"f", 0, ".", "f"},
    };
    for (const auto& c : cases) {
        MyAnsiString dir = "junk";
        MyAnsiString rest = "junk";
        SplitName(c.Name, c.Level, dir, rest);
        EXPECT_EQ(dir, c.Dir) << c.Name << " " << c.Level;
        EXPECT_EQ(rest, c.Rest) << c.Name << " " << c.Level;
    }
    MyAnsiString d;
    MyAnsiString r;
    EXPECT_THROW_MSG(SplitName("A\\f", 2, d, r), Exception, "DirIndex out of bounds in procedure SplitName");
    EXPECT_THROW_MSG(SplitName("A\\f", -1, d, r), Exception, "DirIndex out of bounds in procedure SplitName");
}

TEST(StorageNames, RootsAndLevels) {
    EXPECT_TRUE(HasRootSlash("\\x"));
    EXPECT_TRUE(HasRootSlash("C:\\x"));
    EXPECT_FALSE(HasRootSlash("C:x"));
    EXPECT_FALSE(HasRootSlash("x\\y"));
    EXPECT_EQ(CountDirectories("A\\B\\f"), 2);
    EXPECT_EQ(CountDirectories("\\A\\f"), 1);
    EXPECT_EQ(CountDirectories("C:\\f"), 0);
    EXPECT_EQ(CountDirectories("f"), 0);
}

TEST(StorageNames, AccessAndFormatTexts) {
    EXPECT_EQ(ConvertAccessString("rw"), saReadWrite);
    EXPECT_EQ(ConvertAccessString("r"), saRead);
    EXPECT_EQ(ConvertAccessString("W"), saWrite);
    EXPECT_THROW_MSG(ConvertAccessString("x"), Exception, "illegal access attribute 'X'");
    EXPECT_EQ(ConvertFormatString("eascii"), sfEASCII);
    EXPECT_EQ(ConvertFormatString("Ascii"), sfASCII);
    EXPECT_EQ(ConvertFormatString("unknown"), sfUnknown);
    EXPECT_THROW_MSG(ConvertFormatString("text"), Exception, "unknown storage object format 'TEXT'");
    EXPECT_EQ(ChangeFileExt("\\a\\Archives.sla", ".tmp"), "\\a\\Archives.tmp");
    EXPECT_EQ(ChangeFileExt("\\a.b\\Archives", ".tmp"), "\\a.b\\Archives.tmp");
    EXPECT_EQ(ExtractStoredFileName("archive://Archives\\Lib\\Tools"), "Tools");
    EXPECT_EQ(ExtractStoredFileName("Tools"), "Tools");
}

// ---------------------------------------------------------------- routing

// A plug-in that records what reaches it.
class TRecordingPlugin : public TStoragePluginInterface {
public:
    TRecordingPlugin(const char* Scheme, std::vector<std::string>& Log, bool Has)
        : FScheme(Scheme), FLog(Log), FHas(Has) {}
    const char* ClassName() const noexcept override { return "TRecordingPlugin"; }
    bool ObjectExists(const MyAnsiString& Name) override {
        FLog.push_back(FScheme + "exists " + Name);
        return FHas;
    }
    using TStoragePluginInterface::GetObject;
    TSLStorageObject* GetObject(const MyAnsiString& Name, TStreamAccess, bool) override {
        FLog.push_back(FScheme + "get " + Name);
        throw Exception("got " + Name);
    }
    bool CanCreate(const MyAnsiString& Name) override {
        FLog.push_back(FScheme + "cancreate " + Name);
        return FHas;
    }
    TSLStorageObject* CreateObject(const MyAnsiString& Name) override {
        FLog.push_back(FScheme + "create " + Name);
        throw Exception("created " + Name);
    }
    MyAnsiString GetScheme() const override { return FScheme; }

private:
    std::string FScheme;
    std::vector<std::string>& FLog;
    bool FHas;
};

class RoutingTest : public test::ValueTest {
protected:
    void SetUp() override {
        ValueTest::SetUp();
        M = std::make_unique<TStorageManager>("\\nowhere\\");
    }
    void TearDown() override {
        M.reset();
        ValueTest::TearDown();
    }
    std::unique_ptr<TStorageManager> M;
    std::vector<std::string> Log;
};

TEST_F(RoutingTest, SchemeGoesToItsPluginOnlyAndIsCaseSensitive) {
    M->AnnounceStoragePlugin(std::make_unique<TRecordingPlugin>("a://", Log, true), true);
    M->AnnounceStoragePlugin(std::make_unique<TRecordingPlugin>("b://", Log, false), true);
    // a name with a scheme: only that plug-in, its answer is final
    EXPECT_THROW_MSG(M->GetObject("b://x\\y"), Exception, "got x\\y");
    EXPECT_EQ(Log, (std::vector<std::string>{"b://get x\\y"}));
    Log.clear();
    EXPECT_FALSE(M->ObjectExists("b://x"));
    EXPECT_EQ(Log, (std::vector<std::string>{"b://exists x"}));
    Log.clear();
    // a scheme in capitals is no scheme: the name is searched as a plain one
    EXPECT_THROW_MSG(M->GetObject("B://x"), Exception, "got B://x");
    EXPECT_EQ(Log, (std::vector<std::string>{"a://exists B://x", "a://get B://x"}));
}

TEST_F(RoutingTest, DefaultSearchAsksInAnnouncementOrder) {
    M->AnnounceStoragePlugin(std::make_unique<TRecordingPlugin>("a://", Log, false), true);
    M->AnnounceStoragePlugin(std::make_unique<TRecordingPlugin>("c://", Log, true), false); // not searched
    M->AnnounceStoragePlugin(std::make_unique<TRecordingPlugin>("b://", Log, true), true);
    EXPECT_THROW_MSG(M->GetObject("n"), Exception, "got n");
    EXPECT_EQ(Log, (std::vector<std::string>{"a://exists n", "b://exists n", "b://get n"}));
    Log.clear();
    EXPECT_THROW_MSG(M->CreateObject("n"), Exception, "created n");
    EXPECT_EQ(Log, (std::vector<std::string>{"a://cancreate n", "b://cancreate n", "b://create n"}));
    Log.clear();
    EXPECT_THROW_MSG(M->CreateObject("c://n"), Exception, "created n");
}

TEST_F(RoutingTest, NothingHoldsTheName) {
    M->AnnounceStoragePlugin(std::make_unique<TRecordingPlugin>("a://", Log, false), true);
    EXPECT_THROW_MSG(M->GetObject("gone.stx"), Exception,
                     "TStorageManager.GetObject: object with name 'gone.stx' not found");
    EXPECT_THROW_MSG(M->CreateObject("gone.stx"), Exception,
                     "TStorageManager.CreateObject: could not create object 'gone.stx'");
    EXPECT_FALSE(M->ObjectExists("gone.stx"));
}

TEST_F(RoutingTest, AnnouncementsAndTheirRefusals) {
    EXPECT_EQ(M->GetClasspathArray()->GetCount(), 1);
    EXPECT_EQ(M->GetClasspathArray()->GetStrAtIndex(0), "\\nowhere\\");
    EXPECT_EQ(M->GetSystemDict()->GetIdent(), "System");
    EXPECT_EQ(M->GetScriptClassDict()->GetIdent(), "Create");

    TRef<TSLInternalProcedure> proc = MakeRef<TSLInternalProcedure>();
    M->AnnounceSystemProcedure("loadclass", proc.Get());
    EXPECT_THROW(M->AnnounceSystemProcedure("LoadClass", proc.Get()), Exception);
    TRef<TSLDictionary> lib = test::VAs<TSLDictionary>("[D /a 1 ]");
    M->AnnounceDictionary("Lib", lib.Get());
    EXPECT_THROW(M->AnnounceDictionary("lib", lib.Get()), Exception);

    EXPECT_THROW_MSG(M->RequireScriptTaskFactory(), Exception,
                     "TStorageManager.CreateScriptTask: no ScriptClassFactory announced");
    EXPECT_THROW_MSG(M->CreateContext(false), Exception, "TStorageManager.CreateContext: no script engine announced");
}

TEST_F(RoutingTest, DecodeAndEncodeStrings) {
    TRef<TSLObject> v = M->DecodeStringToObject("[D /a 1 /b [A 'x' ] ]");
    EXPECT_EQ(W(v), "[D /a 1 /b [A 'x' ] ]");
    EXPECT_EQ(M->EncodeObjectToString(V("[A 1 'x' ]").Get()), "[A 1 'x' ] ");
    EXPECT_EQ(M->DecodeStringToObject("   ").Get(), nullptr);
    EXPECT_THROW(M->DecodeStringToObject("[A 1 "), Exception);
}

// ---------------------------------------------------------------- storage ids

TEST(StorageIDs, OnePerNameFromOne) {
    TStorageIDManager ids;
    uint16_t id = 0;
    EXPECT_FALSE(ids.NameExist("a", id));
    EXPECT_EQ(id, 65535);
    EXPECT_EQ(ids.CreateStorageID("a"), 1);
    EXPECT_EQ(ids.CreateStorageID("b"), 2);
    EXPECT_EQ(ids.CreateStorageID("a"), 1);
    EXPECT_EQ(ids.GetCount(), 2);
    EXPECT_TRUE(ids.NameExist("b", id));
    EXPECT_EQ(id, 2);
    EXPECT_FALSE(ids.NameExist("B", id)); // exact comparison
    EXPECT_EQ(ids.GetIDInfo(2).Name, "b");
    EXPECT_THROW_MSG(ids.GetIDInfo(3), Exception, "TStorageIDManager.GetIDInfo: ID 3 does not exist");
    EXPECT_THROW(ids.GetIDInfo(0), Exception);
}

TEST(StorageIDs, AFullTableHandsOutNoWrappedIds) {
    TStorageIDManager ids;
    for (int i = 1; i <= 65535; ++i) ASSERT_EQ(ids.CreateStorageID(std::to_string(i)), i);
    EXPECT_EQ(ids.CreateStorageID("one more"), 0);
    EXPECT_EQ(ids.CreateStorageID("1"), 1);
}

// ---------------------------------------------------------------- files through the manager

TEST_F(StorageTest, FindFileLooksInTheCurrentFolderThenAlongTheClassPath) {
    Put("prog/Archives/x.stx", "1");
    Put("prog/Packages/x.stx", "2");
    Put("prog/Packages/y.stx", "3");
    MyAnsiString complete;
    EXPECT_TRUE(Manager->FindFile("x.stx", complete));
    EXPECT_EQ(complete, ProgDir + "Archives\\x.stx");
    EXPECT_TRUE(Manager->FindFile("y.stx", complete));
    EXPECT_EQ(complete, ProgDir + "Packages\\y.stx");
    Put("cwd/x.stx", "4");
    EXPECT_TRUE(Manager->FindFile("x.stx", complete));
    EXPECT_EQ(complete, Stored("cwd") + "\\x.stx");
    // letter case of stored names does not matter
    EXPECT_TRUE(Manager->FindFile("Y.STX", complete));
    // rooted: only under exactly that name, which comes back also when missing
    EXPECT_FALSE(Manager->FindFile("\\no\\such.stx", complete));
    EXPECT_EQ(complete, "\\no\\such.stx");
    EXPECT_TRUE(Manager->FindFile(Stored("prog/Packages/y.stx"), complete));
    EXPECT_FALSE(Manager->FindFile("z.stx", complete));
}

TEST_F(StorageTest, ClassPathEntryWithoutTrailingSeparatorReachesNothingBelowIt) {
    Put("prog/Extra/e.stx", "1");
    Manager->AnnounceClasspath(ProgDir + "Extra");
    MyAnsiString complete;
    EXPECT_FALSE(Manager->FindFile("e.stx", complete));
    Manager->AnnounceClasspath(ProgDir + "Extra\\");
    EXPECT_TRUE(Manager->FindFile("e.stx", complete));
}

TEST_F(StorageTest, PlainNameFoundAsFileBeforeArchiveAndSchemesKeepToTheirPlugin) {
    Put("cwd/Lib/v.stx", "'file'");
    Put("cwd/Lib.sla", test::RawArchive({test::E("v.stx", "'archive'")}));
    EXPECT_EQ(W(Manager->GetObject("Lib\\v.stx")->GetData()), "'file'");
    EXPECT_EQ(W(Manager->GetObject("archive://Lib\\v.stx")->GetData()), "'archive'");
    // only in the archive: file:// does not reach it
    Put("cwd/Lib.sla", test::RawArchive({test::E("w.stx", "2")}));
    EXPECT_TRUE(Manager->ObjectExists("Lib\\w.stx"));
    EXPECT_FALSE(Manager->ObjectExists("file://Lib\\w.stx"));
    EXPECT_THROW_MSG(Manager->GetObject("file://Lib\\w.stx"), Exception,
                     "TFileStoragePlugin error: no object named Lib\\w.stx found");
}

// ---------------------------------------------------------------- contexts and the engine

// A context that records the dictionaries it is given.
class TRecordingContext : public test::TTestContext {
    VO_REFOBJ_CLASS(TRecordingContext, test::TTestContext)
public:
    void AddNamedDict(const MyAnsiString& Name, TSLDictionary* Dict) override {
        Named.emplace_back(Name, TRef<TSLDictionary>(Dict));
    }
    void ImportDict(const MyAnsiString& Name, TSLDictionary* Dict) override {
        Imported.emplace_back(Name, TRef<TSLDictionary>(Dict));
    }
    std::vector<std::pair<MyAnsiString, TRef<TSLDictionary>>> Named;
    std::vector<std::pair<MyAnsiString, TRef<TSLDictionary>>> Imported;
};

class TFakeEngine : public TScriptEngineInterface {
    VO_REFOBJ_CLASS(TFakeEngine, TScriptEngineInterface)
public:
    TSLContext* CreateContextImplementation(bool AutoRelease) override {
        return NewRefObj<TRecordingContext>(AutoRelease);
    }
    TRef<TSLObject> CreateScriptClassFactory(const MyAnsiString& Name, TScriptClass*, int32_t Version) override {
        Made.push_back(Name + "/" + std::to_string(Version));
        return MakeRef<TSLInternalProcedure>();
    }
    bool GetContextDebug(TSLContext*) override { return Debug; }
    void AddScriptToDebugger(TSLContext*, const MyAnsiString& FileName, uint16_t ID) override {
        Shown.emplace_back(FileName, ID);
    }
    std::vector<std::string> Made;
    bool Debug = false;
    std::vector<std::pair<MyAnsiString, uint16_t>> Shown;
};

TEST_F(StorageTest, ContextsGetSystemCreateAndAGlobalOfTheirOwn) {
    TRef<TFakeEngine> engine = MakeRef<TFakeEngine>();
    Manager->AnnounceScriptEngine(engine.Get());
    EXPECT_EQ(Manager->GetInterpreter(), engine.Get());

    TRef<TSLContext> a = Manager->CreateContext(false);
    EXPECT_EQ(a->GetRefCount(), 1); // ours: created at count 0
    TSLContext* b = Manager->CreateContext(true);
    EXPECT_EQ(b->GetRefCount(), 1); // the pool's
    auto* ra = static_cast<TRecordingContext*>(a.Get());
    auto* rb = static_cast<TRecordingContext*>(b);
    ASSERT_EQ(ra->Named.size(), 3u);
    EXPECT_EQ(ra->Named[0].first, "System");
    EXPECT_EQ(ra->Named[0].second.Get(), Manager->GetSystemDict());
    EXPECT_EQ(ra->Named[1].first, "Create");
    EXPECT_EQ(ra->Named[1].second.Get(), Manager->GetScriptClassDict());
    EXPECT_EQ(ra->Named[2].first, "Global");
    ASSERT_EQ(rb->Named.size(), 3u);
    EXPECT_NE(ra->Named[2].second.Get(), rb->Named[2].second.Get());
    EXPECT_EQ(ra->Named[2].second->GetCount(), 0);
}

TEST_F(StorageTest, ScriptClassesAreAnnouncedOncePerName) {
    EXPECT_THROW_MSG(Manager->AnnounceScriptClass("Archive", nullptr, 1), Exception,
                     "TStorageManager.AnnounceScriptClass: no script engine announced");
    TRef<TFakeEngine> engine = MakeRef<TFakeEngine>();
    Manager->AnnounceScriptEngine(engine.Get());
    Manager->AnnounceScriptClass("ArchiveManager", nullptr, 1);
    EXPECT_TRUE(Manager->ScriptClassExists("archivemanager"));
    EXPECT_FALSE(Manager->ScriptClassExists("Other"));
    EXPECT_THROW_MSG(Manager->AnnounceScriptClass("ARCHIVEMANAGER", nullptr, 2), Exception,
                     "TStorageManager.AnnounceScriptClass: class with name 'ARCHIVEMANAGER' already announced");
    EXPECT_EQ(engine->Made, (std::vector<std::string>{"ArchiveManager/1"}));
}

TEST_F(StorageTest, ImportTakesAnnouncedDictionariesThenStoredOnes) {
    TRef<TFakeEngine> engine = MakeRef<TFakeEngine>();
    Manager->AnnounceScriptEngine(engine.Get());
    TRef<TRecordingContext> ctx = MakeRef<TRecordingContext>();
    TRef<TSLDictionary> lib = test::VAs<TSLDictionary>("[D /a 1 ]");
    Manager->AnnounceDictionary("Lib", lib.Get());
    Manager->ImportIntoContext("Lib", ctx.Get());
    ASSERT_EQ(ctx->Imported.size(), 1u);
    EXPECT_EQ(ctx->Imported[0].second.Get(), lib.Get());

    // a stored one under the last part of its name, from a file or an archive
    Put("prog/Archives/Lib.sla", test::RawArchive({test::E("Tools.stx", "[D /x 2 ]")}));
    Manager->ImportIntoContext("archive://Archives\\Lib\\Tools", ctx.Get());
    Put("cwd/Pkg/Util.stx", "[D /y 3 ]");
    engine->Debug = true;
    Manager->ImportIntoContext("Pkg\\Util", ctx.Get());
    ASSERT_EQ(ctx->Imported.size(), 3u);
    EXPECT_EQ(ctx->Imported[1].first, "Tools");
    EXPECT_EQ(W(ctx->Imported[1].second), "[D /x 2 ]");
    EXPECT_EQ(ctx->Imported[2].first, "Util");
    // in debug mode the debugger is told about the text it came from
    ASSERT_EQ(engine->Shown.size(), 1u);
    EXPECT_EQ(engine->Shown[0].first, "Pkg\\Util.stx");
    EXPECT_EQ(Manager->GetStorageIDManager().GetIDInfo(engine->Shown[0].second).Name,
              Stored("cwd") + "\\Pkg\\Util.stx");

    EXPECT_THROW_MSG(Manager->ImportIntoContext("Pkg\\None", ctx.Get()), Exception,
                     "TStorageManager.ImportIntoContext: No storage object with name:Pkg\\None found");
    Put("cwd/Pkg/Arr.stx", "[A 1 ]");
    EXPECT_THROW(Manager->ImportIntoContext("Pkg\\Arr", ctx.Get()), EInvalidCast);
}

TEST_F(StorageTest, SyntaxErrorsNameTheFileTheyCameFrom) {
    Put("cwd/bad.stx", "[D a ");
    try {
        Manager->GetObject("bad.stx");
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()).rfind("[bad.stx, 1] Syntax error: ", 0), 0u) << e.what();
    }
}

} // namespace
} // namespace vo
