// The file plug-in: lookup of plain and rooted names, reading plain and
// scrambled files, access refusals, creating in existing folders only, and
// writes that never lose the previous file.
#include "storagelib/SL20FileSto.h"

#include "tests/storagelib/SL20StoTestUtil.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include <sys/stat.h>

namespace vo {
namespace {

using test::StorageTest;
using test::V;
using test::W;
namespace fs = std::filesystem;

using FileStorageTest = StorageTest;

TEST_F(FileStorageTest, ReadsAlongTheClassPathAndNamesTheCompletePath) {
    Put("prog/UnitService/units.stx", "[D /m 1 ]");
    TSLStorageObject* o = Manager->GetObject("file://units.stx");
    EXPECT_EQ(o->GetName(), ProgDir + "UnitService\\units.stx");
    EXPECT_EQ(W(o->GetData()), "[D /m 1 ]");
    EXPECT_EQ(o->GetFormat(), sfASCII);
    auto* f = dynamic_cast<TSLFileStorageObject*>(o);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(Manager->GetStorageIDManager().GetIDInfo(f->GetStorageID()).Name, o->GetName());
    EXPECT_THROW_MSG(Manager->GetObject("file://none.stx"), Exception,
                     "TFileStoragePlugin error: no object named none.stx found");
}

TEST_F(FileStorageTest, ScrambledFileReadsAndIsWrittenBackPlainUnlessAskedFor) {
    Put("cwd/s.stx", SLScramble("[A 'hidden' ]"));
    TSLStorageObject* o = Manager->GetObject("s.stx", saReadWrite);
    EXPECT_EQ(W(o->GetData()), "[A 'hidden' ]");
    EXPECT_EQ(o->GetFormat(), sfASCII); // the form found only governs the reading
    o->Write();
    EXPECT_EQ(Get("cwd/s.stx"), "[A 'hidden' ] ");
    o->SetFormat(sfEASCII);
    o->Write();
    const std::string bytes = Get("cwd/s.stx");
    EXPECT_EQ(bytes.substr(0, 4), "%SLE");
    EXPECT_EQ(SLUnscramble(bytes), "[A 'hidden' ] ");
    o->Read();
    EXPECT_EQ(W(o->GetData()), "[A 'hidden' ]");
}

TEST_F(FileStorageTest, AccessIsEnforced) {
    Put("cwd/a.stx", "1");
    TSLStorageObject* r = Manager->GetObject("a.stx");
    EXPECT_THROW_MSG(r->Write(), Exception,
                     "TSLFileStorageObject.Write: storage object '" + Stored("cwd") + "\\a.stx' was opened as read only");
    // saWrite through GetObject always fails: it reads at once
    EXPECT_THROW(Manager->GetObject("a.stx", saWrite), Exception);
    TSLStorageObject* w = Manager->CreateObject("b.stx");
    EXPECT_THROW_MSG(w->Read(), Exception, "TSLFileStorageObject.Read: storage object 'b.stx' was opened as write only");
    EXPECT_EQ(w->GetData(), nullptr);
    EXPECT_EQ(w->GetFormat(), sfUnknown);
    EXPECT_FALSE(Exists("cwd/b.stx")); // nothing touches the disk before Write
    w->SetData(V("[A 1 ]").Get());
    w->Write();
    EXPECT_EQ(Get("cwd/b.stx"), "[A 1 ] ");
}

TEST_F(FileStorageTest, CreatesOnlyWhereTheFolderExists) {
    fs::create_directories(Root / "cwd" / "Sub");
    EXPECT_TRUE(Manager->CreateObject("file://Sub\\n.stx") != nullptr);
    EXPECT_TRUE(Manager->CreateObject("bare.stx") != nullptr);
    EXPECT_THROW_MSG(Manager->CreateObject("file://Missing\\n.stx"), Exception,
                     "TFileStoragePlugin.CreateObject: Could not create object with name Missing\\n.stx");
    // the class path plays no part in creating
    Put("prog/Archives/only.stx", "1");
    TSLStorageObject* o = Manager->CreateObject("file://only.stx");
    o->SetData(V("2").Get());
    o->Write();
    EXPECT_EQ(Get("cwd/only.stx"), "2 ");
    EXPECT_EQ(Get("prog/Archives/only.stx"), "1");
}

TEST_F(FileStorageTest, FailedReadOrWriteKeepsWhatWasThere) {
    Put("cwd/v.stx", "[A 1 ]");
    TSLStorageObject* o = Manager->GetObject("v.stx", saReadWrite);
    Put("cwd/v.stx", "[A 1 ");
    EXPECT_THROW(o->Read(), Exception);
    EXPECT_EQ(W(o->GetData()), "[A 1 ]"); // the data stays as it was
    fs::remove(Root / "cwd" / "v.stx");
    EXPECT_THROW_MSG(o->Read(), Exception,
                     "TSLCryptFile error: File '" + Stored("cwd") + "\\v.stx' couldn't be opened");

    Put("cwd/v.stx", "[A 'old' ]");
    o->SetData(MakeRef<TSLDouble>(std::numeric_limits<double>::infinity()).Get());
    EXPECT_THROW(o->Write(), Exception);
    EXPECT_EQ(Get("cwd/v.stx"), "[A 'old' ]");
    // a read-only file cannot be replaced
    o->SetData(V("1").Get());
    ::chmod((Root / "cwd" / "v.stx").c_str(), 0444);
    if (::access((Root / "cwd" / "v.stx").c_str(), W_OK) != 0) { // not when running as root
        EXPECT_THROW_MSG(o->Write(), Exception, "File couldn't be created");
        EXPECT_EQ(Get("cwd/v.stx"), "[A 'old' ]");
    }
    ::chmod((Root / "cwd" / "v.stx").c_str(), 0644);
}

} // namespace
} // namespace vo
