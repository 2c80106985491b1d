#pragma once
// Fixture of the tests of the built-ins that reach outside the script and of
// the storage script classes: a temporary program folder and a separate
// current folder, a storage manager set up as the shell sets it up (class
// path, file, archive and clipboard plug-ins, the script engine and the two
// storage script classes), helpers for raw files, and a fixed clock.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <unistd.h>

#include "ScriptTestUtil.h"
#include "platform/FileNames.h"
#include "storagelib/SL20Arc.h"
#include "storagelib/SL20ClipSto.h"
#include "storagelib/SL20FileSto.h"
#include "storagelib/SL20PrcCnv.h"
#include "storagelib/SL20PrcFil.h"
#include "storagelib/ScrStoObj.h"

namespace vo::test {

namespace fs = std::filesystem;

class FileScriptTest : public ScriptTest {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/vo-sl20prcfil-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        Root = tmpl;
        fs::create_directories(Root / "prog");
        fs::create_directories(Root / "cwd");
        OldCwd = fs::current_path();
        fs::current_path(Root / "cwd");
        ScriptTest::SetUp();
        // The manager of the shell, on the temporary program folder.
        Manager.reset();
        ProgDir = RealPathToStored(Root / "prog") + "\\";
        Manager = std::make_unique<TStorageManager>(ProgDir);
        Interp = SLInstallScriptEngine(*Manager);
        Mem = nullptr;
        for (const char* sub : {"Archives\\", "Packages\\"}) Manager->AnnounceClasspath(ProgDir + sub);
        Manager->AnnounceStoragePlugin(std::make_unique<TFileStoragePlugin>(), true);
        Manager->AnnounceStoragePlugin(std::make_unique<TArchiveStoragePlugin>(), true);
        Manager->AnnounceStoragePlugin(std::make_unique<TClipboardStoragePlugin>(), false);
        RegisterStorageScriptClasses(*Manager);
    }
    void TearDown() override {
        Ctx.Reset();
        SLObjectHandles().Clear();
        PurgeAutoReleasePool(); // storage objects and archives of the test
        SLSetClock(nullptr);
        ScriptTest::TearDown();
        std::error_code ec;
        fs::current_path(OldCwd, ec);
        fs::permissions(Root, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(Root, ec);
    }

    // Files below the current folder.
    void Put(const std::string& Rel, const std::string& Bytes) const {
        const fs::path p = Root / "cwd" / Rel;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << Bytes;
    }
    std::string Get(const std::string& Rel) const {
        std::ifstream in(Root / "cwd" / Rel, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    bool Exists(const std::string& Rel) const { return fs::exists(Root / "cwd" / Rel); }
    // The stored, absolute name of a path below the current folder.
    MyAnsiString Stored(const std::string& Rel) const { return RealPathToStored(Root / "cwd" / Rel); }

    // A fixed clock: Tuesday, 5 March 2024, 14:07:09.045.
    static TSLDateTime FixedTime() {
        TSLDateTime t;
        t.Local.tm_year = 124;
        t.Local.tm_mon = 2;
        t.Local.tm_mday = 5;
        t.Local.tm_wday = 2;
        t.Local.tm_hour = 14;
        t.Local.tm_min = 7;
        t.Local.tm_sec = 9;
        t.Millisecond = 45;
        return t;
    }

    fs::path Root;
    fs::path OldCwd;
    MyAnsiString ProgDir;
};

} // namespace vo::test
