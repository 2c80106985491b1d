#include "diagnostics/osDef.h"

#include <string>

#include "platform/Exception.h"
#include "storagelib/SL20Dic.h"

namespace vo {

std::int32_t StrToVal(std::string_view Data, int& Pos, int Len) {
    if (Len <= 0) return 0;
    if (Pos < 1 || static_cast<std::size_t>(Pos) - 1 + static_cast<std::size_t>(Len) > Data.size())
        throw Exception("StrToVal: " + std::to_string(Len) + " bytes at position " + std::to_string(Pos) +
                        " beyond the data (" + std::to_string(Data.size()) + " bytes)");
    std::uint32_t value = 0;
    const int kept = Len < 4 ? Len : 4;
    for (int k = 0; k < kept; ++k)
        value |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(Data[static_cast<std::size_t>(Pos - 1 + k)]))
            << (8 * k);
    Pos += Len;
    return static_cast<std::int32_t>(value);
}

void SearchBaseName(std::string_view S, MyAnsiString& BaseName) {
    while (!S.empty() && S.back() == ' ') S.remove_suffix(1);
    BaseName.assign(S.data(), S.size());
    const std::size_t n = S.size();
    if (n < 2 || S[n - 1] != ')' || S[n - 2] == '(') return;
    std::size_t i = n - 1; // the ")"
    while (i > 0 && S[i - 1] >= '0' && S[i - 1] <= '9') --i;
    if (i == 0 || S[i - 1] != '(') return; // a non-digit before "("
    std::string_view base = S.substr(0, i - 1);
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    BaseName.assign(base.data(), base.size());
}

void ReadjustSettingsName(MyAnsiString& Name, const std::function<bool(const MyAnsiString&)>& InList) {
    MyAnsiString base;
    SearchBaseName(Name, base);
    if (base.empty()) base = "Untitled";
    if (!InList(base)) {
        Name = base;
        return;
    }
    for (long long n = 2;; ++n) {
        MyAnsiString candidate = base + " (" + std::to_string(n) + ")";
        if (!InList(candidate)) {
            Name = std::move(candidate);
            return;
        }
    }
}

void ReadjustSettingsName(MyAnsiString& Name, const std::vector<MyAnsiString>& List) {
    ReadjustSettingsName(Name, [&List](const MyAnsiString& Candidate) {
        for (const MyAnsiString& s : List)
            if (SLSameName(s, Candidate)) return true;
        return false;
    });
}

} // namespace vo
