#include "storagelib/SL20Scn.h"

#include <charconv>
#include <string>

#include "storagelib/SL20Elm.h"

namespace vo {

using namespace sl_bytes;

namespace {

// Takes bytes while Pred holds, appending them to Out when given; stops before
// the first other byte (which stays unread) or at the end of the stream.
// Carriage returns among the bytes taken count as lines.
template <class Pred>
void TakeWhile(TSLLookaheadStream& S, Pred P, std::string* Out) {
    for (;;) {
        if (S.CharIsBuffered) {
            const uint8_t c = S.ReadChar();
            if (!P(c)) {
                S.UnreadChar();
                return;
            }
            if (Out) Out->push_back(static_cast<char>(c));
            continue;
        }
        std::string_view w = S.Window();
        if (w.empty()) {
            if (!S.FillWindow()) return;
            continue;
        }
        std::size_t i = 0;
        int32_t lines = 0;
        while (i < w.size()) {
            const auto c = static_cast<uint8_t>(w[i]);
            if (!P(c)) break;
            if (c == 13) ++lines;
            ++i;
        }
        if (Out) Out->append(w.data(), i);
        S.Advance(i);
        S.AddLines(lines);
        if (i < w.size()) return;
    }
}

std::unique_ptr<TDbgInfo> DbgRecord(bool Debug, int32_t Pos, int32_t Length, const TSLLookaheadStream& S) {
    if (!Debug) return nullptr;
    return std::make_unique<TElmDbgInfo>(Pos, Length, S.Line(), S.GetStorageID());
}

// Makes a value and hands it to the reader, which takes the first reference
// (no extra retain and release per value); a value the reader refuses dies.
template <class T, class... A>
void Push(TDecoderInterface& I, bool Debug, int32_t Pos, int32_t Length, const TSLLookaheadStream& S, A&&... Args) {
    T* obj = new T(std::forward<A>(Args)...);
    try {
        if (Debug) obj->SetDbgInfo(DbgRecord(true, Pos, Length, S));
        I.PushElement(obj);
    } catch (...) {
        if (obj->GetRefCount() == 0) obj->Destroy();
        throw;
    }
}

std::string Quoted(uint8_t c) { return std::string(1, static_cast<char>(c)); }

// The content of an unfinished string as error messages show it.
std::string CutContent(const std::string& Content) {
    if (Content.size() >= 11) return Content.substr(0, 10) + "...";
    return Content;
}

int HexValue(uint8_t c) {
    if (c <= '9') return c - '0';
    if (c >= 'a') return c - 'a' + 10;
    return c - 'A' + 10;
}

} // namespace

// ---------------------------------------------------------------- number tokens

int64_t SLIntegerToken(std::string_view Tok) {
    const char* b = Tok.data();
    const char* e = b + Tok.size();
    if (b == e || *b == '$') return SLStrToInt64(Tok);
    const bool negative = *b == '-';
    if (*b == '+' || *b == '-') ++b;
    // Up to 18 digits cannot overflow.
    if (e - b <= 18 && b != e) {
        uint64_t v = 0;
        for (const char* p = b; p != e; ++p) {
            const auto d = static_cast<unsigned>(*p - '0');
            if (d > 9) return SLStrToInt64(Tok);
            v = v * 10 + d;
        }
        return negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
    }
    int64_t v = 0;
    const auto res = std::from_chars(negative ? b - 1 : b, e, v);
    if (res.ec != std::errc() || res.ptr != e) v = SLStrToInt64(Tok);
    return v;
}

double SLRealToken(std::string_view Tok) {
    double v = 0;
    const char* b = Tok.data();
    const char* e = b + Tok.size();
    if (b != e && *b == '+') ++b;
    const auto res = std::from_chars(b, e, v);
    // Anything from_chars does not take whole (out of range, a malformed
    // exponent) goes through the conversion that gives the error texts.
    if (res.ec != std::errc() || res.ptr != e) v = SLStrToFloat(Tok);
    return v;
}

// ---------------------------------------------------------------- whitespace

bool SLSkipBlanks(TSLLookaheadStream& S) {
    const int32_t start = S.Position();
    TakeWhile(
        S, [](uint8_t c) { return IsBlank(c); }, nullptr);
    return S.Position() != start;
}

bool TSLWhitespaceScanner::ScanStream(TDecoderInterface& I, bool) { return SLSkipBlanks(*I.GetStream()); }

// ---------------------------------------------------------------- numbers

bool TSLNumberScanner::ScanStream(TDecoderInterface& I, bool Debug) {
    TSLLookaheadStream& s = *I.GetStream();
    const int32_t start = s.Position();
    const uint8_t first = s.ReadChar();
    if (!IsNumberStart(first)) {
        s.UnreadChar();
        return false;
    }
    std::string tok(1, static_cast<char>(first));
    bool valid = false, real = false;
    int state;
    if (first == '$')
        state = 5;
    else if (first == '+' || first == '-')
        state = 1;
    else {
        valid = true;
        state = 2;
    }
    // Digits are the common case: take runs of them from the window at once.
    while (!s.IsEndOfStream()) {
        if (state == 2 || state == 3) {
            const std::size_t before = tok.size();
            TakeWhile(
                s, [](uint8_t c) { return IsDigit(c); }, &tok);
            if (tok.size() != before && state == 3) valid = true;
            if (s.IsEndOfStream()) break;
        }
        const uint8_t c = s.ReadChar();
        bool take = true;
        switch (state) {
        case 1:
            if (IsDigit(c))
                valid = true, state = 2;
            else
                take = false;
            break;
        case 2:
            if (IsDigit(c)) {
            } else if (c == '.')
                real = true, state = 3;
            else if (c == 'E' || c == 'e')
                real = true, valid = false, state = 4;
            else
                take = false;
            break;
        case 3:
            if (IsDigit(c))
                valid = true;
            else if (c == 'E' || c == 'e')
                valid = false, state = 4;
            else
                take = false;
            break;
        case 4:
            if (c == '+' || c == '-')
                valid = false;
            else if (IsDigit(c))
                valid = true;
            else
                take = false;
            break;
        default: // 5: hex digits
            if (IsHexDigit(c))
                valid = true;
            else
                take = false;
            break;
        }
        if (!take) {
            s.UnreadChar();
            break;
        }
        tok.push_back(static_cast<char>(c));
    }
    if (!valid) throw Exception("invalid number '" + tok + "'");
    const auto length = static_cast<int32_t>(tok.size());
    if (real)
        Push<TSLDouble>(I, Debug, start, length, s, SLRealToken(tok));
    else
        Push<TSLLongint>(I, Debug, start, length, s, SLIntegerToken(tok));
    return true;
}

// ---------------------------------------------------------------- strings

bool TSLStringScanner::ScanStream(TDecoderInterface& I, bool Debug) {
    TSLLookaheadStream& s = *I.GetStream();
    const int32_t start = s.Position();
    const int32_t startLine = s.Line();
    if (s.ReadChar() != '\'') {
        s.UnreadChar();
        return false;
    }
    std::string content;
    auto missing = [&content]() -> Exception {
        return Exception("missing MyAnsiString termination in MyAnsiString '" + CutContent(content) + "'");
    };
    for (;;) {
        TakeWhile(
            s, [](uint8_t c) { return c != '\'' && c != '@'; }, &content);
        if (s.IsEndOfStream()) throw missing();
        const uint8_t c = s.ReadChar();
        if (c == '\'') break;
        // "@": an escape
        if (s.IsEndOfStream()) throw missing();
        const uint8_t e = s.ReadChar();
        if (e == '\'')
            content.push_back('\'');
        else if (e == 'l')
            content.push_back('\n');
        else if (e == 'n')
            content.push_back('\r');
        else if (IsHexDigit(e)) {
            if (s.IsEndOfStream()) throw missing();
            const uint8_t e2 = s.ReadChar();
            if (!IsHexDigit(e2))
                throw Exception("illegal escape sequence in MyAnsiString '" + CutContent(content) + "@...'");
            content.push_back(static_cast<char>(HexValue(e) * 16 + HexValue(e2)));
        } else
            content.push_back(static_cast<char>(e));
    }
    const int32_t length = s.Position() - start;
    Push<TSLString>(I, Debug, start - (startLine - 1), length, s, std::move(content));
    return true;
}

// ---------------------------------------------------------------- identifiers

bool TSLIdentScanner::ScanStream(TDecoderInterface& I, bool Debug) {
    TSLLookaheadStream& s = *I.GetStream();
    const int32_t start = s.Position();
    const int32_t startLine = s.Line();
    bool literal = false;
    if (s.ReadChar() == '/')
        literal = true;
    else
        s.UnreadChar();

    std::string name;
    auto finish = [&]() {
        const int32_t length = s.Position() - start;
        Push<TSLIdent>(I, Debug, start - (startLine - 1), length, s, std::move(name), !literal);
        return true;
    };
    auto badStart = [](uint8_t c) -> Exception {
        return Exception("invalid ident AnsiCharacter '" + Quoted(c) + "' after '/'");
    };
    if (s.IsEndOfStream()) return finish(); // "/" at the very end
    uint8_t c = s.ReadChar();
    if (!IsNameStart(c)) {
        if (literal) throw badStart(c);
        s.UnreadChar();
        return false;
    }
    name.push_back(static_cast<char>(c));
    for (;;) {
        TakeWhile(
            s, [](uint8_t b) { return IsNameByte(b); }, &name);
        if (s.IsEndOfStream()) return finish();
        c = s.ReadChar();
        if (!IsSeparator(c)) {
            s.UnreadChar();
            return finish();
        }
        name.push_back(static_cast<char>(c));
        if (s.IsEndOfStream()) return finish();
        c = s.ReadChar();
        if (!IsNameStart(c)) {
            if (literal) throw badStart(c);
            s.UnreadChar();
            return finish(); // an executable name may end with a separator
        }
        name.push_back(static_cast<char>(c));
    }
}

// ---------------------------------------------------------------- composites

bool TSLCompositeScanner::ScanStream(TDecoderInterface& I, bool Debug) {
    TSLLookaheadStream& s = *I.GetStream();
    const int32_t start = s.Position();
    const uint8_t c = s.ReadChar();
    if (c == ']') {
        I.EndOfComposite();
        return true;
    }
    if (c != '[') {
        s.UnreadChar();
        return false;
    }
    const uint8_t type = s.ReadChar();
    if (type < 'A' || type > 'Z') throw Exception("invalid composite type '" + Quoted(type) + "'");
    std::string name;
    if (!s.IsEndOfStream()) {
        if (s.ReadChar() == ':') {
            const uint8_t f = s.ReadChar();
            if (!IsNameStart(f)) throw Exception("invalid composite ident '" + Quoted(f) + "'");
            name.push_back(static_cast<char>(f));
            TakeWhile(
                s, [](uint8_t b) { return IsNameByte(b); }, &name);
        } else {
            s.UnreadChar();
        }
    }
    I.BeginOfComposite(static_cast<char>(type), name, DbgRecord(Debug, start, 2, s));
    return true;
}

// ---------------------------------------------------------------- booleans

bool TSLBooleanScanner::ScanStream(TDecoderInterface& I, bool Debug) {
    TSLLookaheadStream& s = *I.GetStream();
    const int32_t start = s.Position();
    if (s.ReadChar() != '#') {
        s.UnreadChar();
        return false;
    }
    const uint8_t v = s.ReadChar();
    if (v != '0' && v != '1') throw Exception("invalid boolean '#" + Quoted(v) + "'");
    Push<TSLBoolean>(I, Debug, start, 2, s, v == '1');
    return true;
}

// ---------------------------------------------------------------- pointers

bool TSLPointerScanner::ScanStream(TDecoderInterface& I, bool) {
    TSLLookaheadStream& s = *I.GetStream();
    if (s.ReadChar() != '@') {
        s.UnreadChar();
        return false;
    }
    const uint8_t next = s.ReadChar();
    s.UnreadChar();
    if (IsDigit(next)) {
        std::string digits;
        TakeWhile(
            s, [](uint8_t b) { return IsDigit(b); }, &digits);
        int64_t index = 0;
        for (char d : digits) {
            if (index > (INT64_MAX - 9) / 10) {
                index = INT64_MAX; // beyond any list
                break;
            }
            index = index * 10 + (d - '0');
        }
        I.ResolvePointer(index);
        return true;
    }
    if (IsNameStart(next)) {
        std::string name;
        TakeWhile(
            s, [](uint8_t b) { return IsNameByte(b); }, &name);
        I.ResolvePointer(std::string_view(name));
        return true;
    }
    throw Exception("invalid pointer '@" + Quoted(next) + "'");
}

// ---------------------------------------------------------------- comments

bool TSLCommentScanner::ScanStream(TDecoderInterface& I, bool) {
    TSLLookaheadStream& s = *I.GetStream();
    if (s.ReadChar() != '%') {
        s.UnreadChar();
        return false;
    }
    // A comment ends at the carriage return; a bare line feed (a file saved
    // with Unix line ends) ends it too, or the rest of the text would vanish
    // into the comment without a word.
    TakeWhile(
        s, [](uint8_t b) { return b != 13 && b != 10; }, nullptr);
    if (!s.IsEndOfStream()) s.ReadChar(); // the line end
    return true;
}

// ---------------------------------------------------------------- constants

bool TSLConstantScanner::ScanStream(TDecoderInterface& I, bool) {
    TSLLookaheadStream& s = *I.GetStream();
    if (s.ReadChar() != '*') {
        s.UnreadChar();
        return false;
    }
    std::string text;
    while (!s.IsEndOfStream()) {
        const uint8_t c = s.ReadChar();
        if (c == ' ') break;
        if (c == 13) {
            text.push_back('\r');
            break;
        }
        if (IsNameByte(c)) text.push_back(static_cast<char>(c));
    }
    I.ResolveConstant(text);
    return true;
}

} // namespace vo
