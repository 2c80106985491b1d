// The clipboard plug-in over the in-process clipboard: the one object
// "cb.data", the UTF-16 block with its terminating zero, reading every value
// of the text as one array, and its refusals.
#include "storagelib/SL20ClipSto.h"

#include "tests/storagelib/SL20StoTestUtil.h"

#include <gtest/gtest.h>

#include <string>

namespace vo {
namespace {

using test::StorageTest;
using test::V;
using test::W;

using ClipboardTest = StorageTest;

TEST(ClipboardBlock, Utf16WithTerminatingZero) {
    const std::string block = SLTextToClipboardBlock("a\x80\xE9");
    EXPECT_EQ(block, std::string("a\0\xAC\x20\xE9\0\0\0", 8)); // 2n + 2 bytes, the euro sign widened
    EXPECT_EQ(SLClipboardBlockToText(block), "a\x80\xE9");
    // up to the first zero character; characters outside code page 1252 become "?"
    EXPECT_EQ(SLClipboardBlockToText(std::string("x\0\0\0y\0", 6)), "x");
    EXPECT_EQ(SLClipboardBlockToText(std::string("\x3A\x04z\0", 4)), "?z");
    EXPECT_EQ(SLClipboardBlockToText(""), "");
}

TEST_F(ClipboardTest, DictionaryRoundTrip) {
    EXPECT_FALSE(Manager->ObjectExists("clipboard://cb.data"));
    TSLStorageObject* w = Manager->CreateObject("clipboard://cb.data");
    w->SetData(V("[D /Name 'axis' /Gain 1.5 /List [A 1 2 ] ]").Get());
    w->Write();
    EXPECT_TRUE(Manager->ObjectExists("clipboard://cb.data"));
    TSLStorageObject* r = Manager->GetObject("clipboard://cb.data");
    EXPECT_EQ(r->GetData(), nullptr); // reads only on Read
    r->Read();
    EXPECT_EQ(W(r->GetData()), "[A [D /Name 'axis' /Gain 1.5r /List [A 1 2 ] ] ]");
    EXPECT_EQ(r->GetName(), "cb.data");
    EXPECT_EQ(r->GetFormat(), sfASCII);
}

TEST_F(ClipboardTest, TextOfAnotherProgramWithSeveralValues) {
    TSLMemoryClipboard cb;
    cb.SetBlock(SLClipboardFormatName, SLTextToClipboardBlock("1 2 'three'"));
    TSLStorageObject* r = Manager->GetObject("clipboard://cb.data");
    r->Read();
    EXPECT_EQ(W(r->GetData()), "[A 1 2 'three' ]");
    // text that does not parse: the error passes on and no data is left
    cb.SetBlock(SLClipboardFormatName, SLTextToClipboardBlock("[A 1"));
    EXPECT_THROW(r->Read(), Exception);
    EXPECT_EQ(r->GetData(), nullptr);
}

TEST_F(ClipboardTest, WriteReplacesEveryOtherFormat) {
    TSLMemoryClipboard cb;
    cb.SetBlock("text/plain", "hello");
    TSLStorageObject* w = Manager->CreateObject("clipboard://cb.data");
    w->SetData(V("7").Get());
    w->Write();
    EXPECT_FALSE(cb.HasFormat("text/plain"));
    EXPECT_EQ(cb.GetBlock(SLClipboardFormatName), SLTextToClipboardBlock("7 "));
}

TEST_F(ClipboardTest, OnlyCbDataAndOnlyPlainText) {
    TSLMemoryClipboard cb;
    cb.SetBlock(SLClipboardFormatName, SLTextToClipboardBlock("1"));
    EXPECT_FALSE(Manager->ObjectExists("clipboard://CB.DATA"));
    EXPECT_THROW_MSG(Manager->GetObject("clipboard://other"), Exception,
                     "TClipboardStoragePlugin error: no object named other found");
    EXPECT_THROW_MSG(Manager->CreateObject("clipboard://CB.DATA"), Exception,
                     "TClipboardStoragePlugin.CreateObject: can not create object with name 'CB.DATA'");
    // not part of the default search
    EXPECT_FALSE(Manager->ObjectExists("cb.data"));
    TSLStorageObject* o = Manager->CreateObject("clipboard://cb.data");
    o->SetFormat(sfASCII);
    EXPECT_THROW_MSG(o->SetFormat(sfEASCII), Exception,
                     "TSLClipboardStorageObject.SetFormat: format sfEASCII is currently not supported");
    TSLMemoryClipboard::ClearAll();
    EXPECT_THROW_MSG(o->Read(), Exception, "TSLClipboardStorageObject.Read: clipboard is empty");
}

} // namespace
} // namespace vo
