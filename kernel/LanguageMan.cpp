#include "kernel/LanguageMan.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "kernel/ShellServices.h"
#include "kernel/UserPrompt.h"
#include "platform/Exception.h"
#include "platform/FileNames.h"

namespace vo {

namespace {

// Stored names use "\" as separator and compare without regard to case.
std::string RealPath(const MyAnsiString& AStoredName) {
    return StoredPathToRealPath(AStoredName).string();
}

// Replaces every occurrence of `what` (letter case ignored when `anyCase`) by
// the text `with()` answers, scanning once from left to right.
template <class With>
MyAnsiString ReplaceAll(const MyAnsiString& s, std::string_view what, bool anyCase, With with) {
    MyAnsiString out;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t hit = anyCase ? ansi::FindText(s, what, pos) : s.find(what, pos);
        if (hit == MyAnsiString::npos) break;
        out.append(s, pos, hit - pos);
        out += with();
        pos = hit + what.size();
    }
    if (pos == 0) return s;
    out.append(s, pos, MyAnsiString::npos);
    return out;
}

// Decimal integer, optional sign; anything else raises the conversion error.
int StrToDecimal(const MyAnsiString& s) {
    const auto fail = [&] { return EConvertError("'" + s + "' is not a valid integer value"); };
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i >= s.size()) throw fail();
    long long value = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') throw fail();
        value = value * 10 + (s[i] - '0');
        if (value > 0x80000000LL) throw fail();
    }
    if (negative) value = -value;
    if (value > 0x7FFFFFFFLL) throw fail();
    return static_cast<int>(value);
}

struct LoadError {
    MyAnsiString text;
};

} // namespace

MyAnsiString GetNextCSVItem(MyAnsiString& ALine) {
    MyAnsiString item;
    const std::size_t sep = ALine.find(';');
    if (sep == MyAnsiString::npos) {
        item.swap(ALine);
        ALine.clear();
    } else {
        item = ALine.substr(0, sep);
        ALine.erase(0, sep + 1);
    }
    // Every escape below starts with a backslash or "<".
    if (item.find_first_of("\\<") == MyAnsiString::npos) return item;
    item = ReplaceAll(item, "\\c", false, [] { return MyAnsiString(","); });
    item = ReplaceAll(item, "<BR>", true, [] { return MyAnsiString("\r"); });
    item = ReplaceAll(item, "<PRGNAME>", true, [] { return ShellServices().GetProductInfoStr("ProgramName"); });
    return item;
}

const TLanguageItem* TLanguageObj::Find(const MyAnsiString& ALanguage) const noexcept {
    for (const auto& item : FDataList)
        if (ansi::SameText(item.LanguageName, ALanguage)) return &item;
    return nullptr;
}

void TLanguageManager::InitWithFile(const MyAnsiString& AFileName) {
    try {
        Load(AFileName);
    } catch (const LoadError& e) {
        ShowMessage(e.text);
    } catch (const std::exception& e) {
        ShowMessage(MyAnsiString(e.what()) + ": " + AFileName);
    }
}

void TLanguageManager::Load(const MyAnsiString& AFileName) {
    const std::string path = RealPath(AFileName);
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw LoadError{std::strerror(EISDIR) + (": " + AFileName)};
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) {
        const int err = errno;
        throw LoadError{MyAnsiString(err ? std::strerror(err) : "Cannot open file") + ": " + AFileName};
    }
    const auto wrongFormat = [&] { return LoadError{"Wrong File Format: " + AFileName}; };

    std::vector<MyAnsiString> languages;
    MyAnsiString line;
    for (int lineNo = 1; std::getline(file, line); ++lineNo) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (lineNo == 1) {
            const MyAnsiString type = GetNextCSVItem(line);
            const MyAnsiString kind = GetNextCSVItem(line);
            if (!ansi::SameText(type, "FILETYPE") || !ansi::SameText(kind, "LANGUAGEDEFFILE")) throw wrongFormat();
        } else if (lineNo == 2) {
            if (!ansi::SameText(GetNextCSVItem(line), "FORMATVERSION")) throw wrongFormat();
            const MyAnsiString version = GetNextCSVItem(line);
            int value = 0;
            try {
                value = StrToDecimal(version);
            } catch (const Exception& e) {
                throw LoadError{MyAnsiString(e.what()) + ": " + AFileName};
            }
            if (value != 1) throw LoadError{"Incompatible File Format Version: " + AFileName};
        } else if (lineNo == 3) {
            for (;;) {
                const MyAnsiString head = GetNextCSVItem(line);
                if (head.empty()) break;
                if (ansi::FindText(head, "LANGUAGE:") != MyAnsiString::npos)
                    languages.push_back(head.size() > 9 ? head.substr(9) : MyAnsiString());
            }
        } else {
            auto obj = std::make_unique<TLanguageObj>(GetNextCSVItem(line));
            GetNextCSVItem(line); // the second column is not used
            for (const auto& language : languages) obj->AddItem({language, GetNextCSVItem(line)});
            FIndex.emplace(obj->Name(), obj.get()); // the first line of a keyword keeps answering
            FLanguageObjList.push_back(std::move(obj));
        }
    }
    if (file.bad()) throw LoadError{MyAnsiString(std::strerror(errno ? errno : EIO)) + ": " + AFileName};
}

const TLanguageObj* TLanguageManager::Find(const MyAnsiString& AKeyWord) const noexcept {
    const auto it = FIndex.find(AKeyWord);
    return it == FIndex.end() ? nullptr : it->second;
}

MyAnsiString TLanguageManager::Get(const MyAnsiString& AKeyWord, const MyAnsiString& ALanguage) const {
    const TLanguageObj* obj = Find(AKeyWord);
    if (!obj) return {};
    if (const TLanguageItem* item = obj->Find(ALanguage); item && !item->Text.empty()) return item->Text;
    const TLanguageItem* english = obj->Find("English");
    return english ? english->Text : MyAnsiString();
}

MyAnsiString TLanguageManager::GetFmt(const MyAnsiString& AKeyWord, const TFmtArgs& Args,
                                      const MyAnsiString& ALanguage) const {
    const TLanguageObj* obj = Find(AKeyWord);
    if (!obj) return {};
    if (const TLanguageItem* item = obj->Find(ALanguage)) {
        MyAnsiString text = FormatText(item->Text, Args);
        if (!text.empty()) return text;
    }
    const TLanguageItem* english = obj->Find("English");
    return english ? FormatText(english->Text, Args) : MyAnsiString();
}

TLanguageManager& LanguageManager() {
    static TLanguageManager instance;
    return instance;
}

MyAnsiString LangText(const MyAnsiString& AKeyWord) {
    return LanguageManager().Get(AKeyWord, ShellServices().InfoSysLang());
}

MyAnsiString LangTextFmt(const MyAnsiString& AKeyWord, const TFmtArgs& Args) {
    return LanguageManager().GetFmt(AKeyWord, Args, ShellServices().InfoSysLang());
}

} // namespace vo
