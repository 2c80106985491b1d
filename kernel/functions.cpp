#include "kernel/functions.h"

#include <cstdio>

#include "kernel/UserPrompt.h"

namespace vo {

namespace {

[[noreturn]] void InvalidInteger(const MyAnsiString& S) {
    throw EConvertError("'" + S + "' is not a valid integer value");
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Parses S into a magnitude and a sign. Decimal magnitudes are limited to
// DecLimit for positive and DecLimit+1 for negative values; hexadecimal ones
// to HexLimit (the full unsigned width).
bool ParseInteger(const MyAnsiString& S, std::uint64_t DecLimit, std::uint64_t HexLimit,
                  std::uint64_t& Magnitude, bool& Negative, bool& Hex) {
    std::size_t i = 0;
    const std::size_t n = S.size();
    while (i < n && S[i] == ' ') ++i;
    Negative = false;
    if (i < n && (S[i] == '+' || S[i] == '-')) {
        Negative = S[i] == '-';
        ++i;
    }
    Hex = false;
    if (i < n && S[i] == '$') {
        Hex = true;
        ++i;
    } else if (i + 1 < n && S[i] == '0' && (S[i + 1] == 'x' || S[i + 1] == 'X')) {
        Hex = true;
        i += 2;
    }
    if (i >= n) return false;
    std::uint64_t v = 0;
    if (Hex) {
        for (; i < n; ++i) {
            int d = HexDigit(S[i]);
            if (d < 0) return false;
            if (v > (HexLimit >> 4)) return false;
            v = (v << 4) | static_cast<std::uint64_t>(d);
        }
    } else {
        const std::uint64_t limit = Negative ? DecLimit + 1 : DecLimit;
        for (; i < n; ++i) {
            char c = S[i];
            if (c < '0' || c > '9') return false;
            std::uint64_t d = static_cast<std::uint64_t>(c - '0');
            if (v > (limit - d) / 10) return false;
            v = v * 10 + d;
        }
    }
    Magnitude = v;
    return true;
}

} // namespace

std::int64_t StrToInt64(const MyAnsiString& S) {
    std::uint64_t m;
    bool neg, hex;
    if (!ParseInteger(S, 0x7FFFFFFFFFFFFFFFull, ~0ull, m, neg, hex)) InvalidInteger(S);
    std::uint64_t r = neg ? (0 - m) : m;
    return static_cast<std::int64_t>(r);
}

std::int32_t StrToInt(const MyAnsiString& S) {
    std::uint64_t m;
    bool neg, hex;
    if (!ParseInteger(S, 0x7FFFFFFFull, 0xFFFFFFFFull, m, neg, hex)) InvalidInteger(S);
    std::uint32_t r = static_cast<std::uint32_t>(m);
    if (neg) r = 0u - r;
    return static_cast<std::int32_t>(r);
}

std::int32_t StrToIntDef(const MyAnsiString& S, std::int32_t Default) {
    std::uint64_t m;
    bool neg, hex;
    if (!ParseInteger(S, 0x7FFFFFFFull, 0xFFFFFFFFull, m, neg, hex)) return Default;
    std::uint32_t r = static_cast<std::uint32_t>(m);
    if (neg) r = 0u - r;
    return static_cast<std::int32_t>(r);
}

std::int64_t DataToValue(const MyAnsiString& Data, int Count) {
    if (Count < 0 || static_cast<std::size_t>(Count) > Data.size())
        throw EConvertError("DataToValue: count " + std::to_string(Count) + " exceeds the " +
                            std::to_string(Data.size()) + " bytes of data");
    std::uint64_t v = 0;
    for (int k = Count - 1; k >= 0; --k)
        v = (v << 8) | static_cast<unsigned char>(Data[static_cast<std::size_t>(k)]);
    return static_cast<std::int64_t>(v);
}

MyAnsiString ValueToData(std::int64_t Value, int Count) {
    if (Count < 0) throw EConvertError("ValueToData: negative count " + std::to_string(Count));
    MyAnsiString r(static_cast<std::size_t>(Count), '\0');
    std::uint64_t v = static_cast<std::uint64_t>(Value);
    for (int k = 0; k < Count && k < 8; ++k) r[static_cast<std::size_t>(k)] = static_cast<char>((v >> (8 * k)) & 0xFF);
    return r;
}

MyAnsiString IntToBinary(std::int64_t Value, int Count) {
    if (Count <= 0) return {};
    std::uint64_t v = static_cast<std::uint64_t>(Value);
    switch (Count) {
    case 1: v &= 0xFFull; break;
    case 2: v &= 0xFFFFull; break;
    case 4: v &= 0xFFFFFFFFull; break;
    default: break;
    }
    const int digits = Count * 8;
    MyAnsiString r(static_cast<std::size_t>(digits), '0');
    for (int bit = 0; bit < digits && bit < 64; ++bit)
        if ((v >> bit) & 1u) r[static_cast<std::size_t>(digits - 1 - bit)] = '1';
    return r;
}

std::int64_t BinaryToInt(const MyAnsiString& S) {
    const std::size_t L = S.size();
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < L; ++i) {
        if (S[i] != '1') continue;
        std::size_t place = L - 1 - i;
        if (place >= 63)
            throw EConvertError("BinaryToInt: '" + S + "' does not fit a 64-bit integer");
        v |= 1ull << place;
    }
    return static_cast<std::int64_t>(v);
}

bool AreTreesCompatible(const MyAnsiString& Tree1, const MyAnsiString& Tree2, int Permission,
                        bool& Newer) {
    Newer = false;
    if (Tree1 == Tree2) return true;

    auto p1 = Tree1.find('_');
    auto p2 = Tree2.find('_');
    if (p1 == MyAnsiString::npos || p2 == MyAnsiString::npos) return false;
    MyAnsiString name1 = Tree1.substr(0, p1), rest1 = Tree1.substr(p1 + 1);
    MyAnsiString name2 = Tree2.substr(0, p2), rest2 = Tree2.substr(p2 + 1);

    if (name1 != name2) {
        if (name1 == "ApplTr7300Dorvan")
            name1 = "ApplTrDorvan";
        else if (name1 == "ApplTr7300MasterSlave")
            name1 = "ApTrMasterSlave";
        if (name1 != name2) return false;
    }

    // Drop the part, keep the version up to the next "_".
    auto version = [](const MyAnsiString& rest, MyAnsiString& v) {
        auto p = rest.find('_');
        if (p == MyAnsiString::npos) return false;
        v = rest.substr(p + 1);
        auto q = v.find('_');
        if (q != MyAnsiString::npos) v.resize(q);
        return true;
    };
    MyAnsiString v1, v2;
    if (!version(rest1, v1) || !version(rest2, v2)) return false;

    // Major number: from the second character up to the first "S"; minor: after it.
    auto numbers = [](const MyAnsiString& v, int& major, int& minor) {
        auto s = v.size() > 1 ? v.find('S', 1) : MyAnsiString::npos;
        if (s == MyAnsiString::npos) InvalidInteger(v.size() > 1 ? v.substr(1) : MyAnsiString());
        major = StrToInt(v.substr(1, s - 1));
        minor = StrToInt(v.substr(s + 1));
    };
    int major1, minor1, major2, minor2;
    numbers(v1, major1, minor1);
    numbers(v2, major2, minor2);

    if (major1 != major2) {
        if (Permission != 15) return false;
        Newer = major1 > major2;
        return true;
    }
    Newer = minor1 > minor2;
    return true;
}

MyAnsiString IntToIPStr(std::int32_t IP) {
    std::uint32_t v = static_cast<std::uint32_t>(IP);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", (v >> 24) & 0xFF, (v >> 16) & 0xFF, (v >> 8) & 0xFF,
                  v & 0xFF);
    return buf;
}

MyAnsiString AdjustIntToIPStr(std::int32_t IP) {
    std::uint32_t v = static_cast<std::uint32_t>(IP);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%03u.%03u.%03u.%03u", (v >> 24) & 0xFF, (v >> 16) & 0xFF,
                  (v >> 8) & 0xFF, v & 0xFF);
    return buf;
}

std::int32_t IPStrToInt(const MyAnsiString& S) {
    // Each part: plain decimal digits only (no sign, blank or hex prefix).
    auto part = [](const MyAnsiString& t) -> std::uint32_t {
        if (t.empty() || t.size() > 10 || t.find_first_not_of("0123456789") != MyAnsiString::npos)
            InvalidInteger(t);
        return static_cast<std::uint32_t>(StrToInt(t));
    };
    std::uint32_t sum = 0;
    int shift = 24;
    std::size_t start = 0;
    for (auto p = S.find('.'); p != MyAnsiString::npos; p = S.find('.', start)) {
        if (shift < 8) throw EConvertError("'" + S + "' is not a valid IPv4 address");
        sum += part(S.substr(start, p - start)) << shift;
        shift -= 8;
        start = p + 1;
    }
    sum += part(S.substr(start));
    return static_cast<std::int32_t>(sum);
}

MyAnsiString AdjustString(const MyAnsiString& S, int Length, char Fill) {
    if (Length <= 0 || S.size() >= static_cast<std::size_t>(Length)) return S;
    return MyAnsiString(static_cast<std::size_t>(Length) - S.size(), Fill) + S;
}

MyAnsiString IntToMACIDStr(std::int64_t MacId) {
    if (MacId == 0) return {};
    std::uint64_t v = static_cast<std::uint64_t>(MacId);
    char buf[18];
    std::snprintf(buf, sizeof buf, "%02X:%02X:%02X:%02X:%02X:%02X", unsigned((v >> 40) & 0xFF),
                  unsigned((v >> 32) & 0xFF), unsigned((v >> 24) & 0xFF), unsigned((v >> 16) & 0xFF),
                  unsigned((v >> 8) & 0xFF), unsigned(v & 0xFF));
    return buf;
}

MyAnsiString BufToStr(const MyAnsiString& S) {
    MyAnsiString result;
    int group = 0; // digits in the current group
    unsigned last2 = 0; // value of its last two digits
    auto endGroup = [&] {
        if (group > 0 && result.size() < 255) result.push_back(static_cast<char>(last2 & 0xFF));
        group = 0;
        last2 = 0;
    };
    for (char c : S) {
        int d = HexDigit(c);
        if (d < 0) {
            endGroup();
            continue;
        }
        last2 = ((last2 << 4) | static_cast<unsigned>(d)) & 0xFF;
        ++group;
    }
    endGroup();
    return result;
}

MyAnsiString GetOvraErrorMessage(int Code) {
    switch (Code) {
    case 178: return "Time out: No response from drive";
    case 179: return "Another instance is already logged into the drive!";
    default: return "Ovra error: " + std::to_string(Code);
    }
}

// ---------------------------------------------------------------- TIP4Edit

void TIP4EditLogic::CheckIndex(int Index) const {
    if (Index < 0 || Index > 3)
        throw Exception("TIP4EditLogic: field index " + std::to_string(Index) + " out of range");
}

void TIP4EditLogic::FocusField(int Index) { Focused = Index; }

void TIP4EditLogic::SetIPValue(std::int32_t IPValue) {
    std::uint32_t v = static_cast<std::uint32_t>(IPValue);
    for (int k = 0; k < 4; ++k) {
        TField& f = Editor[static_cast<std::size_t>(k)];
        f.Text = std::to_string((v >> (24 - 8 * k)) & 0xFF);
        f.SelStart = 0;
        f.SelLength = 0;
    }
}

std::int32_t TIP4EditLogic::GetIPValue() const {
    std::uint32_t sum = 0;
    for (int k = 0; k < 4; ++k) {
        const MyAnsiString& t = Editor[static_cast<std::size_t>(k)].Text;
        if (t.empty() || t.find_first_not_of("0123456789") != MyAnsiString::npos) InvalidInteger(t);
        sum += static_cast<std::uint32_t>(StrToInt(t)) << (24 - 8 * k);
    }
    return static_cast<std::int32_t>(sum);
}

int TIP4EditLogic::KeyDown(int Index, int Key, unsigned Shift) {
    CheckIndex(Index);
    TField& f = Editor[static_cast<std::size_t>(Index)];
    f.ReadOnly = false;
    if (Key == VK_SHIFT || Key == VK_CONTROL || (Key >= VK_LSHIFT && Key <= VK_RCONTROL)) return Focused;
    if (Key >= VK_NUMPAD0 && Key <= VK_NUMPAD9) Key = Key - VK_NUMPAD0 + VK_0;

    const int len = static_cast<int>(f.Text.size());
    if (Key == VK_RIGHT && f.SelStart >= len && Index < 3) {
        FocusField(Index + 1);
        Editor[static_cast<std::size_t>(Index + 1)].SelectAll();
    } else if (Key == VK_LEFT && f.SelStart == 0 && Index > 0) {
        FocusField(Index - 1);
        Editor[static_cast<std::size_t>(Index - 1)].SelectAll();
    } else if (Key == VK_BACK && f.SelStart == 0 && f.SelLength == 0 && Index > 0) {
        FocusField(Index - 1);
        TField& prev = Editor[static_cast<std::size_t>(Index - 1)];
        if (!prev.Text.empty()) prev.Text.pop_back();
        prev.SelStart = static_cast<int>(prev.Text.size());
        prev.SelLength = 0;
    } else if ((Key == VK_DECIMAL || Key == VK_SPACE || Key == VK_OEM_PERIOD) && !f.Text.empty() &&
               Index < 3) {
        FocusField(Index + 1);
        Editor[static_cast<std::size_t>(Index + 1)].SelectAll();
    }

    const bool digit = Key >= VK_0 && Key <= VK_9;
    if ((Shift & (ssShift | ssAlt | ssCtrl | ssLeft)) != 0 || !(digit || Key == VK_BACK || Key == VK_DELETE))
        f.ReadOnly = true;
    return Focused;
}

void TIP4EditLogic::Change(int Index, const MyAnsiString& NewText, int CaretPos) {
    CheckIndex(Index);
    TField& f = Editor[static_cast<std::size_t>(Index)];
    f.Text = NewText.size() > static_cast<std::size_t>(MaxLength) ? NewText.substr(0, MaxLength) : NewText;
    f.SelStart = CaretPos < 0 ? static_cast<int>(f.Text.size()) : CaretPos;
    f.SelLength = 0;
    if (f.Text.empty()) return;

    const bool number = f.Text.find_first_not_of("0123456789") == MyAnsiString::npos;
    if (number && StrToInt(f.Text) > 254) {
        MyAnsiString entered = f.Text;
        f.Text = "254";
        f.SelectAll();
        MessageDlg(entered + " is not a valid entry. Please specify a value between 0 and 254 for this field.",
                   TMsgDlgType::mtError, {TMsgDlgBtn::mbOK});
        return;
    }
    if (number) {
        if (Index < 3 && f.Text.size() == 3 && f.SelStart == 3) {
            FocusField(Index + 1);
            Editor[static_cast<std::size_t>(Index + 1)].SelectAll();
        }
        return;
    }
    f.Text = "0";
    f.SelectAll();
}

} // namespace vo
