// Built-in stack, dictionary and name procedures.
#include "ScriptTestUtil.h"
#include "storagelib/SL20PrcStk.h"

namespace vo::test {
namespace {

class StackProcTest : public ScriptTest {
protected:
    struct TCase {
        const char* Script;
        const char* Stack;
    };
    void Check(std::initializer_list<TCase> Cases) {
        for (const TCase& c : Cases) {
            SCOPED_TRACE(c.Script);
            EXPECT_EQ(Run(c.Script), c.Stack);
        }
    }
    void CheckErrors(std::initializer_list<TCase> Cases) {
        for (const TCase& c : Cases) {
            SCOPED_TRACE(c.Script);
            EXPECT_EQ(RunError(c.Script), c.Stack);
        }
    }
};

TEST_F(StackProcTest, StackOperations) {
    Check({
        {"1 2 pop", "1"},
        {"1 dup", "1 1"},
        // dup copies a composite with its contents
        {"/a [A 1] def a dup 0 5 put a", "[A 1 ] [A 1 ]"},
        {"/d1 1 dict def d1 /k 1 put d1 dup begin /z 2 def end d1 /z known", "[D /k 1 ] #0"},
        {"1 2 exch", "2 1"},
        {"1 exch", "1"},
        {"exch", ""},
        {"1 2 3 0 index", "1 2 3 3"},
        {"1 2 3 2 index", "1 2 3 1"},
        {"[A 7] 0 index 0 8 put", "[A 7 ]"}, // index pushes a copy too
        {"/a [A 1 2] def a [A 3] assign a", "[A 3 ] [A 3 ]"},
        {"5 7 assign", "7"},
    });
    CheckErrors({
        {"pop", "TSLStack.DelObjAtIndex: index (-1) out of bounds (0)"},
        {"1 2 5 index", "TSLStack.ObjectAtIndex: no object to fetch at index -1"},
        {"1 2 -1 index", "TSLStack.ObjectAtIndex: no object to fetch at index -1"},
        {"1 2.0 index", "Invalid class typecast"},
        {"'s' 7 assign", "Invalid class typecast"},
    });
    RunError("1 2 5 index");
    EXPECT_EQ(Stack(), "1 2 5"); // nothing popped by the failed access
}

TEST_F(StackProcTest, DictionaryStackOperations) {
    Check({
        {"currentdict /x 1 put x", "1"},
        {"2 dict begin /x 1 def currentdict /x known end currentdict /x known", "#1 #0"},
        {"5 dict count", "0"},
        {"-3 dict count", "0"},
    });
    // The bottom three dictionaries stay.
    CheckErrors({{"end", "tried to delete global dictionary"},
                 {"1 dict begin end end", "tried to delete global dictionary"},
                 {"1 begin", "Invalid class typecast"}});
    EXPECT_EQ(Run("[B end] [B /Msg get] tryexcept"), "'tried to delete global dictionary'");
    EXPECT_EQ(Ctx->DictStack().GetCount(), 3);
}

TEST_F(StackProcTest, DefinitionsReplaceAndMoveToTheEndAndReachNamespaces) {
    Check({
        {"/x 1 def /y 2 def /x 3 def currentdict [B] forall x", "/y /x 3"},
        // the last entry redefined under another spelling keeps the new one
        {"/y 2 def /x 1 def /X 3 def currentdict [B] forall x", "/y /X 3"},
        {"'ns' cnamespace /ns:v 5 def ns:v", "5"},
        {"'ns' cnamespace /ns:a 1 dict def /ns:a.b 2 def ns:a.b", "2"},
        // without a namespace a dotted name is one key
        {"/a.b 1 def currentdict [B] forall /a.b gknown", "/a.b #0"},
        // a failed definition reports through the script and pops its operands
        {"1 /nons:v 5 [B def] [B /Msg get] tryexcept", "1 'namespace @'nons:v@' not found'"},
        {"/d 1 dict def d /k 1 put d /k undef d /k known d 'zz' undef d count", "#0 0"},
        {"/d 1 dict def d /k 1 put d 'k' undef d count", "0"},
        {"currentdict /nothing known", "#0"},
        {"/x 1 def /x gknown /System:add gknown /nope gknown /Global:x gknown /nons:x gknown", "#1 #1 #0 #1 #0"},
        {"'abc' nknown 'abc' cnamespace 'abc' nknown 'System' nknown /al 'abc' def 'al' nknown", "#0 #1 #1 #1"},
    });
    CheckErrors({
        {"/d 1 dict def d 5 undef", "Invalid class typecast"},
        {"'x' 1 def", "Invalid class typecast"},
        {"'q' cnamespace 'q' cnamespace", "TSLDictionary.AddObject: object with name 'q' already exists"},
    });
}

TEST_F(StackProcTest, ImportBringsInAnnouncedDictionariesAndStoredOnes) {
    TRef<TSLDictionary> tools = VAs<TSLDictionary>("[D /x 1]");
    Manager->AnnounceDictionary("Tools", tools.Get());
    Mem->Texts["Lib\\Util.stx"] = "[D /y 2 /z 'zed']";
    EXPECT_EQ(Run("'Tools' import Tools:x 'Lib\\Util' import Util:y"), "1 2");
    // An imported namespace is not on the dictionary stack.
    EXPECT_EQ(Run("'Lib\\Util' import /z gknown"), "#0");
    EXPECT_EQ(RunError("'Nope' import"), "TStorageManager.ImportIntoContext: No storage object with name:Nope found");
}

} // namespace
} // namespace vo::test
