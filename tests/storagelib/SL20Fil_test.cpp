// Character files and the scrambled stream: buffered reads, seeks and their
// refusals, writing that never destroys the old file first, share locks, the
// cipher's bytes, format detection, ReplaceFile, and whole stored files.
#include "storagelib/SL20Fil.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20Enc.h"

#include "tests/storagelib/SLTestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace vo {
namespace {

namespace fs = std::filesystem;
using test::V;
using test::ValueTest;

class FileTest : public ValueTest {
protected:
    void SetUp() override {
        ValueTest::SetUp();
        char tmpl[] = "/tmp/vo-sl20fil-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        Dir = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(Dir, ec);
        ValueTest::TearDown();
    }
    std::string Path(const std::string& Name) const { return Dir + "/" + Name; }
    void Put(const std::string& Name, const std::string& Bytes) const {
        std::ofstream(Path(Name), std::ios::binary) << Bytes;
    }
    std::string Get(const std::string& Name) const {
        std::ifstream in(Path(Name), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    TRef<TSLCharFile> Open(const std::string& Name, TStreamAccess Access) const {
        TRef<TSLCharFile> f = MakeRef<TSLCharFile>();
        f->AssignFile(Path(Name));
        f->Reset(Access);
        return f;
    }
    // Files in the folder besides the named ones (left-over temporaries).
    int FileCount() const {
        int n = 0;
        for (const auto& e : fs::directory_iterator(Dir)) (void)e, ++n;
        return n;
    }
    std::string Dir;
};

TEST_F(FileTest, ReadsToTheEndAndRefusesToReadPastIt) {
    Put("empty.stx", "");
    TRef<TSLCharFile> e = Open("empty.stx", saRead);
    EXPECT_THROW_MSG(e->Read(), Exception, "TSLCharFile error: tried to read past the end of file");

    Put("ab.stx", "ab");
    TRef<TSLCharFile> f = Open("ab.stx", saRead);
    EXPECT_FALSE(f->Eof());
    EXPECT_EQ(f->Read(), 'a');
    EXPECT_EQ(f->Read(), 'b');
    EXPECT_TRUE(f->Eof());
    EXPECT_THROW_MSG(f->Read(), Exception, "Try to read past the end of the file");
    f->Close();
    EXPECT_THROW_MSG(f->Read(), Exception, "File not opened");

    TRef<TSLCharFile> missing = MakeRef<TSLCharFile>();
    missing->AssignFile(Path("none.stx"));
    EXPECT_THROW_MSG(missing->Reset(saRead), Exception,
                     "TSLCharFile error: File '" + Path("none.stx") + "' couldn't be opened");
    TRef<TSLCharFile> unnamed = MakeRef<TSLCharFile>();
    EXPECT_THROW_MSG(unnamed->Reset(saRead), Exception, "TSLCharFile error: File '' couldn't be opened");
}

TEST_F(FileTest, SeeksInsideAndOutsideTheBufferAndToTheEnd) {
    std::string bytes;
    for (int i = 0; i < 3000; ++i) bytes.push_back(static_cast<char>(i * 7));
    Put("big.bin", bytes);
    TRef<TSLCharFile> f = Open("big.bin", saRead);
    EXPECT_EQ(f->GetFilesize(), 3000);
    f->Seek(10);
    EXPECT_EQ(f->Read(), static_cast<uint8_t>(bytes[10]));
    f->Seek(500); // inside the buffered block
    EXPECT_EQ(f->Read(), static_cast<uint8_t>(bytes[500]));
    f->Seek(2500); // outside it
    EXPECT_EQ(f->Read(), static_cast<uint8_t>(bytes[2500]));
    EXPECT_EQ(f->StreamPos(), 2501);
    f->Seek(3000);
    EXPECT_TRUE(f->Eof());
    EXPECT_THROW_MSG(f->Seek(3001), Exception, "Try to seek past the end of the file");
    EXPECT_THROW_MSG(f->Seek(-1), Exception, "Try to seek to a position less than zero");
    f->Seek(2999);
    EXPECT_FALSE(f->Eof());
    EXPECT_EQ(f->Read(), static_cast<uint8_t>(bytes[2999]));

    // block reads give the bytes of as many byte reads
    f->Seek(1000);
    std::string block(1500, '\0');
    EXPECT_EQ(f->ReadBlock(reinterpret_cast<uint8_t*>(block.data()), 1500), 1500);
    EXPECT_EQ(block, bytes.substr(1000, 1500));
    EXPECT_EQ(f->ReadBlock(reinterpret_cast<uint8_t*>(block.data()), 1500), 500);
    EXPECT_TRUE(f->Eof());
}

TEST_F(FileTest, ReadWriteFilePatchesInPlace) {
    Put("rw.bin", "0123456789");
    TRef<TSLCharFile> f = Open("rw.bin", saReadWrite);
    f->Seek(4);
    f->WriteString("ab");
    EXPECT_EQ(f->Read(), '6');
    f->Seek(10);
    f->WriteWord(0x4241);
    EXPECT_EQ(f->GetFilesize(), 12);
    f->Seek(0);
    EXPECT_EQ(f->ReadStringWithLength(20), "0123ab6789AB");
    f->Close();
    EXPECT_EQ(Get("rw.bin"), "0123ab6789AB");

    TRef<TSLCharFile> r = Open("rw.bin", saRead);
    EXPECT_THROW(r->Write('x'), Exception);
}

TEST_F(FileTest, RewriteReplacesTheOldFileOnlyWhenClosed) {
    Put("data.stx", "old content");
    ASSERT_EQ(::chmod(Path("data.stx").c_str(), 0640), 0);
    TRef<TSLCharFile> f = MakeRef<TSLCharFile>();
    f->AssignFile(Path("data.stx"));
    f->Rewrite();
    f->WriteString("new");
    EXPECT_EQ(f->GetFilesize(), 3);
    EXPECT_EQ(Get("data.stx"), "old content"); // still whole while the new one is written
    f->Close();
    EXPECT_EQ(Get("data.stx"), "new");
    struct stat st {};
    ASSERT_EQ(::stat(Path("data.stx").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u); // the old file's permissions carry over
    EXPECT_EQ(FileCount(), 1);

    // abandoned, or dropped without Close: the old file stays
    f->Rewrite();
    f->WriteString("half");
    f->Abandon();
    EXPECT_EQ(Get("data.stx"), "new");
    {
        TRef<TSLCharFile> g = MakeRef<TSLCharFile>();
        g->AssignFile(Path("data.stx"));
        g->Rewrite();
        g->WriteString("lost");
    }
    EXPECT_EQ(Get("data.stx"), "new");
    EXPECT_EQ(FileCount(), 1);

    // through a symbolic link: the file it points to gets the new content
    fs::create_symlink(Path("data.stx"), Path("link.stx"));
    TRef<TSLCharFile> l = MakeRef<TSLCharFile>();
    l->AssignFile(Path("link.stx"));
    l->Rewrite();
    l->WriteString("via link");
    l->Close();
    EXPECT_TRUE(fs::is_symlink(Path("link.stx")));
    EXPECT_EQ(Get("data.stx"), "via link");
    fs::remove(Path("link.stx"));

    // a new file
    TRef<TSLCharFile> n = MakeRef<TSLCharFile>();
    n->AssignFile(Path("fresh.stx"));
    n->Rewrite();
    n->WriteString("x");
    n->Close();
    EXPECT_EQ(Get("fresh.stx"), "x");
}

TEST_F(FileTest, RewriteRefusesWhatCannotBeReplaced) {
    TRef<TSLCharFile> f = MakeRef<TSLCharFile>();
    EXPECT_THROW_MSG(f->Rewrite(), Exception, "File couldn't be created"); // no name
    f->AssignFile(Path("nofolder/x.stx"));
    EXPECT_THROW_MSG(f->Rewrite(), Exception, "File couldn't be created");
    fs::create_directory(Path("adir"));
    f->AssignFile(Path("adir"));
    EXPECT_THROW_MSG(f->Rewrite(), Exception, "File couldn't be created");

    Put("open.stx", "in use");
    TRef<TSLCharFile> reader = Open("open.stx", saRead);
    f->AssignFile(Path("open.stx"));
    EXPECT_THROW_MSG(f->Rewrite(), Exception, "File couldn't be created");
    reader->Close();
    f->Rewrite();
    f->Close();
    EXPECT_EQ(Get("open.stx"), "");

    if (::geteuid() != 0) { // root may write anything
        Put("ro.stx", "keep");
        ASSERT_EQ(::chmod(Path("ro.stx").c_str(), 0444), 0);
        f->AssignFile(Path("ro.stx"));
        EXPECT_THROW_MSG(f->Rewrite(), Exception, "File couldn't be created");
        EXPECT_EQ(Get("ro.stx"), "keep");
    }
}

TEST_F(FileTest, OpenFilesDenyOtherWriters) {
    Put("shared.stx", "x");
    TRef<TSLCharFile> r1 = Open("shared.stx", saRead);
    TRef<TSLCharFile> r2 = Open("shared.stx", saRead); // readers share
    TRef<TSLCharFile> w = MakeRef<TSLCharFile>();
    w->AssignFile(Path("shared.stx"));
    EXPECT_THROW(w->Reset(saReadWrite), Exception);
    r1->Close();
    r2->Close();
    w->Reset(saReadWrite);
    TRef<TSLCharFile> r3 = MakeRef<TSLCharFile>();
    r3->AssignFile(Path("shared.stx"));
    EXPECT_THROW(r3->Reset(saRead), Exception);
    EXPECT_GE(r3->FileOpen(Path("shared.stx"), 0x40), 0); // deny-none opens regardless
    EXPECT_TRUE(r3->IsOpen());
    r3->Close();
    EXPECT_LT(r3->FileOpen(Path("shared.stx"), 0x20), 0); // deny-write conflicts with the writer
    EXPECT_LT(r3->FileOpen(Path("missing"), 0), 0);
}

TEST_F(FileTest, FileNameParts) {
    TRef<TSLCharFile> f = MakeRef<TSLCharFile>();
    f->AssignFile("C:\\A\\b.stx");
    EXPECT_EQ(f->FileName(fnpFull), "C:\\A\\b.stx");
    EXPECT_EQ(f->FileName(fnpName), "b.stx");
    EXPECT_EQ(f->FileName(fnpPath), "C:\\A\\");
    EXPECT_EQ(f->FileName(fnpExt), ".stx");
    f->AssignFile("dir.d\\noext");
    EXPECT_EQ(f->FileName(fnpExt), "");
    EXPECT_EQ(f->FileName(fnpPath), "dir.d\\");
}

TEST_F(FileTest, ScrambledStreamHasTheCipherBytes) {
    TRef<TSLCryptFile> f = MakeRef<TSLCryptFile>();
    f->SetRandomSource([] { return uint8_t{0}; });
    f->AssignFile(Path("s.stx"));
    f->Rewrite();
    f->FCrypt = true;
    f->InitEncrypter();
    f->WriteString("[A 1 ] ");
    f->FCrypt = false;
    f->Close();
    // "%SLE" plain, then 0 0 0 0 and the text through the Type 1 encryption
    // with the start key 4330
    const unsigned char expected[] = {'%', 'S', 'L', 'E', 0x10, 0xBF, 0x31, 0x70, 0xA9,
                                      0xA5, 0x42, 0x92, 0x4E, 0x37, 0xBC};
    EXPECT_EQ(Get("s.stx"), std::string(reinterpret_cast<const char*>(expected), sizeof expected));
    EXPECT_EQ(SLScramble("[A 1 ] ", [] { return uint8_t{0}; }), Get("s.stx"));
    EXPECT_EQ(SLUnscramble(Get("s.stx")), "[A 1 ] ");
}

TEST_F(FileTest, ScrambledStreamRoundTripsWhateverTheRandomBytes) {
    std::string text;
    for (int i = 0; i < 5000; ++i) text.push_back(static_cast<char>((i * 31) & 0xFF));
    for (int round = 0; round < 3; ++round) {
        TRef<TSLCryptFile> w = MakeRef<TSLCryptFile>();
        w->AssignFile(Path("r.stx"));
        w->Rewrite();
        w->FCrypt = true;
        w->InitEncrypter();
        w->WriteString(text);
        w->FCrypt = false;
        w->Close();

        TRef<TSLCryptFile> r = MakeRef<TSLCryptFile>();
        r->AssignFile(Path("r.stx"));
        r->Reset(saRead);
        EXPECT_EQ(GetStreamFormat(r.Get()), sfEASCII);
        EXPECT_EQ(r->StreamPos(), 0);
        r->FCrypt = true;
        r->InitDecryptor();
        // byte reads and block reads decipher alike
        std::string back;
        back.push_back(static_cast<char>(r->Read()));
        back += r->ReadStringWithLength(static_cast<int32_t>(text.size()));
        EXPECT_EQ(back, text);
        EXPECT_TRUE(r->Eof());
    }
}

TEST_F(FileTest, FormatDetection) {
    struct Case {
        std::string Bytes;
        TStorageFormat Format;
    };
    const Case cases[] = {
        {"%SLE....", sfEASCII},
        {"%SLE", sfEASCII},
        {"%SL", sfASCII},
        {"%SLX....", sfASCII},
        {"", sfASCII},
        {"[A ]", sfASCII},
        {"%sle....", sfASCII},
    };
    for (const Case& c : cases) {
        Put("f.stx", c.Bytes);
        TRef<TSLCryptFile> f = MakeRef<TSLCryptFile>();
        f->AssignFile(Path("f.stx"));
        f->Reset(saRead);
        EXPECT_EQ(GetStreamFormat(f.Get()), c.Format) << c.Bytes;
        EXPECT_EQ(f->StreamPos(), 0);
        if (c.Format == sfASCII) {
            f->FCrypt = true;
            EXPECT_THROW_MSG(f->InitDecryptor(), Exception, "wrong crypt header in stream");
        }
    }
    TRef<TSLStringStream> s = MakeRef<TSLStringStream>();
    s->SetBuffer("xx%SLE");
    s->Seek(2);
    EXPECT_EQ(GetStreamFormat(s.Get()), sfEASCII);
    EXPECT_EQ(s->StreamPos(), 2);
    EXPECT_THROW_MSG(SLUnscramble("%SL"), Exception, "wrong crypt header in stream");
}

TEST_F(FileTest, ReplaceFileKeepsABackup) {
    Put("new.tmp", "new");
    Put("cfg.vkc", "old");
    EXPECT_TRUE(ReplaceFile(Path("new.tmp"), Path("cfg.vkc")));
    EXPECT_EQ(Get("cfg.vkc"), "new");
    EXPECT_EQ(Get("cfg.bak"), "old");
    EXPECT_FALSE(fs::exists(Path("new.tmp")));

    Put("new.tmp", "newer");
    EXPECT_TRUE(ReplaceFile(Path("new.tmp"), Path("cfg.vkc"))); // an old backup is replaced
    EXPECT_EQ(Get("cfg.bak"), "new");

    // no old file: nothing changes
    Put("n2.tmp", "n2");
    EXPECT_FALSE(ReplaceFile(Path("n2.tmp"), Path("absent.vkc")));
    EXPECT_EQ(Get("n2.tmp"), "n2");
    // no new file: the old one is put back
    EXPECT_FALSE(ReplaceFile(Path("gone.tmp"), Path("cfg.vkc")));
    EXPECT_EQ(Get("cfg.vkc"), "newer");
}

TEST_F(FileTest, StoredFilesPlainAndScrambled) {
    TRef<TSLStreamEncoder> enc = MakeRef<TSLStreamEncoder>();
    TRef<TSLStreamDecoder> dec = TSLStreamDecoder::CreateStandard();
    TRef<TSLObject> value = V("[D /Version 3 /Name 'abc' /List [A 1.5 #1 ] ]");
    const std::string name = Path("store.stx");

    SLWriteObjectFile(*enc, name, value.Get(), sfASCII);
    EXPECT_EQ(Get("store.stx"), "[D /Version 3 /Name 'abc' /List [A 1.5 #1 ] ] ");
    TStorageFormat format = sfUnknown;
    TRef<TSLObject> plain = SLReadObjectFile(*dec, name, false, 0, &format);
    EXPECT_EQ(format, sfASCII);
    EXPECT_TRUE(plain->IsEqual(value.Get()));

    SLWriteObjectFile(*enc, name, value.Get(), sfEASCII);
    EXPECT_EQ(Get("store.stx").substr(0, 4), "%SLE");
    TRef<TSLObject> scrambled = SLReadObjectFile(*dec, name, false, 0, &format);
    EXPECT_EQ(format, sfEASCII);
    EXPECT_TRUE(scrambled->IsEqual(value.Get()));

    // an error while encoding leaves the old file as it was
    const std::string before = Get("store.stx");
    TRef<TSLDictionary> bad = MakeRef<TSLDictionary>();
    bad->AddObject("ok", MakeRef<TSLLongint>(1).Get());
    bad->AddObject("not ok", MakeRef<TSLLongint>(2).Get());
    EXPECT_THROW(SLWriteObjectFile(*enc, name, bad.Get(), sfASCII), Exception);
    EXPECT_EQ(Get("store.stx"), before);
    EXPECT_EQ(FileCount(), 1);

    // a syntax error names the file's line
    Put("broken.stx", "[A\r1\r{ ]");
    EXPECT_THROW_MSG(SLReadObjectFile(*dec, Path("broken.stx"), false), ESLSyntaxError,
                     "[, 3] Syntax error: illegal AnsiCharacter '{'");
    // and the same in scrambled form
    Put("broken2.stx", SLScramble("[A\r1\r{ ]"));
    EXPECT_THROW_MSG(SLReadObjectFile(*dec, Path("broken2.stx"), false), ESLSyntaxError,
                     "[, 3] Syntax error: illegal AnsiCharacter '{'");
}

} // namespace
} // namespace vo
