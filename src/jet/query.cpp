#include "jet/query.h"

#include <cerrno>
#include <cstdlib>

#include "vb/casefold.h"
#include "vb/error.h"

namespace jet {
namespace {

enum class Tok { Name, Number, Text, Star, Comma, LParen, RParen, Equals, Semicolon, End };

struct Token {
    Tok kind = Tok::End;
    std::string text;      // name (without brackets), number or text (unquoted)
    bool bracketed = false;  // a [name]: never a keyword
};

[[noreturn]] void Incomplete() {
    throw vb::Error(vb::kSyntaxError, "Syntax error in query. Incomplete query clause.");
}

[[noreturn]] void Unexpected(const std::string& expected, const Token& found) {
    if (found.kind == Tok::End) Incomplete();
    std::string shown = found.kind == Tok::Text ? "'" + found.text + "'" : found.text;
    if (found.bracketed) shown = "[" + found.text + "]";
    throw vb::Error(vb::kSyntaxError,
                    "Syntax error in query. Expected " + expected + " but found " + shown + ".");
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// Names are ASCII letters, digits and '_', plus any non-ASCII byte so that
// UTF-8 names such as Umsätze need no brackets.
bool IsNameStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}
bool IsNameChar(char c) { return IsNameStart(c) || IsDigit(c); }

std::vector<Token> Tokenize(const std::string& s) {
    std::vector<Token> out;
    size_t i = 0;
    while (true) {
        while (i < s.size() && IsBlank(s[i])) ++i;
        Token t;
        if (i == s.size()) {
            out.push_back(t);
            return out;
        }
        char c = s[i];
        if (c == '*' || c == ',' || c == '(' || c == ')' || c == '=' || c == ';') {
            t.kind = c == '*' ? Tok::Star : c == ',' ? Tok::Comma : c == '(' ? Tok::LParen
                   : c == ')' ? Tok::RParen : c == '=' ? Tok::Equals : Tok::Semicolon;
            t.text = std::string(1, c);
            ++i;
        } else if (c == '[') {
            size_t close = s.find(']', i + 1);
            if (close == std::string::npos) Incomplete();
            t.kind = Tok::Name;
            t.bracketed = true;
            t.text = s.substr(i + 1, close - i - 1);
            if (t.text.empty())
                throw vb::Error(vb::kSyntaxError, "Syntax error in query. Empty name in brackets [].");
            i = close + 1;
        } else if (c == '\'' || c == '"') {
            // Quoted text; the quote doubled stands for itself.
            t.kind = Tok::Text;
            ++i;
            while (true) {
                if (i == s.size()) Incomplete();
                if (s[i] == c) {
                    if (i + 1 < s.size() && s[i + 1] == c) {
                        t.text += c;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                t.text += s[i++];
            }
        } else if (IsDigit(c) || ((c == '-' || c == '+' || c == '.') && i + 1 < s.size() &&
                                  (IsDigit(s[i + 1]) || s[i + 1] == '.'))) {
            t.kind = Tok::Number;
            size_t start = i;
            if (c == '-' || c == '+') ++i;
            while (i < s.size() && (IsDigit(s[i]) || s[i] == '.')) ++i;
            if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
                ++i;
                if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
                while (i < s.size() && IsDigit(s[i])) ++i;
            }
            t.text = s.substr(start, i - start);
            if (i < s.size() && IsNameChar(s[i]))
                throw vb::Error(vb::kSyntaxError, "Syntax error in query. Malformed number '" +
                                                      s.substr(start, i - start + 1) + "'.");
        } else if (IsNameStart(c)) {
            t.kind = Tok::Name;
            size_t start = i;
            while (i < s.size() && IsNameChar(s[i])) ++i;
            t.text = s.substr(start, i - start);
        } else {
            throw vb::Error(vb::kSyntaxError,
                            std::string("Syntax error in query. Unexpected character '") + c + "'.");
        }
        out.push_back(t);
    }
}

Literal NumberLiteral(const std::string& text) {
    bool integral = text.find_first_of(".eE") == std::string::npos;
    errno = 0;
    char* end = nullptr;
    if (integral) {
        long long v = std::strtoll(text.c_str(), &end, 10);
        if (errno == 0 && end && *end == '\0') return static_cast<int64_t>(v);
    }
    errno = 0;
    double d = std::strtod(text.c_str(), &end);
    if (errno != 0 || !end || *end != '\0')
        throw vb::Error(vb::kSyntaxError, "Syntax error in query. Malformed number '" + text + "'.");
    return d;
}

class Parser {
public:
    explicit Parser(std::vector<Token> toks) : toks_(std::move(toks)) {}

    Query Parse() {
        Query q;
        ExpectKeyword("SELECT");
        if (IsKeyword(Peek(), "COUNT") && Peek(1).kind == Tok::LParen) {
            Next();
            Next();
            Expect(Tok::Star, "'*' in count(*)");
            Expect(Tok::RParen, "')' after count(*");
            q.count = true;
            q.countName = "Expr1000";
            if (IsKeyword(Peek(), "AS")) {
                Next();
                q.countName = ExpectName("a name after AS");
            }
        } else if (Peek().kind == Tok::Star) {
            Next();
        } else {
            q.columns.push_back(ExpectName("a field name or '*' after SELECT"));
            while (Peek().kind == Tok::Comma) {
                Next();
                q.columns.push_back(ExpectName("a field name after ','"));
            }
        }
        ExpectKeyword("FROM");
        q.table = ExpectName("a table name after FROM");
        if (IsKeyword(Peek(), "WHERE")) {
            Next();
            Condition c;
            c.column = ExpectName("a field name after WHERE");
            Expect(Tok::Equals, "'=' after " + c.column);
            const Token& v = Next();
            if (v.kind == Tok::Number)
                c.value = NumberLiteral(v.text);
            else if (v.kind == Tok::Text)
                c.value = v.text;
            else
                Unexpected("a number or quoted text after '='", v);
            q.where = std::move(c);
        }
        if (Peek().kind == Tok::Semicolon) Next();
        if (Peek().kind != Tok::End) {
            throw vb::Error(vb::kSyntaxError, "Syntax error in query. Unexpected " + Describe(Peek()) +
                                                  " after the end of the statement.");
        }
        return q;
    }

private:
    static bool IsKeyword(const Token& t, const char* kw) {
        return t.kind == Tok::Name && !t.bracketed && vb::EqualsIgnoringCase(t.text, kw);
    }
    static bool IsReserved(const Token& t) {
        for (const char* kw : {"SELECT", "FROM", "WHERE", "AS"})
            if (IsKeyword(t, kw)) return true;
        return false;
    }
    static std::string Describe(const Token& t) {
        if (t.kind == Tok::Text) return "'" + t.text + "'";
        if (t.bracketed) return "[" + t.text + "]";
        return t.text;
    }
    const Token& Peek(size_t ahead = 0) const {
        size_t i = pos_ + ahead;
        return i < toks_.size() ? toks_[i] : toks_.back();
    }
    const Token& Next() {
        const Token& t = Peek();
        if (pos_ < toks_.size() - 1) ++pos_;
        return t;
    }
    void Expect(Tok kind, const std::string& what) {
        if (Peek().kind != kind) Unexpected(what, Peek());
        Next();
    }
    void ExpectKeyword(const char* kw) {
        if (!IsKeyword(Peek(), kw)) Unexpected(kw, Peek());
        Next();
    }
    std::string ExpectName(const std::string& what) {
        if (Peek().kind != Tok::Name || IsReserved(Peek())) Unexpected(what, Peek());
        return Next().text;
    }

    std::vector<Token> toks_;
    size_t pos_ = 0;
};

}  // namespace

Query ParseQuery(const std::string& text) { return Parser(Tokenize(text)).Parse(); }

}  // namespace jet
