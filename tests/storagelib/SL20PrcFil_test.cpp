// File, folder, time, dialog and storage built-ins, run by scripts in a
// temporary folder; and the complete System dictionary.
#include <sys/stat.h>
#include <utime.h>

#include <ctime>

#include "SL20PrcFilTestUtil.h"
#include "tests/support/ScriptedPrompt.h"

namespace vo::test {
namespace {

using FileProcTest = FileScriptTest;

struct TCase {
    const char* Script;
    const char* Stack;
};

TEST_F(FileProcTest, AScriptCreatesWritesReadsRenamesListsAndDeletesFilesAndFolders) {
    EXPECT_EQ(Run("'data' createdir 'data' createdir 'data\\sub\\deep' forcedirectories 'data' directoryexists"),
              "#1 #0 #1 #1");
    EXPECT_TRUE(fs::is_directory(Root / "cwd/data/sub/deep"));

    EXPECT_EQ(Run("'data\\a.stx' [D /n 1 /s 'x'] saveobj 'data\\a.stx' fileexist 'data\\a.stx' loadobj"),
              "#1 [D /n 1 /s 'x' ]");
    EXPECT_NE(Get("data/a.stx").find("'x'"), std::string::npos);

    EXPECT_EQ(Run("'data\\a.stx' 'data\\b.stx' renamefile 'data\\a.stx' fileexist 'data\\b.stx' fileexist"),
              "#1 #0 #1");
    EXPECT_EQ(Run("'data\\*.stx' 0 getdircontents dup count exch 0 get /Name get"), "1 'b.stx'");
    EXPECT_EQ(Run("'data\\b.stx' deletefile 'data\\b.stx' deletefile 'data' removedir"), "#1 #0 #0");
    EXPECT_EQ(Run("'data\\sub\\deep' removedir 'data\\sub' removedir 'data' removedir 'data' directoryexists"),
              "#1 #1 #1 #0");
    EXPECT_FALSE(fs::exists(Root / "cwd/data"));
}

TEST_F(FileProcTest, NamesAreMatchedWithoutRegardToCaseAndBackslashesSeparate) {
    Put("Data/File.TXT", "[A 1 2]");
    EXPECT_EQ(Run("'DATA\\file.txt' fileexist 'data\\FILE.txt' loadobj 'data' directoryexists"), "#1 [A 1 2 ] #1");
    const MyAnsiString abs = Stored("Data/File.TXT");
    EXPECT_EQ(Run("'" + abs + "' fileexist"), "#1");
    // A name the path mapping refuses names nothing.
    EXPECT_EQ(Run("'C:\\x' fileexist 'C:\\x' createdir 'C:\\x' filegetattr '' directoryexists"), "#0 #0 -1 #0");
}

TEST_F(FileProcTest, FileAttributes) {
    Put("plain.txt", "abc");
    Put("ro.txt", "abc");
    Put(".hidden", "");
    fs::create_directories(Root / "cwd/dir");
    fs::permissions(Root / "cwd/ro.txt", fs::perms::owner_read | fs::perms::group_read);
    EXPECT_EQ(Run("'plain.txt' filegetattr 'dir' filegetattr 'ro.txt' filegetattr '.hidden' filegetattr "
                  "'missing' filegetattr"),
              "32 16 33 34 -1");
}

TEST_F(FileProcTest, DirectoryContentsFilterByAttributesAndPackTheLastWriteTime) {
    Put("list/b.txt", "12345");
    Put("list/A.txt", "abc");
    Put("list/.hidden", "");
    fs::create_directories(Root / "cwd/list/sub");
    std::tm when{};
    when.tm_year = 121;
    when.tm_mon = 5;
    when.tm_mday = 15;
    when.tm_hour = 10;
    when.tm_min = 20;
    when.tm_sec = 30;
    when.tm_isdst = -1;
    const time_t t = std::mktime(&when);
    const struct utimbuf times { t, t };
    ASSERT_EQ(::utime((Root / "cwd/list/A.txt").c_str(), &times), 0);
    const int64_t dos = (int64_t{2021 - 1980} << 25) | (6 << 21) | (15 << 16) | (10 << 11) | (20 << 5) | 15;

    Run("'list\\*' 0 getdircontents");
    auto* arr = SLCast<TSLArray>(Ctx->OperandStack().GetObjAtIndex(0));
    ASSERT_EQ(arr->GetCount(), 2);
    EXPECT_EQ(W(arr->GetObjAtIndex(0)), "[D /Attr 32 /Name 'A.txt' /Size 3 /Time " + std::to_string(dos) + " ]");
    auto* b = SLCast<TSLDictionary>(arr->GetObjAtIndex(1));
    EXPECT_EQ(b->GetStrWithName("Name"), "b.txt");
    EXPECT_EQ(b->GetIntWithName("Size"), 5);

    const auto names = [&](const std::string& Script) {
        Run("/r [A] def " + Script + " [B /Name get r exch add] forall r");
        return Stack();
    };
    EXPECT_EQ(names("'list\\*' 16 getdircontents"), "[A '.' '..' 'A.txt' 'b.txt' 'sub' ]");
    EXPECT_EQ(names("'list\\*.*' 18 getdircontents"), "[A '.' '..' '.hidden' 'A.txt' 'b.txt' 'sub' ]");
    EXPECT_EQ(names("'list\\?.TXT' 16 getdircontents"), "[A 'A.txt' 'b.txt' ]");
    EXPECT_EQ(names("'list\\s*' 16 getdircontents"), "[A 'sub' ]");
    EXPECT_EQ(names("'list\\s*' 0 getdircontents"), "[A ]");
    EXPECT_EQ(Run("'list\\*.none' 16 getdircontents 'nosuch\\*' 16 getdircontents 'list\\' 16 getdircontents"),
              "[A ] [A ] [A ]");
    // Relative to the current folder.
    EXPECT_EQ(names("'list' chdir '*.txt' 0 getdircontents"), "[A 'A.txt' 'b.txt' ]");
}

TEST_F(FileProcTest, CurrentDirectory) {
    fs::create_directories(Root / "cwd/Sub");
    EXPECT_EQ(Run("getcurrentdir 0 getdir"), "'" + Stored("").substr(0, Stored("").size() - 1) + "' '" + Stored("").substr(0, Stored("").size() - 1) + "'");
    EXPECT_EQ(Run("'sub' chdir getcurrentdir"), "'" + Stored("Sub") + "'");
    EXPECT_EQ(fs::current_path(), Root / "cwd/Sub");
    EXPECT_EQ(Run("'nosuch' setcurrentdir '..' setcurrentdir getcurrentdir"),
              "#0 #1 '" + Stored("").substr(0, Stored("").size() - 1) + "'");
    EXPECT_EQ(RunError("'nosuch' chdir"), "File not found");
    EXPECT_EQ(RunError("'C:\\x' chdir"), "Invalid filename");
    Put("file", "");
    EXPECT_EQ(RunError("'file\\x' chdir"), "Invalid filename");
}

TEST_F(FileProcTest, FileSearchTriesTheNameThenEachFolderOfTheList) {
    Put("p2/x.cfg", "1");
    Put("here.cfg", "1");
    fs::create_directories(Root / "cwd/p1/x.cfg"); // a folder is not a file
    const TCase cases[] = {
        {"'x.cfg' 'p1;p2' filesearch", "'p2\\x.cfg'"},
        {"'x.cfg' ';;p2\\' filesearch", "'p2\\x.cfg'"},
        {"'x.cfg' 'p1' filesearch", "''"},
        {"'here.cfg' 'p2' filesearch", "'here.cfg'"},
        {"'x.cfg' '' filesearch", "''"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Script);
        EXPECT_EQ(Run(c.Script), c.Stack);
    }
}

TEST_F(FileProcTest, RenameNeverReplacesAnExistingFileAndDeleteLeavesFolders) {
    Put("a.txt", "A");
    Put("b.txt", "B");
    fs::create_directories(Root / "cwd/d");
    EXPECT_EQ(Run("'a.txt' 'b.txt' renamefile 'missing' 'c.txt' renamefile 'd' deletefile 'd' 'e' renamefile"),
              "#0 #0 #0 #1");
    EXPECT_EQ(Get("a.txt"), "A");
    EXPECT_EQ(Get("b.txt"), "B");
    EXPECT_TRUE(fs::is_directory(Root / "cwd/e"));
    EXPECT_EQ(Run("'a.txt' 'e\\a.txt' renamefile 'e\\a.txt' fileexist"), "#1 #1");
}

TEST_F(FileProcTest, FileNameParts) {
    const TCase cases[] = {
        {"'C:\\a\\b.txt' extfileext 'C:\\a\\b.txt' extfilename 'C:\\a\\b.txt' extfilepath",
         "'.txt' 'b.txt' 'C:\\a\\'"},
        {"'C:\\a\\b.txt' '.bak' chfileext", "'C:\\a\\b.bak'"},
        {"'C:\\a.d\\b' extfileext 'C:\\a.d\\b' '.x' chfileext", "'' 'C:\\a.d\\b.x'"},
        {"'C:b.txt' extfilepath 'C:b.txt' extfilename", "'C:' 'b.txt'"},
        {"'a.tar.gz' extfileext 'a.tar.gz' '' chfileext", "'.gz' 'a.tar'"},
        {"'name' extfilepath 'name' extfilename 'dir\\' extfilename", "'' 'name' ''"},
        {"'.profile' extfileext", "'.profile'"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Script);
        EXPECT_EQ(Run(c.Script), c.Stack);
    }
}

TEST_F(FileProcTest, DateAndTimeFollowTheFormatSettings) {
    SLSetClock([] { return FixedTime(); });
    const TCase cases[] = {
        {"date time", "'05.03.2024' '14:07:09'"},
        {"'yyyy-mm-dd hh:nn:ss.zzz' datetime", "'2024-03-05 14:07:09.045'"},
        {"'d/m/yy' datetime", "'5.3.24'"},
        {"'dddd, mmmm d' datetime 'ddd mmm' datetime", "'Tuesday, March 5' 'Tue Mar'"},
        {"'h:mm am/pm' datetime 'hh:mm AM/PM' datetime 'h a/p' datetime", "'2:07 pm' '02:07 PM' '2 p'"},
        {"'hh mm' datetime 'mm' datetime", "'14 07' '03'"}, // minutes right after an hour
        {"'@'at@' hh' datetime '\"hh\" h' datetime", "'at 14' 'hh 14'"},
        {"'c' datetime 'ddddd' datetime 't' datetime 'tt' datetime",
         "'05.03.2024 14:07:09' '05.03.2024' '14:07' '14:07:09'"},
        {"'YYYY/MM/DD z' datetime 'x' datetime '' datetime", "'2024.03.05 45' 'x' ''"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Script);
        EXPECT_EQ(Run(c.Script), c.Stack);
    }
}

TEST_F(FileProcTest, MsgDlgAsksTheUserAndPushesTheLetterOfTheAnswer) {
    TScriptedPromptScope prompt;
    prompt.Answer(mrNo);
    EXPECT_EQ(Run("'abc' 'I' 'yn' msgdlg"), "'N'");
    ASSERT_EQ(prompt.Count(), 1u);
    const TPromptRequest r = prompt.Requests()[0];
    EXPECT_EQ(r.Text, "abc");
    EXPECT_EQ(r.Kind, TMsgDlgType::mtInformation);
    EXPECT_EQ(r.Buttons, (TMsgDlgButtons{TMsgDlgBtn::mbYes, TMsgDlgBtn::mbNo}));

    prompt.Clear();
    for (TModalResult answer : {mrOk, mrCancel, mrAbort, mrRetry, mrIgnore, mrYes}) prompt.Answer(answer);
    EXPECT_EQ(Run("'m' 'W' 'OC' msgdlg 'm' 'E' 'ARI' msgdlg 'm' 'C' 'a' msgdlg 'm' 'C' 'r' msgdlg "
                  "'m' 'Confirm' 'i' msgdlg 'm' 'I' 'Y' msgdlg"),
              "'O' 'C' 'A' 'R' 'I' 'Y'");
    const auto requests = prompt.Requests();
    EXPECT_EQ(requests[0].Kind, TMsgDlgType::mtWarning);
    EXPECT_EQ(requests[0].Buttons, (TMsgDlgButtons{TMsgDlgBtn::mbOK, TMsgDlgBtn::mbCancel}));
    EXPECT_EQ(requests[1].Kind, TMsgDlgType::mtError);
    EXPECT_EQ(requests[1].Buttons, (TMsgDlgButtons{TMsgDlgBtn::mbAbort, TMsgDlgBtn::mbRetry, TMsgDlgBtn::mbIgnore}));
    EXPECT_EQ(requests[2].Kind, TMsgDlgType::mtConfirmation);

    // Refused buttons and types show no dialog.
    prompt.Clear();
    EXPECT_EQ(RunError("'m' 'I' 'X' msgdlg"), "illegal button AnsiChar");
    EXPECT_EQ(RunError("'m' 'I' 'yx' msgdlg"), "illegal button AnsiChar");
    EXPECT_EQ(RunError("'m' 'Q' 'o' msgdlg"), "illegal dialog type AnsiChar");
    EXPECT_EQ(RunError("'m' 'i' 'o' msgdlg"), "illegal dialog type AnsiChar"); // the type is case-sensitive
    EXPECT_EQ(RunError("'m' '' 'o' msgdlg"), "illegal dialog type AnsiChar");
    EXPECT_EQ(prompt.Count(), 0u);
    EXPECT_EQ(Stack(), ""); // all three operands were taken
    // A dialog closed without one of the buttons.
    prompt.Answer(mrClose);
    EXPECT_EQ(RunError("'m' 'I' 'o' msgdlg"), "illegal msgdlg result");
    EXPECT_EQ(RunError("'m' 5 'o' msgdlg"), "Invalid class typecast");
}

TEST_F(FileProcTest, BeepSoundsThroughTheProgramsHandler) {
    int beeps = 0;
    SLSetBeepHandler([&beeps] { ++beeps; });
    EXPECT_EQ(Run("1 beep beep"), "1");
    SLSetBeepHandler(nullptr);
    EXPECT_EQ(Run("beep"), "");
    EXPECT_EQ(beeps, 2);
}

TEST_F(FileProcTest, StoredObjectsAreLoadedAndSaved) {
    EXPECT_EQ(Run("'obj.stx' [D /a [A 1 2.5 'x'] /b #1] saveobj 'obj.stx' loadobj"), "[D /a [A 1 2.5r 'x' ] /b #1 ]");
    EXPECT_EQ(Run("'obj.stx' loadobj 'obj.stx' loadobj eq"), "#1");
    EXPECT_EQ(Run("'file://obj.stx' loadobj /b get"), "#1");
    // Saving replaces.
    EXPECT_EQ(Run("'obj.stx' 42 saveobj 'obj.stx' loadobj"), "42");

    Start("'obj.stx' 'rW' loadstoobj");
    RunToEnd();
    auto* sto = SLCast<TSLStorageObject>(Ctx->OperandStack().GetObjAtIndex(0));
    EXPECT_EQ(W(sto->GetData()), "42");
    EXPECT_EQ(RunError("'obj.stx' 'x' loadstoobj"), "illegal access attribute 'X'");
    EXPECT_EQ(RunError("'nosuch.stx' loadobj"), "TStorageManager.GetObject: object with name 'nosuch.stx' not found");
    // An archive entry through its name.
    EXPECT_EQ(Run("'archive://arc\\e.stx' [A 7] saveobj 'archive://arc\\e.stx' loadobj"), "[A 7 ]");
    EXPECT_TRUE(Exists("arc.sla"));
}

// A script task with a debugger that records what it is shown.
class TRecordingDebugger : public TScriptDebuggerInterface {
public:
    TSLContext* GetContext() override { return nullptr; }
    void SetContext(TSLContext*) override {}
    TScriptTaskInterface* GetScriptTask() override { return nullptr; }
    void SetScriptTask(TScriptTaskInterface*) override {}
    MyAnsiString GetStatusLine() override { return {}; }
    void SetStatusLine(const MyAnsiString&) override {}
    void Clear() override {}
    void AddScript(const MyAnsiString& FileName, uint16_t ID) override { Scripts.emplace_back(FileName, ID); }
    void RefreshDbgViews() override {}
    void Run() override {}
    void RunDone() override {}
    void StepDone() override {}
    void SelectNextInstruction(uint16_t, int32_t, int32_t) override {}
    void DeselectNextInstruction() override {}
    void WaitForKey() override {}
    void WaitForStep() override {}
    std::vector<std::pair<MyAnsiString, uint16_t>> Scripts;
};

class TDebuggedTask : public TScriptTaskInterface {
public:
    TSLBlock* GetScript() override { return nullptr; }
    void SetScript(TSLBlock*) override {}
    TSLContext* GetContext() override { return nullptr; }
    void SetContext(TSLContext*) override {}
    bool GetAutoFree() override { return false; }
    void SetAutoFree(bool) override {}
    bool GetDebug() override { return true; }
    void SetDebug(bool) override {}
    MyAnsiString GetErrorMsg() override { return {}; }
    bool GetRunning() override { return true; }
    int32_t GetTaskID() override { return 1; }
    TScriptDebuggerInterface* GetScriptDebugger() override { return &Debugger; }
    void Clear() override {}
    void PushParameter(TSLObject*) override {}
    TRef<TSLObject> PopResult() override { return nullptr; }
    void LoadScript(const MyAnsiString&) override {}
    void Start() override {}
    void Abort() override {}
    void Continue(void*) override {}
    TRecordingDebugger Debugger;
};

TEST_F(FileProcTest, UnderTheDebuggerLoadedScriptsAreShownToIt) {
    Put("lib.sct", "[B 1 2 add]");
    TDebuggedTask task;
    const auto debugged = [&](std::string_view Script) {
        Start(Script, true);
        Ctx->FDebug = true;
        Ctx->FScriptTask = &task;
        RunToEnd();
    };
    debugged("'lib.sct' loadobj pop 'lib.sct' 'r' loadstoobj pop");
    uint16_t id = 0;
    ASSERT_TRUE(Manager->GetStorageIDManager().NameExist(RealPathToStored(Root / "cwd/lib.sct"), id) ||
                Manager->GetStorageIDManager().NameExist("lib.sct", id));
    ASSERT_EQ(task.Debugger.Scripts.size(), 2u);
    EXPECT_EQ(task.Debugger.Scripts[0], (std::pair<MyAnsiString, uint16_t>{"lib.sct", id}));
    EXPECT_EQ(task.Debugger.Scripts[1], (std::pair<MyAnsiString, uint16_t>{"lib.sct", id}));
    // Without the debugger nothing is shown.
    Run("'lib.sct' loadobj pop");
    EXPECT_EQ(task.Debugger.Scripts.size(), 2u);
}

// ---------------------------------------------------------------- the System dictionary

using SystemDictionaryTest = ScriptTest;

TEST_F(SystemDictionaryTest, HoldsAll128BuiltInsInTheirFixedOrderThenTrueAndFalse) {
    static const std::pair<const char*, const char*> expected[] = {
        {"abort", "TSLAbortProcedure"},
        {"abs", "TSLAbsProcedure"},
        {"add", "TSLAddProcedure"},
        {"and", "TSLAndProcedure"},
        {"assign", "TSLAssignProcedure"},
        {"atan", "TSLAtanProcedure"},
        {"begin", "TSLBeginProcedure"},
        {"beep", "TSLBeepProcedure"},
        {"carr", "TSLCreateArrayProcedure"},
        {"case", "TSLCaseProcedure"},
        {"ceil", "TSLCeilProcedure"},
        {"cdict", "TSLCreateDictProcedure"},
        {"chdir", "TSLChDirProcedure"},
        {"chfileext", "TSLChFileExtProcedure"},
        {"chki", "TSLChkiProcedure"},
        {"chkr", "TSLChkrProcedure"},
        {"cnamespace", "TSLCreateNamespaceProcedure"},
        {"chr", "TSLChrProcedure"},
        {"cos", "TSLCosProcedure"},
        {"count", "TSLCountProcedure"},
        {"createdir", "TSLCreateDirProcedure"},
        {"crec", "TSLCreateRecordProcedure"},
        {"currentdict", "TSLCurrentdictProcedure"},
        {"cvi", "TSLCviProcedure"},
        {"cvn", "TSLCvnProcedure"},
        {"cvr", "TSLCvrProcedure"},
        {"cvri", "TSLCvriProcedure"},
        {"cvrli", "TSLCvrliProcedure"},
        {"cvrls", "TSLCvrlsProcedure"},
        {"cvrs", "TSLCvrsProcedure"},
        {"cvs", "TSLCvsProcedure"},
        {"date", "TSLDateProcedure"},
        {"datetime", "TSLDateTimeProcedure"},
        {"def", "TSLDefProcedure"},
        {"del", "TSLDelProcedure"},
        {"deletefile", "TSLDeleteFileProcedure"},
        {"dict", "TSLDictProcedure"},
        {"directoryexists", "TSLDirectoryExistsProcedure"},
        {"div", "TSLDivProcedure"},
        {"dup", "TSLDupProcedure"},
        {"end", "TSLEndProcedure"},
        {"eq", "TSLEqProcedure"},
        {"exch", "TSLExchProcedure"},
        {"exec", "TSLExecProcedure"},
        {"exitblock", "TSLExitBlockProcedure"},
        {"exitloop", "TSLExitLoopProcedure"},
        {"exitproc", "TSLExitProcProcedure"},
        {"exp", "TSLExpProcedure"},
        {"extfileext", "TSLExtFileExtProcedure"},
        {"extfilename", "TSLExtFileNameProcedure"},
        {"extfilepath", "TSLExtFilePathProcedure"},
        {"fileexist", "TSLFileExistProcedure"},
        {"filegetattr", "TSLFileGetAttrProcedure"},
        {"filesearch", "TSLFileSearchProcedure"},
        {"floor", "TSLFloorProcedure"},
        {"for", "TSLForProcedure"},
        {"forall", "TSLForallProcedure"},
        {"forcedirectories", "TSLForceDirectoriesProcedure"},
        {"ge", "TSLGeProcedure"},
        {"get", "TSLGetProcedure"},
        {"getcurrentdir", "TSLGetCurrentDirProcedure"},
        {"getdir", "TSLGetDirProcedure"},
        {"getdircontents", "TSLGetDirContentsProcedure"},
        {"getident", "TSLGetCompositeIdentProcedure"},
        {"getrectype", "TSLGetRecordTypeProcedure"},
        {"getsubarr", "TSLGetSubArrProcedure"},
        {"getsubstr", "TSLGetSubStrProcedure"},
        {"gknown", "TSLGKnownProcedure"},
        {"gt", "TSLGtProcedure"},
        {"idiv", "TSLIDivProcedure"},
        {"if", "TSLIfProcedure"},
        {"ifelse", "TSLIfElseProcedure"},
        {"import", "TSLImportProcedure"},
        {"index", "TSLIndexProcedure"},
        {"ins", "TSLInsertProcedure"},
        {"inttoobj", "TSLIntToObjProcedure"},
        {"known", "TSLKnownProcedure"},
        {"loadobj", "TSLLoadObjProcedure"},
        {"loadstoobj", "TSLLoadStoObjProcedure"},
        {"le", "TSLLeProcedure"},
        {"length", "TSLLengthProcedure"},
        {"ln", "TSLLnProcedure"},
        {"log2", "TSLLog2Procedure"},
        {"log10", "TSLLog10Procedure"},
        {"logx", "TSLLogXProcedure"},
        {"loop", "TSLLoopProcedure"},
        {"lt", "TSLLtProcedure"},
        {"mod", "TSLModProcedure"},
        {"msgdlg", "TSLMsgDlgProcedure"},
        {"mul", "TSLMulProcedure"},
        {"ne", "TSLNeProcedure"},
        {"neg", "TSLNegProcedure"},
        {"nknown", "TSLNKnownProcedure"},
        {"not", "TSLNotProcedure"},
        {"objtoint", "TSLObjToIntProcedure"},
        {"or", "TSLOrProcedure"},
        {"ord", "TSLOrdProcedure"},
        {"pad", "TSLPadProcedure"},
        {"padr", "TSLPadrProcedure"},
        {"pop", "TSLPopProcedure"},
        {"power", "TSLPowerProcedure"},
        {"put", "TSLPutProcedure"},
        {"puts", "TSLPutsProcedure"},
        {"putsubarr", "TSLPutSubArrProcedure"},
        {"putsubstr", "TSLPutSubStrProcedure"},
        {"raise", "TSLRaiseProcedure"},
        {"raisese", "TSLRaiseSEProcedure"},
        {"removedir", "TSLRemoveDirProcedure"},
        {"renamefile", "TSLRenameFileProcedure"},
        {"repeat", "TSLRepeatProcedure"},
        {"round", "TSLRoundProcedure"},
        {"saveobj", "TSLSaveObjProcedure"},
        {"search", "TSLSearchProcedure"},
        {"setcurrentdir", "TSLSetCurrentDirProcedure"},
        {"shl", "TSLShlProcedure"},
        {"shr", "TSLShrProcedure"},
        {"sin", "TSLSinProcedure"},
        {"sqrt", "TSLSqrtProcedure"},
        {"sub", "TSLSubProcedure"},
        {"test", "TSLTestProcedure"},
        {"time", "TSLTimeProcedure"},
        {"trunc", "TSLTruncProcedure"},
        {"tryexcept", "TSLTryExceptProcedure"},
        {"tryfinally", "TSLTryFinallyProcedure"},
        {"undef", "TSLUndefProcedure"},
        {"uppercase", "TSLUppercaseProcedure"},
        {"wait", "TSLWaitProcedure"},
        {"xor", "TSLXorProcedure"},
    };
    static_assert(std::size(expected) == 128);
    static const char* const polymorphic[] = {"abs", "add", "and", "case", "ceil", "count", "cvi", "cvr",
                                              "cvs", "del", "div", "exec", "floor", "get", "mul", "neg",
                                              "not", "or", "put", "round", "sqrt", "sub", "trunc", "xor"};

    TSLDictionary& sys = *Manager->GetSystemDict();
    ASSERT_EQ(sys.GetCount(), 130);
    for (int i = 0; i < 128; ++i) {
        SCOPED_TRACE(expected[i].first);
        EXPECT_EQ(sys.GetNameAtIndex(i), expected[i].first);
        EXPECT_EQ(SLSystemProcedureNames()[static_cast<std::size_t>(i)], expected[i].first);
        TSLObject* proc = sys.GetObjAtIndex(i);
        EXPECT_STREQ(proc->ClassName(), expected[i].second);
        EXPECT_TRUE(proc->GetExecutable());
        const bool poly = std::find_if(std::begin(polymorphic), std::end(polymorphic), [&](const char* n) {
                              return std::string_view(n) == expected[i].first;
                          }) != std::end(polymorphic);
        EXPECT_EQ(proc->InheritsFrom(TSLPolymorphProcedure::ClassInfo), poly);
    }
    for (const char* cmp : {"lt", "le", "gt", "ge"})
        EXPECT_TRUE(sys.FindObjWithName(cmp)->InheritsFrom(TSLCompare::ClassInfo)) << cmp;
    EXPECT_EQ(sys.GetNameAtIndex(128), "true");
    EXPECT_EQ(sys.GetNameAtIndex(129), "false");
    EXPECT_TRUE(SLCast<TSLBoolean>(sys.GetObjAtIndex(128))->GetBooleanValue());
    EXPECT_FALSE(SLCast<TSLBoolean>(sys.GetObjAtIndex(129))->GetBooleanValue());
    // Every name has its own procedure object; names compare without regard to case.
    EXPECT_EQ(Run("10 3 IDIV 2 3 Power"), "3 8");
}

} // namespace
} // namespace vo::test
