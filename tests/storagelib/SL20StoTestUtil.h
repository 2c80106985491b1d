#pragma once
// Fixture of the storage-manager tests: a temporary program folder and a
// separate current folder, a storage manager set up as the shell sets it up
// (class path, file, archive and clipboard plug-ins), helpers that put and
// get raw files, an archive builder that lays entries out byte by byte
// (independent of the archive writer), and a capture of the log lines.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "kernel/Debug.h"
#include "platform/FileNames.h"
#include "storagelib/SL20Arc.h"
#include "storagelib/SL20ClipSto.h"
#include "storagelib/SL20FileSto.h"
#include "storagelib/SL20Sto.h"
#include "tests/storagelib/SLTestUtil.h"

namespace vo::test {

namespace fs = std::filesystem;

// One entry of a hand-made archive.
struct TRawEntry {
    std::string Name;
    std::string Data;
    uint16_t Version = 10;
    uint64_t Signature = 0x04414C53;
    std::string Extra;
};

inline TRawEntry E(std::string Name, std::string Data) {
    TRawEntry e;
    e.Name = std::move(Name);
    e.Data = std::move(Data);
    return e;
}

inline void PutLE(std::string& Out, uint64_t Value, int Bytes) {
    for (int i = 0; i < Bytes; ++i) Out.push_back(static_cast<char>((Value >> (8 * i)) & 0xFF));
}

// The bytes of an archive holding Entries, laid out field by field.
inline std::string RawArchive(const std::vector<TRawEntry>& Entries) {
    std::string out;
    for (const auto& e : Entries) {
        PutLE(out, e.Signature, 8);
        PutLE(out, e.Version, 2);
        PutLE(out, e.Data.size(), 8);
        PutLE(out, e.Name.size(), 2);
        PutLE(out, e.Extra.size(), 2);
        out += e.Name;
        out += e.Extra;
        out += e.Data;
    }
    return out;
}

class StorageTest : public ValueTest {
protected:
    void SetUp() override {
        ValueTest::SetUp();
        char tmpl[] = "/tmp/vo-sl20sto-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        Root = tmpl;
        fs::create_directories(Root / "prog");
        fs::create_directories(Root / "cwd");
        OldCwd = fs::current_path();
        fs::current_path(Root / "cwd");
        ProgDir = RealPathToStored(Root / "prog") + "\\";
        Manager = std::make_unique<TStorageManager>(ProgDir);
        for (const char* sub : {"Archives\\", "Packages\\", "PackInst\\", "UnitService\\", "ParTrees\\",
                                "Firmware\\", "Actuators\\"})
            Manager->AnnounceClasspath(ProgDir + sub);
        Manager->AnnounceStoragePlugin(std::make_unique<TFileStoragePlugin>(), true);
        Manager->AnnounceStoragePlugin(std::make_unique<TArchiveStoragePlugin>(), true);
        Manager->AnnounceStoragePlugin(std::make_unique<TClipboardStoragePlugin>(), false);
        TSLMemoryClipboard::ClearAll();

        SetDebugManager(&Debug);
        Debug.SetDebugingEnabled(true);
        Debug.SetDebugMemo(&Sink);
    }
    void TearDown() override {
        Debug.SetDebugMemo(nullptr);
        SetDebugManager(nullptr);
        PurgeAutoReleasePool(); // storage objects and archives made by the test
        Manager.reset();
        TSLMemoryClipboard::ClearAll();
        std::error_code ec;
        fs::current_path(OldCwd, ec);
        fs::remove_all(Root, ec);
        ValueTest::TearDown();
    }

    // Files below the temporary root ("prog/..." or "cwd/...").
    void Put(const std::string& Rel, const std::string& Bytes) const {
        const fs::path p = Root / Rel;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << Bytes;
    }
    std::string Get(const std::string& Rel) const {
        std::ifstream in(Root / Rel, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    bool Exists(const std::string& Rel) const { return fs::exists(Root / Rel); }
    // The stored (absolute, "\"-separated) name of a path below the root.
    MyAnsiString Stored(const std::string& Rel) const { return RealPathToStored(Root / Rel); }

    std::vector<std::string> Logged() { return Sink.Drain(); }

    fs::path Root;
    fs::path OldCwd;
    MyAnsiString ProgDir;
    std::unique_ptr<TStorageManager> Manager;
    TDebugManager Debug;
    TDebugLineSink Sink;
};

} // namespace vo::test
