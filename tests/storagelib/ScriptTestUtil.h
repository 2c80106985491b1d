#pragma once
// Helpers of the interpreter tests: a storage manager with the script engine
// installed, scripts written in the text notation, a driver that runs a
// context to its end (a native's wait ends at once, as by its time-out), the
// operand stack as text, and a storage plug-in that serves texts from memory
// with storage ids, so that runtime errors can name their file and line.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "SLTestUtil.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20Exe.h"
#include "storagelib/SL20Prc.h"
#include "storagelib/SL20Sto.h"

namespace vo::test {

// Stored texts by name ("mem://" scheme, also in the default search).
class TMemStorageObject : public TSLStorageObject {
    VO_REFOBJ_CLASS(TMemStorageObject, TSLStorageObject)
public:
    TMemStorageObject(MyAnsiString AName, TRef<TSLObject> AData) : FName(std::move(AName)), FData(std::move(AData)) {}
    MyAnsiString GetName() const override { return FName; }
    TStorageFormat GetFormat() const override { return sfASCII; }
    void SetFormat(TStorageFormat) override {}
    TSLObject* GetData() override { return FData.Get(); }
    void SetData(TSLObject* Data) override { FData = TRef<TSLObject>(Data); }
    void Read() override {}
    void Write() override {}

private:
    MyAnsiString FName;
    TRef<TSLObject> FData;
};

class TMemStoragePlugin : public TStoragePluginInterface {
public:
    const char* ClassName() const noexcept override { return "TMemStoragePlugin"; }
    bool ObjectExists(const MyAnsiString& Name) override { return Texts.count(Name) != 0; }
    using TStoragePluginInterface::GetObject;
    TSLStorageObject* GetObject(const MyAnsiString& Name, TStreamAccess, bool Debug) override {
        const auto it = Texts.find(Name);
        if (it == Texts.end()) throw Exception("TMemStoragePlugin: no object named " + Name);
        TStorageManager& manager = *GetStorageManager();
        TRef<TSLStringStream> stream = MakeRef<TSLStringStream>();
        stream->SetBuffer(it->second);
        stream->FStorageID = manager.GetStorageIDManager().CreateStorageID("mem\\" + Name);
        TRef<TSLLookaheadStream> look = MakeRef<TSLLookaheadStream>(stream.Get());
        TRef<TSLObject> data = manager.GetDecoder()->ReadSingleObjectRef(look.Get(), Debug);
        auto* obj = NewRefObj<TMemStorageObject>(true, Name, data);
        return obj;
    }
    bool CanCreate(const MyAnsiString&) override { return false; }
    TSLStorageObject* CreateObject(const MyAnsiString& Name) override {
        throw Exception("TMemStoragePlugin: cannot create " + Name);
    }
    MyAnsiString GetScheme() const override { return "mem://"; }

    std::map<MyAnsiString, MyAnsiString> Texts;
};

// A script and the operand stack it leaves.
struct TStackCase {
    const char* Script;
    const char* Stack;
};

// A script that must fail and the message of its failure.
struct TErrorCase {
    const char* Script;
    const char* Message;
};

// A storage manager with the script engine and a memory plug-in; checks that
// a test leaves no counted object behind.
class ScriptTest : public ValueTest {
protected:
    void SetUp() override {
        ValueTest::SetUp();
        Manager = std::make_unique<TStorageManager>("C:\\prog\\");
        Interp = SLInstallScriptEngine(*Manager);
        auto plugin = std::make_unique<TMemStoragePlugin>();
        Mem = plugin.get();
        Manager->AnnounceStoragePlugin(std::move(plugin), true);
    }
    void TearDown() override {
        Ctx.Reset();
        Manager.reset();
        ValueTest::TearDown();
    }

    // A new context of the manager (the standard dictionary stack).
    TSLContextImplementation& NewContext() {
        Ctx = TRef<TSLContextImplementation>(&SLContextImpl(Manager->CreateContext(false)));
        return *Ctx;
    }

    // Parses Text (the tokens of a block) and pushes the block on a new
    // context.
    TSLContextImplementation& Start(std::string_view Text, bool Debug = false) {
        const std::string text = "[B " + std::string(Text) + " ]";
        TRef<TSLObject> block = SLDecodeString(text, Debug);
        NewContext();
        Ctx->PushBlock(SLCast<TSLBlock>(block.Get()));
        return *Ctx;
    }

    // Runs the context until it finishes; a native's wait ends at once (as
    // by its time-out). Returns the number of interpreter calls.
    int RunToEnd(int MaxCalls = 100000) {
        for (int calls = 1; calls <= MaxCalls; ++calls) {
            if (Ctx->GetState() == isWaiting) Ctx->Resume(nullptr);
            if (Interp->Run(Ctx.Get())) return calls;
        }
        ADD_FAILURE() << "script did not finish";
        return MaxCalls;
    }

    // Runs Text to its end and returns the operand stack.
    std::string Run(std::string_view Text) {
        Start(Text);
        RunToEnd();
        return Stack();
    }

    // Runs Text, which must fail; returns the failure's message.
    std::string RunError(std::string_view Text) {
        Start(Text);
        try {
            RunToEnd();
        } catch (const Exception& e) {
            return e.what();
        }
        ADD_FAILURE() << "no failure from " << Text;
        return {};
    }

    // Runs each case's script to its end and compares the operand stack.
    void ExpectStacks(std::span<const TStackCase> Cases) {
        for (const TStackCase& c : Cases) {
            SCOPED_TRACE(c.Script);
            EXPECT_EQ(Run(c.Script), c.Stack);
        }
    }

    // Runs each script, which must fail, and compares the failure's message.
    void ExpectErrors(std::span<const TErrorCase> Failures) {
        for (const TErrorCase& f : Failures) {
            SCOPED_TRACE(f.Script);
            EXPECT_EQ(RunError(f.Script), f.Message);
        }
    }

    // The operand stack from the bottom to the top, as text.
    std::string Stack() const {
        std::string out;
        TSLStack& ops = Ctx->OperandStack();
        for (int i = ops.GetCount() - 1; i >= 0; --i) {
            if (!out.empty()) out += ' ';
            out += W(ops.GetObjAtIndex(i));
        }
        return out;
    }

    // A value of the top dictionary of the context's dictionary stack.
    TSLObject* Global(std::string_view Name) const {
        auto* top = static_cast<TSLDictionary*>(Ctx->DictStack().GetObjAtIndex(0));
        return top->FindObjWithName(Name);
    }

    std::unique_ptr<TStorageManager> Manager;
    TSLInterpreter* Interp = nullptr;
    TMemStoragePlugin* Mem = nullptr;
    TRef<TSLContextImplementation> Ctx;
};

} // namespace vo::test
