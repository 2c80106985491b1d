// The archive writer tool: entry names relative to the root, sorted folder
// inputs, text kept as written, syntax errors that fail the build, the
// reproducible scrambled form, and the archive built at build time by
// vo_archive read through the storage manager.
#include "tools/slarc/SlArc.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/FileNames.h"
#include "storagelib/RefObj.h"
#include "storagelib/SL20Arc.h"
#include "storagelib/SL20Enc.h"
#include "storagelib/SL20FileSto.h"
#include "storagelib/SL20Sto.h"

namespace vo {
namespace {

namespace fs = std::filesystem;

class SlArcTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/vo-slarc-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        Dir = tmpl;
    }
    void TearDown() override {
        PurgeAutoReleasePool();
        std::error_code ec;
        fs::remove_all(Dir, ec);
    }
    void Put(const std::string& Rel, const std::string& Text) {
        fs::create_directories((Dir / Rel).parent_path());
        std::ofstream(Dir / Rel, std::ios::binary) << Text;
    }
    std::string Get(const fs::path& P) {
        std::ifstream in(P, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    int Slarc(std::vector<std::string> Args) {
        Err.clear();
        return slarc::Run(Args, Err);
    }
    fs::path Dir;
    std::string Err;
};

TEST_F(SlArcTest, Usage) {
    slarc::TOptions o;
    std::string err;
    EXPECT_FALSE(slarc::ParseArguments({"out.sla", "a.stx"}, o, err));
    EXPECT_FALSE(slarc::ParseArguments({"out.sla", "--root"}, o, err));
    EXPECT_FALSE(slarc::ParseArguments({"out.sla", "--root", "d", "--fast", "a"}, o, err));
    ASSERT_TRUE(slarc::ParseArguments({"out.sla", "--root", "d", "a", "--scramble", "b"}, o, err));
    EXPECT_EQ(o.Output, "out.sla");
    EXPECT_EQ(o.Root, "d");
    EXPECT_TRUE(o.Scramble);
    EXPECT_EQ(o.Inputs, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(Slarc({}), 2);
}

TEST_F(SlArcTest, EntriesRelativeToTheRootInSortedOrderWithTheirTextKept) {
    Put("src/Config/VendorInfo.stx", "% vendor\r\n[D /Name 'V' ]");
    Put("src/Lib/b.sct", "[B 1 ]");
    Put("src/Lib/a.stx", "1");
    const fs::path out = Dir / "out" / "Archives.sla";
    ASSERT_EQ(Slarc({out.string(), "--root", (Dir / "src").string(), (Dir / "src" / "Config" / "VendorInfo.stx").string(),
                     (Dir / "src" / "Lib").string()}),
              0)
        << Err;
    TRef<TSLArchive> a = TSLArchive::Create(false, RealPathToStored(out), saRead, false);
    ASSERT_EQ(a->GetCount(), 3);
    EXPECT_EQ(a->NameAtIndex(0), "Config\\VendorInfo.stx");
    EXPECT_EQ(a->NameAtIndex(1), "Lib\\a.stx");
    EXPECT_EQ(a->NameAtIndex(2), "Lib\\b.sct");
    const std::string bytes = Get(out);
    EXPECT_NE(bytes.find("% vendor\r\n[D /Name 'V' ]"), std::string::npos);
    EXPECT_EQ(SLEncodeToString(a->EntryAtIndex(0)->GetData()), "[D /Name 'V' ] ");
    // inputs relative to the root are found there too
    ASSERT_EQ(Slarc({(Dir / "rel.sla").string(), "--root", (Dir / "src").string(), "Lib/a.stx"}), 0) << Err;
    TRef<TSLArchive> r = TSLArchive::Create(false, RealPathToStored(Dir / "rel.sla"), saRead, false);
    EXPECT_EQ(r->NameAtIndex(0), "Lib\\a.stx");
}

TEST_F(SlArcTest, BadInputFailsAndWritesNothing) {
    Put("src/ok.stx", "1");
    Put("src/bad.stx", "\r\n[A 1 ");
    Put("other/x.stx", "1");
    const fs::path out = Dir / "out.sla";
    EXPECT_EQ(Slarc({out.string(), "--root", (Dir / "src").string(), (Dir / "src").string()}), 1);
    EXPECT_EQ(Err.rfind("[bad.stx, 2] Syntax error: ", 0), 0u) << Err;
    EXPECT_FALSE(fs::exists(out));
    const fs::path outside = fs::weakly_canonical(Dir / "other" / "x.stx");
    EXPECT_EQ(Slarc({out.string(), "--root", (Dir / "src").string(), outside.string()}), 1);
    EXPECT_EQ(Err, "slarc: '" + outside.string() + "' is not below the root folder");
    const std::string none = (Dir / "src" / "none.stx").string();
    EXPECT_EQ(Slarc({out.string(), "--root", (Dir / "src").string(), none}), 1);
    EXPECT_EQ(Err, "slarc: input '" + none + "' not found");
    const std::string noRoot = (Dir / "nosuch").string();
    EXPECT_EQ(Slarc({out.string(), "--root", noRoot, "x"}), 1);
    EXPECT_EQ(Err, "slarc: root folder '" + noRoot + "' not found");
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(SlArcTest, ScrambledArchivesAreReproducible) {
    Put("src/s.stx", "[A 'secret' ]");
    const std::string root = (Dir / "src").string();
    ASSERT_EQ(Slarc({(Dir / "1.sla").string(), "--root", root, "--scramble", root}), 0) << Err;
    ASSERT_EQ(Slarc({(Dir / "2.sla").string(), "--root", root, "--scramble", root}), 0) << Err;
    const std::string bytes = Get(Dir / "1.sla");
    EXPECT_EQ(bytes, Get(Dir / "2.sla"));
    EXPECT_EQ(bytes.find("secret"), std::string::npos);
    TRef<TSLArchive> a = TSLArchive::Create(false, RealPathToStored(Dir / "1.sla"), saRead, false);
    EXPECT_EQ(a->EntryAtIndex(0)->GetFormat(), sfEASCII);
    EXPECT_EQ(SLEncodeToString(a->EntryAtIndex(0)->GetData()), "[A 'secret' ] ");
}

#ifdef SLARC_FIXTURE_PROGRAM_DIR
TEST(SlArcFixture, BuiltArchiveReadsThroughTheStorageManager) {
    {
        TStorageManager m(RealPathToStored(SLARC_FIXTURE_PROGRAM_DIR) + "\\");
        m.AnnounceStoragePlugin(std::make_unique<TFileStoragePlugin>(), true);
        m.AnnounceStoragePlugin(std::make_unique<TArchiveStoragePlugin>(), true);
        TSLStorageObject* o = m.GetObject("archive://Archives\\Config\\VendorInfo.stx");
        auto* d = dynamic_cast<TSLDictionary*>(o->GetData());
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(SLEncodeToString(d->GetObjWithName("Product")),
                  "[D /ProgramName 'Velkor-Ovra' /ProgramVersionCaption '1.0' ] ");
        EXPECT_TRUE(m.ObjectExists("Archives\\Lib\\Tools.stx"));
    }
    PurgeAutoReleasePool();
}
#endif

} // namespace
} // namespace vo
