// The dictionary: case-insensitive names, insertion order, refusal of
// duplicates, building from the reader's elements, and an index that gives
// exactly the results of a scan in order.
#include "storagelib/SL20Dic.h"

#include "tests/storagelib/SLTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace vo {
namespace {

using test::V;
using test::ValueTest;
using test::VAs;
using test::W;

using DictionaryTest = ValueTest;

TEST_F(DictionaryTest, NamesCompareWithoutRegardToCase) {
    struct Case {
        const char* A;
        const char* B;
        bool Same;
    };
    const Case cases[] = {
        {"Version", "VERSION", true},
        {"Version", "version", true},
        {"a_b.c:D9", "A_B.C:d9", true},
        {"Version", "Versio", false},
        {"Version", "Versions", false},
        {"a", "b", false},
        {"_", "_", true},
        {"[", "{", false},
        {"@", "`", false},
        {"\xC4pfel", "\xE4PFEL", true}, // Ä ä
        {"\x8A", "\x9A", true}, // Š š
        {"\x9F", "\xFF", true}, // Ÿ ÿ
        {"\xD7", "\xF7", false}, // × ÷ are no letters
        {"\xDF", "SS", false}, // ß stays itself
        {"", "", true},
        // Each length the comparison treats apart: short, one or two words, longer.
        {"abc", "abD", false},
        {"abcd", "ABCD", true},
        {"abXde", "abYde", false},
        {"k1234567", "K1234567", true},
        {"k1234567", "k1234667", false},
        {"longer_name_9", "LONGER_name_9", true},
        {"longer_name_9", "longer_name_8", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.A) + " / " + c.B);
        EXPECT_EQ(SLSameName(c.A, c.B), c.Same);
        if (c.Same) {
            EXPECT_EQ(SLHashName(c.A), SLHashName(c.B));
            EXPECT_EQ(SLCompareNames(c.A, c.B), 0);
        }
    }
    EXPECT_LT(SLCompareNames("apple", "Banana"), 0);
    EXPECT_GT(SLCompareNames("b", "A"), 0);
    EXPECT_LT(SLCompareNames("ab", "ABC"), 0);
}

TEST_F(DictionaryTest, LookupFindsTheFirstEntryAndKeepsItsName) {
    TRef<TSLDictionary> d = MakeRef<TSLDictionary>();
    d->AddObject("Version", MakeRef<TSLLongint>(3).Get());
    EXPECT_THROW_MSG(d->AddObject("VERSION", MakeRef<TSLLongint>(4).Get()), Exception,
                     "TSLDictionary.AddObject: object with name 'VERSION' already exists");
    EXPECT_THROW_MSG(d->SetObjWithName("version", nullptr), Exception,
                     "TSLDictionary.SetObjWithName: object with name 'version' already exists");
    EXPECT_EQ(d->GetCount(), 1);
    EXPECT_EQ(d->GetIntWithName("version"), 3);
    EXPECT_EQ(d->GetNameAtIndex(0), "Version");
    EXPECT_TRUE(d->NameExists("vErSiOn"));
    EXPECT_EQ(d->IndexOfName("VERSION"), 0);
    EXPECT_EQ(d->IndexOfName("Other"), -1);
    EXPECT_EQ(d->FindObjWithName("Other"), nullptr);
}

TEST_F(DictionaryTest, RefusalsRaiseTheirTextsAndChangeNothing) {
    TRef<TSLDictionary> d = VAs<TSLDictionary>("[D /a 1 /b 2 /c 3 ]");
    EXPECT_THROW_MSG(d->GetObjWithName("Version"), Exception, "TSLDictionary error: no object named Version");
    EXPECT_THROW_MSG(d->DelObjWithName("x"), Exception, "TSLDictionary.RemoveObject: no object found with name 'x'");
    EXPECT_THROW_MSG(d->RemoveObject("x"), Exception, "TSLDictionary.RemoveObject: object with name 'x' not found");
    EXPECT_THROW_MSG(d->GetObjAtIndex(3), Exception, "TSLDictionary.GetObjAtIndex: index (3) out of bounds (3)");
    EXPECT_THROW_MSG(d->GetObjAtIndex(-1), Exception, "TSLDictionary.GetObjAtIndex: index (-1) out of bounds (3)");
    EXPECT_THROW_MSG(d->GetNameAtIndex(3), Exception, "TSLDictionary.GetNameAtIndex: index (3) out of bounds (3)");
    EXPECT_EQ(W(d), "[D /a 1 /b 2 /c 3 ]");
}

TEST_F(DictionaryTest, EntriesStayInInsertionOrderAndRemovalMovesTheLaterOnesUp) {
    TRef<TSLDictionary> d = VAs<TSLDictionary>("[D /First 1 /Second 2 /Third 3 ]");
    TRef<TSLObject> first(d->GetObjWithName("first"));
    d->RemoveObject("FIRST");
    EXPECT_EQ(first->GetRefCount(), 1); // only the test holds it now
    EXPECT_EQ(d->GetNameAtIndex(0), "Second");
    EXPECT_EQ(d->IndexOfName("third"), 1);
    d->AddObject("First", first.Get());
    EXPECT_EQ(W(d), "[D /Second 2 /Third 3 /First 1 ]");
    EXPECT_EQ(d->GetIndexOfObj(first.Get()), 2);
    EXPECT_EQ(d->GetIndexOfObj(nullptr), -1);
    d->AddObject("Nil", nullptr);
    EXPECT_EQ(d->GetIndexOfObj(nullptr), 3);
    EXPECT_EQ(d->GetObjWithName("nil"), nullptr);
    d->Clear();
    EXPECT_EQ(d->GetCount(), 0);
    EXPECT_EQ(first->GetRefCount(), 1);
}

// Names short and long (around the 16 bytes an entry holds itself) survive
// adding, growing, removal, sorting, redefinition under another spelling and
// copying.
TEST_F(DictionaryTest, NamesOfEveryLengthKeepTheirSpelling) {
    const std::vector<std::string> names = {"", "A", "Fifteen_Chars15", "Sixteen_Chars_16",
                                            "Seventeen_Chars17", "Long_Name_" + std::string(40, 'x'), "\xC4rger"};
    TRef<TSLDictionary> d = MakeRef<TSLDictionary>();
    for (std::size_t i = 0; i < names.size(); ++i) d->AddObject(names[i], MakeRef<TSLLongint>(static_cast<int64_t>(i)).Get());
    for (int i = 0; i < 20; ++i) d->AddObject("filler" + std::to_string(i), nullptr); // moves the entries
    for (std::size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(d->GetNameAtIndex(static_cast<int>(i)), names[i]);
        std::string upper = names[i];
        for (char& c : upper)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (!upper.empty() && upper[0] == '\xC4') upper[0] = '\xE4'; // the small letter
        EXPECT_EQ(d->GetIntWithName(upper), static_cast<int64_t>(i));
    }
    d->DelObjWithName("a");
    EXPECT_EQ(d->GetNameAtIndex(0), "");
    EXPECT_EQ(d->GetNameAtIndex(1), "Fifteen_Chars15");
    EXPECT_EQ(d->GetNameAtIndex(4), names[5]);
    // The last entry takes the new spelling, long or short.
    TRef<TSLDictionary> last = VAs<TSLDictionary>("[D /a 1 /short 2 ]");
    last->Define("Short", SLHashName("Short"), MakeRef<TSLLongint>(3).Get());
    EXPECT_EQ(W(last), "[D /a 1 /Short 3 ]");
    last->AddObject("a_rather_long_name_here", nullptr);
    last->Define("A_RATHER_LONG_NAME_HERE", SLHashName("a_rather_long_name_here"), MakeRef<TSLLongint>(4).Get());
    last->Define("x", SLHashName("x"), nullptr);
    last->DelObjWithName("x");
    last->Define("a_rather_LONG_name_here", SLHashName("a_rather_long_name_here"), MakeRef<TSLLongint>(5).Get());
    EXPECT_EQ(W(last), "[D /a 1 /Short 3 /a_rather_LONG_name_here 5 ]");
    TSLDictionary* copy = d->CopyDictionary();
    copy->SetSorted(true);
    EXPECT_EQ(copy->GetNameAtIndex(0), "");
    EXPECT_EQ(copy->GetNameAtIndex(1), "Fifteen_Chars15");
    EXPECT_EQ(copy->GetIntWithName(names[5]), 5);
    EXPECT_EQ(d->GetNameAtIndex(4), names[5]);
}

TEST_F(DictionaryTest, TypedSetterDoesNotReplaceAValueOfAnotherType) {
    TRef<TSLDictionary> d = VAs<TSLDictionary>("[D /Count 1.5 ]");
    EXPECT_THROW_MSG(d->SetIntWithName("Count", 3), Exception,
                     "TSLDictionary.SetObjWithName: object with name 'Count' already exists");
    EXPECT_EQ(W(d), "[D /Count 1.5r ]");
    d->SetFloatWithName("COUNT", 2.5);
    EXPECT_EQ(W(d), "[D /Count 2.5r ]");
}

TEST_F(DictionaryTest, CopyIsEqualAndIndependent) {
    TRef<TSLDictionary> d = VAs<TSLDictionary>("[D:Cfg /Max 10 /Sub [D /x 'y' ] /Nil @0 ]");
    TSLDictionary* copy = d->CopyDictionary();
    EXPECT_EQ(copy->GetRefCount(), 1);
    EXPECT_EQ(W(copy), "[D:Cfg /Max 10 /Sub [D /x 'y' ] /Nil @0 ]");
    EXPECT_TRUE(copy->IsEqual(d.Get()));
    copy->SetIntWithName("max", 11);
    static_cast<TSLDictionary*>(copy->GetObjWithName("sub"))->SetStrWithName("x", "z");
    EXPECT_EQ(W(d), "[D:Cfg /Max 10 /Sub [D /x 'y' ] /Nil @0 ]");
    EXPECT_FALSE(copy->IsEqual(d.Get()));
}

// Element source whose elements carry debug records on the given lines.
TRef<TSLListCompData> Elements(const std::vector<std::pair<const char*, int>>& Items) {
    TRef<TSLListCompData> data = MakeRef<TSLListCompData>();
    for (const auto& [text, line] : Items) {
        TRef<TSLObject> v = V(text);
        if (line > 0) v->SetDbgInfo(std::make_unique<TElmDbgInfo>(0, 1, line, 0));
        data->Add(v.Get());
    }
    return data;
}

TEST_F(DictionaryTest, BuildingFromTheReaderChecksKeysAndCount) {
    struct Case {
        std::vector<std::pair<const char*, int>> Items;
        const char* Error; // nullptr: built
        const char* Built;
    };
    const Case cases[] = {
        {{{"/a", 0}, {"1", 0}, {"/b", 0}, {"'x'", 0}}, nullptr, "[D /a 1 /b 'x' ]"},
        {{}, nullptr, "[D ]"},
        {{{"/a", 0}, {"1", 0}, {"/b", 0}}, "odd number of objects in dictionary ", nullptr},
        {{{"/a", 2}, {"1", 2}, {"/b", 3}}, "odd number of objects in dictionary starting at line 2 ", nullptr},
        {{{"a", 0}, {"1", 0}}, "executable key 'a' in dictionary ", nullptr},
        {{{"5", 0}, {"1", 0}}, "illegal key (TSLLongint) in dictionary ", nullptr},
        {{{"/a", 1}, {"1", 1}, {"5", 3}, {"1", 3}}, "illegal key (TSLLongint) in dictionary at line 3 and index 2", nullptr},
        {{{"/a", 1}, {"1", 1}, {"Name", 4}, {"1", 4}}, "executable key 'Name' in dictionary at line 4 and index 2", nullptr},
        {{{"/a", 0}, {"1", 0}, {"5", 0}}, "illegal key (TSLLongint) in dictionary ", nullptr},
        {{{"'k'", 0}, {"1", 0}, {"x", 0}}, "illegal key (TSLString) in dictionary ", nullptr},
        {{{"/a", 0}, {"1", 0}, {"/A", 0}, {"2", 0}},
         "TSLDictionary.AddObject: object with name 'A' already exists",
         "[D /a 1 ]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Error ? c.Error : c.Built);
        TRef<TSLDictionary> d = MakeRef<TSLDictionary>();
        TRef<TSLListCompData> data = Elements(c.Items);
        if (c.Error) {
            EXPECT_THROW_MSG(d->InitComposite(data.Get()), Exception, c.Error);
            if (c.Built) {
                EXPECT_EQ(W(d), c.Built); // the pairs before the failure stay
            }
        } else {
            d->InitComposite(data.Get());
            EXPECT_EQ(W(d), c.Built);
        }
    }
    // A nil key (a null pointer in the text) is an illegal key too.
    TRef<TSLDictionary> d = MakeRef<TSLDictionary>();
    TRef<TSLListCompData> nilKey = MakeRef<TSLListCompData>();
    nilKey->Add(nullptr);
    nilKey->Add(MakeRef<TSLLongint>(1).Get());
    EXPECT_THROW_MSG(d->InitComposite(nilKey.Get()), Exception, "illegal key (nil) in dictionary ");
}

TEST_F(DictionaryTest, WritesLiteralNamesFollowedByValues) {
    TRef<TSLDictionary> d = VAs<TSLDictionary>("[D:Cfg /Max 10 /Name 'abc' /On #1 /L [A ] ]");
    EXPECT_EQ(W(d), "[D:Cfg /Max 10 /Name 'abc' /On #1 /L [A ] ]");
    EXPECT_EQ(d->AGetCompositeType(), 'D');
    EXPECT_EQ(TSLDictionary::GetCompositeType(), 'D');
    EXPECT_EQ(TSLDictionary::CompositeClass().CreateEmptyComposite()->AGetCompositeType(), 'D');
}

TEST_F(DictionaryTest, SortedDictionaryKeepsNamesInOrder) {
    TRef<TSLDictionary> d = VAs<TSLDictionary>("[D /pear 1 /Apple 2 /fig 3 ]");
    d->SetSorted(true);
    EXPECT_EQ(W(d), "[D /Apple 2 /fig 3 /pear 1 ]");
    d->AddObject("banana", MakeRef<TSLLongint>(4).Get());
    d->AddObject("Zucchini", MakeRef<TSLLongint>(5).Get());
    EXPECT_EQ(W(d), "[D /Apple 2 /banana 4 /fig 3 /pear 1 /Zucchini 5 ]");
    EXPECT_EQ(d->IndexOfName("FIG"), 2);
    EXPECT_THROW(d->AddObject("APPLE", nullptr), Exception);
    d->SetSorted(false);
    d->AddObject("aardvark", nullptr);
    EXPECT_EQ(d->GetNameAtIndex(5), "aardvark");
}

// A model of the required behaviour: a list scanned in order.
struct ModelDict {
    std::vector<std::pair<std::string, int64_t>> Entries;
    int Find(const std::string& n) const {
        for (std::size_t i = 0; i < Entries.size(); ++i)
            if (SLSameName(Entries[i].first, n)) return static_cast<int>(i);
        return -1;
    }
};

TEST_F(DictionaryTest, IndexedLookupMatchesAnInOrderScanUnderRandomChanges) {
    std::mt19937 rng(4711);
    auto randomName = [&] {
        static const char letters[] = "aAbBcC_.:0123\xC4\xE4";
        std::string s;
        const int len = 1 + static_cast<int>(rng() % 4);
        s += letters[rng() % 6]; // a letter first
        for (int i = 1; i < len; ++i) s += letters[rng() % (sizeof letters - 1)];
        return s;
    };
    for (bool sorted : {false, true}) {
        SCOPED_TRACE(sorted ? "sorted" : "in insertion order");
        TRef<TSLDictionary> d = MakeRef<TSLDictionary>();
        d->SetSorted(sorted);
        ModelDict model;
        for (int step = 0; step < 4000; ++step) {
            const std::string name = randomName();
            const int op = static_cast<int>(rng() % 10);
            const int at = model.Find(name);
            if (op < 6) {
                if (at >= 0) {
                    EXPECT_THROW(d->AddObject(name, nullptr), Exception);
                } else {
                    d->SetIntWithName(name, step);
                    if (sorted) {
                        auto it = std::upper_bound(model.Entries.begin(), model.Entries.end(), name,
                                                   [](const std::string& n, const auto& e) {
                                                       return SLCompareNames(n, e.first) < 0;
                                                   });
                        model.Entries.insert(it, {name, step});
                    } else {
                        model.Entries.emplace_back(name, step);
                    }
                }
            } else if (op < 9) {
                if (at < 0) {
                    EXPECT_THROW(d->DelObjWithName(name), Exception);
                } else {
                    d->DelObjWithName(name);
                    model.Entries.erase(model.Entries.begin() + at);
                }
            } else if (rng() % 50 == 0) {
                d->Clear();
                model.Entries.clear();
            }
            ASSERT_EQ(d->IndexOfName(name), model.Find(name)) << name << " at step " << step;
        }
        ASSERT_EQ(d->GetCount(), static_cast<int>(model.Entries.size()));
        for (std::size_t i = 0; i < model.Entries.size(); ++i) {
            ASSERT_EQ(d->GetNameAtIndex(static_cast<int>(i)), model.Entries[i].first);
            ASSERT_EQ(d->IndexOfName(model.Entries[i].first), static_cast<int>(i));
            ASSERT_EQ(d->GetIntAtIndex(static_cast<int>(i)), model.Entries[i].second);
        }
    }
}

TEST_F(DictionaryTest, ThousandsOfNamesStayFindableAfterRemovalsFromTheMiddle) {
    TRef<TSLDictionary> d = MakeRef<TSLDictionary>();
    const int n = 5000;
    for (int i = 0; i < n; ++i) d->SetIntWithName("Par" + std::to_string(i), i);
    for (int i = 0; i < n; i += 3) d->RemoveObject("PAR" + std::to_string(i));
    int expectedIndex = 0;
    for (int i = 0; i < n; ++i) {
        const std::string name = "par" + std::to_string(i);
        if (i % 3 == 0) {
            ASSERT_FALSE(d->NameExists(name));
            continue;
        }
        ASSERT_EQ(d->IndexOfName(name), expectedIndex++);
        ASSERT_EQ(d->GetIntWithName(name), i);
    }
    TSLDictionary* copy = d->CopyDictionary();
    EXPECT_TRUE(copy->IsEqual(d.Get()));
    EXPECT_EQ(copy->IndexOfName("PAR4999"), d->GetCount() - 1);
}

} // namespace
} // namespace vo
