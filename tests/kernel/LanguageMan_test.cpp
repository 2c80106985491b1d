#include "kernel/LanguageMan.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <unistd.h>

#include <gtest/gtest.h>

#include "../support/ScriptedPrompt.h"
#include "../support/TestShell.h"
#include "platform/Exception.h"
#include "tests/support/ExpectError.h"
#include "tests/support/DataDir.h"

namespace vo {
namespace {

namespace fs = std::filesystem;

// Writes language files into a private temporary folder.
class LanguageFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
            ("vo_lang_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string Write(const std::string& content, const std::string& name = "LanguageDef.csv") {
        const fs::path p = dir / name;
        std::ofstream(p, std::ios::binary) << content;
        return p.string();
    }
    // Loads the text; returns the messages shown.
    std::vector<MyAnsiString> Load(const std::string& content) {
        file = Write(content);
        man.InitWithFile(file);
        return prompt.Texts();
    }

    fs::path dir;
    std::string file;
    test::TestShell shell;
    test::TScriptedPromptScope prompt;
    TLanguageManager man;
};

// Two languages: English and a second column ("Deutsch") that leaves some
// cells empty, to prove the fallback.
const char* const kTwoLanguages =
    "FILETYPE;LANGUAGEDEFFILE\r\n"
    "FORMATVERSION;1\r\n"
    "Keyword;Remark;LANGUAGE:English;LANGUAGE:Deutsch\r\n"
    "Greeting;x;Hello;Hallo\r\n"
    "OnlyEnglish;x;Only in English;\r\n"
    "ShortLine;x;Short\r\n"
    "Joined;x;one\\ctwo;eins\\Ctwo\r\n"
    "Lines;x;first<br>second<BR>third;\r\n"
    "Product;x;<PRGNAME> and <prgname>;\r\n"
    "Quoted;x;\"a\"  ;\r\n"
    "Greeting;x;Second greeting;Zweiter Gruss\r\n"
    "Count;x;%d files in %s;%d Dateien in %s\r\n"
    "Empty;x;;\r\n"
    "Missing;x;%d left;\r\n";

TEST_F(LanguageFileTest, TextsByKeywordAndLanguageWithoutRegardToCase) {
    EXPECT_TRUE(Load(kTwoLanguages).empty());
    EXPECT_EQ(man.Get("Greeting", "English"), "Hello");
    EXPECT_EQ(man.Get("gREETING", "deutsch"), "Hallo");
    EXPECT_EQ(man.Get("Greeting", "DEUTSCH"), "Hallo") << "the first line of a keyword answers";
    EXPECT_EQ(man.Get("Unknown", "English"), "");
    EXPECT_EQ(man.GetCount(), 11);
}

TEST_F(LanguageFileTest, FallsBackToEnglishForMissingLanguageOrEmptyText) {
    Load(kTwoLanguages);
    EXPECT_EQ(man.Get("Greeting", "Francais"), "Hello") << "language without a column";
    EXPECT_EQ(man.Get("OnlyEnglish", "Deutsch"), "Only in English") << "empty cell";
    EXPECT_EQ(man.Get("ShortLine", "Deutsch"), "Short") << "cell past the end of the line";
    EXPECT_EQ(man.Get("Empty", "Deutsch"), "");
}

TEST_F(LanguageFileTest, WithoutEnglishColumnFallbackIsEmpty) {
    Load("FILETYPE;LANGUAGEDEFFILE\nFORMATVERSION;1\nK;C;LANGUAGE:Deutsch\nGreeting;;Hallo\nGap;;\n");
    EXPECT_EQ(man.Get("Greeting", "Deutsch"), "Hallo");
    EXPECT_EQ(man.Get("Greeting", "English"), "");
    EXPECT_EQ(man.Get("Greeting", "Francais"), "");
    EXPECT_EQ(man.Get("Gap", "Deutsch"), "");
}

TEST_F(LanguageFileTest, EscapesAreReplacedInEveryField) {
    shell.productInfo["ProgramName"] = "Velkor-Ovra";
    Load(kTwoLanguages);
    EXPECT_EQ(man.Get("Joined", "English"), "one,two");
    EXPECT_EQ(man.Get("Joined", "Deutsch"), "eins\\Ctwo") << "an upper-case C is no escape";
    EXPECT_EQ(man.Get("Lines", "English"), "first\rsecond\rthird");
    EXPECT_EQ(man.Get("Product", "English"), "Velkor-Ovra and Velkor-Ovra");
    EXPECT_EQ(man.Get("Quoted", "English"), "\"a\"  ") << "no quoting, no trimming";

    // The product name is asked anew for each occurrence.
    const int before = shell.productInfoCalls;
    MyAnsiString line = "<PRGNAME><PrgName>;rest";
    EXPECT_EQ(GetNextCSVItem(line), "Velkor-OvraVelkor-Ovra");
    EXPECT_EQ(shell.productInfoCalls - before, 2);
    EXPECT_EQ(line, "rest");
    // Escapes are taken in order: "\c" first, then "<BR>", then "<PRGNAME>".
    line = "<B\\cR>";
    EXPECT_EQ(GetNextCSVItem(line), "<B,R>");
    EXPECT_EQ(line, "");
    line = ";;x";
    EXPECT_EQ(GetNextCSVItem(line), "");
    EXPECT_EQ(line, ";x");
}

TEST_F(LanguageFileTest, KeywordsAndHeadsGetEscapesToo) {
    Load("filetype;languagedeffile;ignored\nformatversion;1;x\nK;C;LANGUAGE:Eng\\clish\nKey\\cword;;text\n");
    EXPECT_EQ(man.Get("key,word", "eng,lish"), "text");
}

TEST_F(LanguageFileTest, LanguageHeadsEndAtFirstEmptyField) {
    // The second field is empty: no language is declared, every text is "".
    Load("FILETYPE;LANGUAGEDEFFILE\nFORMATVERSION;1\nKEY;;LANGUAGE:English\nGreeting;;Hello\n");
    EXPECT_TRUE(prompt.Texts().empty());
    EXPECT_EQ(man.Get("Greeting", "English"), "");
    EXPECT_NE(man.Find("Greeting"), nullptr);
}

TEST_F(LanguageFileTest, LanguagesAreNumberedInHeadOrderWhateverTheirPlace) {
    Load("FILETYPE;LANGUAGEDEFFILE\nFORMATVERSION;1\nLANGUAGE:English;Other;language:Deutsch\nK;skipped;en;de;extra\n");
    EXPECT_EQ(man.Get("K", "English"), "en");
    EXPECT_EQ(man.Get("K", "Deutsch"), "de");
    const TLanguageObj* k = man.Find("k");
    ASSERT_NE(k, nullptr);
    ASSERT_EQ(k->Items().size(), 2u) << "extra fields are ignored";
}

TEST_F(LanguageFileTest, EmptyDataLineYieldsEmptyKeyword) {
    Load("FILETYPE;LANGUAGEDEFFILE\nFORMATVERSION;1\nK;C;LANGUAGE:English\n\nA;;a\n");
    EXPECT_EQ(man.GetCount(), 2);
    EXPECT_EQ(man.GetItem(0).Name(), "");
    EXPECT_EQ(man.Get("", "English"), "");
    EXPECT_EQ(man.Get("A", "English"), "a");
}

TEST_F(LanguageFileTest, FormattedTextsFallBackWhenFormattedResultIsEmpty) {
    Load(kTwoLanguages);
    EXPECT_EQ(man.GetFmt("Count", {3, "C:\\Data"}, "Deutsch"), "3 Dateien in C:\\Data");
    EXPECT_EQ(man.GetFmt("count", {3, "x"}, "Francais"), "3 files in x");
    EXPECT_EQ(man.GetFmt("Missing", {4}, "Deutsch"), "4 left");
    EXPECT_EQ(man.GetFmt("Nothing", {4}, "Deutsch"), "");
    test::ExpectError([&] { man.GetFmt("Count", {"three", "x"}, "English"); }, "Format '%d files in %s' invalid or incompatible with argument");
    EXPECT_THROW(man.GetFmt("Count", {3}, "English"), Exception);
}

TEST_F(LanguageFileTest, LoadingTwiceKeepsFirstSetAnswering) {
    Load(kTwoLanguages);
    const auto second = Write(
        "FILETYPE;LANGUAGEDEFFILE\nFORMATVERSION;1\nK;C;LANGUAGE:English\nGreeting;;Replaced\nNewOne;;New\n",
        "second.csv");
    man.InitWithFile(second);
    EXPECT_EQ(man.Get("Greeting", "English"), "Hello");
    EXPECT_EQ(man.Get("NewOne", "English"), "New");
}

TEST_F(LanguageFileTest, FileWithoutDataLinesIsAnEmptyTableWithoutError) {
    EXPECT_TRUE(Load("FILETYPE;LANGUAGEDEFFILE\nFORMATVERSION;1\nK;C;LANGUAGE:English\n").empty());
    EXPECT_EQ(man.GetCount(), 0);
    EXPECT_TRUE(Load("").empty());
}

TEST_F(LanguageFileTest, MalformedHeadersShowTheirMessageWithTheFileNameAndLoadNothing) {
    struct Case {
        const char* content;
        const char* message; // followed by ": " + file name
    };
    const Case cases[] = {
        {"FILETYPE;OTHERFILE\nFORMATVERSION;1\nK;C;LANGUAGE:English\nA;;a\n", "Wrong File Format"},
        {"FILE;LANGUAGEDEFFILE\nFORMATVERSION;1\nK;C;LANGUAGE:English\nA;;a\n", "Wrong File Format"},
        {"FILETYPE\nFORMATVERSION;1\n", "Wrong File Format"},
        {"FILETYPE;LANGUAGEDEFFILE\nVERSION;1\nK;C;LANGUAGE:English\nA;;a\n", "Wrong File Format"},
        {"FILETYPE;LANGUAGEDEFFILE\nFORMATVERSION;2\nK;C;LANGUAGE:English\nA;;a\n",
         "Incompatible File Format Version"},
        {"FILETYPE;LANGUAGEDEFFILE\nFORMATVERSION;one\nK;C;LANGUAGE:English\nA;;a\n",
         "'one' is not a valid integer value"},
        {"FILETYPE;LANGUAGEDEFFILE\nFORMATVERSION;\n", "'' is not a valid integer value"},
    };
    for (const Case& c : cases) {
        prompt.Clear();
        TLanguageManager fresh;
        const auto path = Write(c.content);
        fresh.InitWithFile(path);
        ASSERT_EQ(prompt.Texts().size(), 1u) << c.content;
        EXPECT_EQ(prompt.Texts()[0], std::string(c.message) + ": " + path) << c.content;
        EXPECT_EQ(fresh.GetCount(), 0) << c.content;
        EXPECT_EQ(fresh.Get("A", "English"), "");
    }
}

TEST_F(LanguageFileTest, MissingFileShowsOneMessageAndLeavesTableEmpty) {
    const std::string path = (dir / "NoSuchFolder" / "LanguageDef.csv").string();
    man.InitWithFile(path);
    ASSERT_EQ(prompt.Texts().size(), 1u);
    EXPECT_EQ(prompt.Texts()[0], "No such file or directory: " + path);
    EXPECT_EQ(man.GetCount(), 0);
    EXPECT_EQ(man.Get("Greeting", "English"), "");

    prompt.Clear();
    man.InitWithFile(dir.string());
    ASSERT_EQ(prompt.Texts().size(), 1u) << "a folder is no file";
}

TEST_F(LanguageFileTest, StoredNamesWithBackslashesAreFound) {
    fs::create_directories(dir / "LanguageDef");
    std::ofstream(dir / "LanguageDef" / "LanguageDef.csv", std::ios::binary)
        << "FILETYPE;LANGUAGEDEFFILE\nFORMATVERSION;1\nK;C;LANGUAGE:English\nA;;a\n";
    // Stored names come from Windows: "\" separates and letter case is ignored.
    man.InitWithFile(dir.string() + "/languagedef\\LANGUAGEDEF.csv");
    EXPECT_TRUE(prompt.Texts().empty());
    EXPECT_EQ(man.Get("A", "English"), "a");
}

TEST_F(LanguageFileTest, ProgramWideLookupUsesTheInformationLanguage) {
    LanguageManager().InitWithFile(Write(kTwoLanguages));
    shell.lang = "Deutsch";
    EXPECT_EQ(LangText("Greeting"), "Hallo");
    EXPECT_EQ(LangTextFmt("Count", {2, "x"}), "2 Dateien in x");
    shell.lang = "Francais";
    EXPECT_EQ(LangText("Greeting"), "Hello");
}

// The language file the program installs: well formed, English texts for
// every keyword, no duplicate keyword.
TEST(InstalledLanguageFile, LoadsCleanlyWithEnglishTextForEveryKeyword) {
    test::TestShell shell;
    test::TScriptedPromptScope prompt;
    TLanguageManager man;
    const fs::path file = fs::path(test::DataDir()) / "LanguageDef" / "LanguageDef.csv";
    ASSERT_TRUE(fs::exists(file)) << file;
    man.InitWithFile(file.string());
    ASSERT_TRUE(prompt.Texts().empty()) << prompt.Texts()[0];
    ASSERT_GT(man.GetCount(), 0);
    std::set<MyAnsiString, ansi::TextLess> seen;
    for (int i = 0; i < man.GetCount(); ++i) {
        const TLanguageObj& obj = man.GetItem(i);
        EXPECT_FALSE(obj.Name().empty()) << "line " << i + 4;
        EXPECT_TRUE(seen.insert(obj.Name()).second) << "duplicate keyword " << obj.Name();
        EXPECT_FALSE(man.Get(obj.Name(), "English").empty()) << obj.Name();
    }
    for (const char* key : {"Object_Inspector", "Object_Type", "Description", "ObjectInspectorHelpText",
                            "ObjectDescription", "WhatIsObjectInspector", "ShowObjectInspector",
                            "CloseObjectInspector"})
        EXPECT_FALSE(man.Get(key, "Deutsch").empty()) << key;
    EXPECT_NE(man.Get("ObjectInspectorHelpText", "English").find("Velkor-Ovra"), MyAnsiString::npos);
}

} // namespace
} // namespace vo
