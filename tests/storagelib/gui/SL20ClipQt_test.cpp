// The clipboard plug-in on the Qt clipboard (offscreen): a dictionary goes
// through the system clipboard under the custom MIME type and comes back.
#include "storagelib/gui/SL20ClipQt.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>

#include <gtest/gtest.h>

#include "storagelib/SL20Sto.h"
#include "tests/storagelib/SLTestUtil.h"

namespace vo {
namespace {

using test::V;
using test::W;

class QtClipboardTest : public test::ValueTest {
protected:
    static void SetUpTestSuite() { App = new QApplication(argc, argv); }
    static void TearDownTestSuite() {
        delete App;
        App = nullptr;
    }
    void SetUp() override {
        ValueTest::SetUp();
        Manager = std::make_unique<TStorageManager>("\\nowhere\\");
        Manager->AnnounceStoragePlugin(std::make_unique<TClipboardStoragePlugin>(std::make_unique<TQtClipboard>()),
                                       false);
        QGuiApplication::clipboard()->clear();
    }
    void TearDown() override {
        PurgeAutoReleasePool();
        Manager.reset();
        ValueTest::TearDown();
    }
    static inline int argc = 1;
    static inline char arg0[] = "test";
    static inline char* argv[] = {arg0, nullptr};
    static inline QApplication* App = nullptr;
    std::unique_ptr<TStorageManager> Manager;
};

TEST_F(QtClipboardTest, DictionaryRoundTripUnderTheCustomType) {
    QGuiApplication::clipboard()->setText("plain text before");
    EXPECT_FALSE(Manager->ObjectExists("clipboard://cb.data"));
    TSLStorageObject* w = Manager->CreateObject("clipboard://cb.data");
    w->SetData(V("[D /Axis 'X\xE9' /Speed 12 ]").Get());
    w->Write();

    const QMimeData* md = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(md, nullptr);
    EXPECT_TRUE(md->hasFormat(SLClipboardMimeType));
    EXPECT_FALSE(md->hasText()); // the other formats are gone
    const QByteArray block = md->data(SLClipboardMimeType);
    const std::string text = Manager->EncodeObjectToString(V("[D /Axis 'X\xE9' /Speed 12 ]").Get());
    EXPECT_EQ(block.size(), static_cast<qsizetype>(2 * text.size() + 2));
    EXPECT_EQ(std::string(block.constData(), block.size()), SLTextToClipboardBlock(text));

    EXPECT_TRUE(Manager->ObjectExists("clipboard://cb.data"));
    TSLStorageObject* r = Manager->GetObject("clipboard://cb.data");
    r->Read();
    EXPECT_EQ(W(r->GetData()), "[A [D /Axis 'X\xE9' /Speed 12 ] ]");
}

TEST_F(QtClipboardTest, BlockPutThereByAnotherProgram) {
    auto* md = new QMimeData();
    const std::string block = SLTextToClipboardBlock("1 2");
    md->setData(SLClipboardMimeType, QByteArray(block.data(), static_cast<qsizetype>(block.size())));
    QGuiApplication::clipboard()->setMimeData(md);
    TSLStorageObject* r = Manager->GetObject("clipboard://cb.data");
    r->Read();
    EXPECT_EQ(W(r->GetData()), "[A 1 2 ]");
    QGuiApplication::clipboard()->clear();
    EXPECT_THROW_MSG(r->Read(), Exception, "TSLClipboardStorageObject.Read: clipboard is empty");
}

} // namespace
} // namespace vo
