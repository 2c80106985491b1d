// Character streams: the little-endian and string helpers and the string
// stream's modes, positions and refusals.
#include "storagelib/SL20StStrm.h"

#include "tests/storagelib/SLTestUtil.h"

#include <gtest/gtest.h>

#include <string>

namespace vo {
namespace {

using test::ValueTest;
using StreamTest = ValueTest;

TEST_F(StreamTest, LittleEndianHelpersWriteAndReadBack) {
    TRef<TSLStringStream> s = MakeRef<TSLStringStream>();
    s->WriteWord(0x1234);
    s->WriteLongint(-2);
    s->WriteLongint(0x0102030405060708);
    s->WriteByte(0xAB);
    EXPECT_EQ(s->GetBuffer(), std::string("\x34\x12\xFE\xFF\xFF\xFF\xFF\xFF\xFF\xFF"
                                          "\x08\x07\x06\x05\x04\x03\x02\x01\xAB",
                                          19));
    s->Reset(saRead);
    EXPECT_EQ(s->ReadWord(), 0x1234);
    EXPECT_EQ(s->ReadLongint(), -2);
    EXPECT_EQ(s->ReadLongint(), 0x0102030405060708);
    EXPECT_EQ(s->ReadByte(), 0xAB);
    EXPECT_TRUE(s->Eof());
}

TEST_F(StreamTest, ReadStringStopsAtATerminatorOrTheEnd) {
    TRef<TSLStringStream> s = MakeRef<TSLStringStream>();
    s->SetBuffer("ab\rcd");
    EXPECT_EQ(s->ReadString(SLByteSet("\r")), "ab");
    EXPECT_EQ(s->StreamPos(), 3);
    EXPECT_EQ(s->ReadString(SLByteSet("\r")), "cd");
    EXPECT_TRUE(s->Eof());
    s->Reset(saRead);
    EXPECT_EQ(s->ReadStringWithLength(2), "ab");
    EXPECT_EQ(s->ReadStringWithLength(10), "\rcd");
    EXPECT_EQ(s->ReadStringWithLength(10), "");
}

TEST_F(StreamTest, StringStreamModesPositionsAndRefusals) {
    TRef<TSLStringStream> s = MakeRef<TSLStringStream>();
    // new: open for writing, reading refused
    EXPECT_THROW_MSG(s->Read(), Exception, "TSLStringStream.Read: stream not in read mode");
    s->SetBuffer("abc");
    s->Seek(3);
    EXPECT_TRUE(s->Eof());
    EXPECT_THROW_MSG(s->Read(), Exception, "TSLStringStream.Read: end of stream reached");
    EXPECT_THROW_MSG(s->Seek(4), Exception, "TSLStringStream.Seek: position not in stream range");
    EXPECT_THROW_MSG(s->Seek(-1), Exception, "TSLStringStream.Seek: position not in stream range");
    EXPECT_EQ(s->StreamPos(), 3); // unchanged by the refusals
    EXPECT_THROW(s->Write('x'), Exception);
    EXPECT_EQ(s->GetBuffer(), "abc");

    s->Reset(saReadWrite);
    s->Seek(1);
    s->Write('x');
    EXPECT_EQ(s->GetBuffer(), "axc");
    EXPECT_EQ(s->Read(), 'c');
    s->Write('d'); // at the end: appended
    EXPECT_EQ(s->GetBuffer(), "axcd");

    s->Rewrite();
    EXPECT_EQ(s->GetBuffer(), "");
    s->WriteString("new");
    EXPECT_EQ(s->StreamPos(), 3);
    s->Close();
    EXPECT_EQ(s->GetBuffer(), "");
    EXPECT_TRUE(s->Eof());
}

TEST_F(StreamTest, BlockReadsMatchByteReads) {
    TRef<TSLStringStream> s = MakeRef<TSLStringStream>();
    s->SetBuffer("0123456789");
    uint8_t buf[4];
    EXPECT_EQ(s->ReadBlock(buf, 4), 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 4), "0123");
    s->Seek(8);
    EXPECT_EQ(s->ReadBlock(buf, 4), 2);
    EXPECT_EQ(s->StreamPos(), 10);
    EXPECT_EQ(s->ReadBlock(buf, 4), 0); // the end: nothing, as ReadStringWithLength needs
}

// The abstract stream refuses every stream operation.
class TBareStream : public TSLCharStream {
    VO_REFOBJ_CLASS(TBareStream, TSLCharStream)
};

TEST_F(StreamTest, AbstractOperationsRaiseTheAbstractError) {
    TRef<TBareStream> s = MakeRef<TBareStream>();
    EXPECT_THROW_MSG(s->Read(), EAbstractError, "Abstract Error");
    EXPECT_THROW_MSG(s->Reset(saRead), EAbstractError, "Abstract Error");
    EXPECT_THROW_MSG(s->Write(1), EAbstractError, "Abstract Error");
}

} // namespace
} // namespace vo
