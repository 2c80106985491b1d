#pragma once
// Language manager: the program-wide table of user-interface texts by keyword
// and language, loaded once at start-up from the language definition file
// "LanguageDef\LanguageDef.csv" in the program folder. Keywords and language
// names match without regard to letter case; "English" is the fallback of
// every lookup. The texts live in the file; the program knows only keywords.
//
// File format: lines of fields separated by ";" (no quoting, no trimming).
//   line 1: "FILETYPE";"LANGUAGEDEFFILE"
//   line 2: "FORMATVERSION";1
//   line 3: column heads up to the first empty field; each head containing
//           "LANGUAGE:" declares a language named by its text from the tenth
//           character on ("LANGUAGE:English" -> "English")
//   line 4+: keyword; (dropped); text of language 1; text of language 2; ...
// Every non-empty field has its escapes replaced: "\c" -> ",", "<BR>" (any
// case) -> carriage return, "<PRGNAME>" (any case) -> the product name.
#include <map>
#include <memory>
#include <vector>

#include "kernel/AnsiFormat.h"
#include "kernel/AnsiText.h"
#include "platform/AnsiString.h"

namespace vo {

struct TLanguageItem {
    MyAnsiString LanguageName;
    MyAnsiString Text;
};

// One keyword with its texts, in the order of the language columns.
class TLanguageObj {
public:
    explicit TLanguageObj(MyAnsiString AName) : FName(std::move(AName)) {}
    void AddItem(TLanguageItem AItem) { FDataList.push_back(std::move(AItem)); }

    const MyAnsiString& Name() const noexcept { return FName; }
    const std::vector<TLanguageItem>& Items() const noexcept { return FDataList; }
    // The item of the language (case ignored, first match), or null.
    const TLanguageItem* Find(const MyAnsiString& ALanguage) const noexcept;

private:
    MyAnsiString FName;
    std::vector<TLanguageItem> FDataList;
};

class TLanguageManager {
public:
    TLanguageManager() = default;
    TLanguageManager(const TLanguageManager&) = delete;
    TLanguageManager& operator=(const TLanguageManager&) = delete;

    // Loads the file named by a stored path (backslashes allowed). Never
    // raises: every failure is shown to the user in a message box, and the
    // keywords of the lines read before it stay in the table. Loading twice
    // appends behind the first set, which keeps answering.
    void InitWithFile(const MyAnsiString& AFileName);

    // The text of the keyword in the language; the "English" text when the
    // language has no column or an empty text; "" for an unknown keyword.
    MyAnsiString Get(const MyAnsiString& AKeyWord, const MyAnsiString& ALanguage) const;
    // The same text used as a format with the arguments; the English text is
    // taken when the language is missing or its formatted text is empty. A
    // text that does not fit the arguments raises the formatting error.
    MyAnsiString GetFmt(const MyAnsiString& AKeyWord, const TFmtArgs& Args, const MyAnsiString& ALanguage) const;

    int GetCount() const noexcept { return static_cast<int>(FLanguageObjList.size()); }
    const TLanguageObj& GetItem(int Index) const { return *FLanguageObjList.at(static_cast<std::size_t>(Index)); }
    const TLanguageObj* Find(const MyAnsiString& AKeyWord) const noexcept;

private:
    void Load(const MyAnsiString& AFileName);

    std::vector<std::unique_ptr<TLanguageObj>> FLanguageObjList;
    // Keyword -> first object with it (case ignored).
    std::map<MyAnsiString, const TLanguageObj*, ansi::TextLess> FIndex;
};

// Cuts the next ";"-separated field off the front of ALine and returns it with
// its escapes replaced.
MyAnsiString GetNextCSVItem(MyAnsiString& ALine);

// The program-wide language manager (empty until InitWithFile).
TLanguageManager& LanguageManager();

// The text of a keyword in the user's information-system language.
MyAnsiString LangText(const MyAnsiString& AKeyWord);
MyAnsiString LangTextFmt(const MyAnsiString& AKeyWord, const TFmtArgs& Args);

} // namespace vo
