// Names compared without regard to case by Windows' rule: one upper-case
// character for one, over the Basic Multilingual Plane; invalid UTF-8 as
// itself. The rows marked "not lower-casing" are where comparing
// lower-case forms, or Unicode case folding, would give the other answer.
#include <gtest/gtest.h>

#include <string>

#include "vb/casefold.h"

namespace {

struct Pair {
    const char* name;
    std::string a, b;
    bool equal;
};

class EqualsIgnoringCase : public ::testing::TestWithParam<Pair> {};

TEST_P(EqualsIgnoringCase, ComparesAsWindowsDoes) {
    const Pair& p = GetParam();
    EXPECT_EQ(vb::EqualsIgnoringCase(p.a, p.b), p.equal) << p.a << " / " << p.b;
    EXPECT_EQ(vb::EqualsIgnoringCase(p.b, p.a), p.equal) << p.b << " / " << p.a;
    EXPECT_EQ(vb::FoldCase(p.a) == vb::FoldCase(p.b), p.equal) << p.a << " / " << p.b;
}

const Pair kPairs[] = {
    {"Ascii", "bsrv.MDB", "BSRV.mdb", true},
    {"AsciiDiffers", "roof", "roofs", false},
    {"AsciiPunctuationIsItself", "[", "{", false},
    {"Latin1", "Umsätze", "UMSÄTZE", true},
    {"Latin1YWithDiaeresis", "ÿ", "Ÿ", true},
    {"LatinExtended", "Łódź", "ŁÓDŹ", true},
    {"Greek", "Σοφία", "ΣΟΦΊΑ", true},
    {"GreekFinalSigma", "ς", "σ", true},  // both upper-case to Σ: not lower-casing
    {"Cyrillic", "Контакты", "КОНТАКТЫ", true},
    {"Armenian", "հայ", "ՀԱՅ", true},
    {"FullwidthLatin", "ａｂｃ", "ＡＢＣ", true},
    {"TitlecaseDigraph", "ǅ", "ǆ", true},
    {"CjkHasNoCase", "日本商事", "日本商事", true},
    {"DifferentLetters", "Müller", "Mueller", false},
    {"SharpSIsNotSS", "Straße", "STRASSE", false},
    {"SharpSIsNotCapitalSharpS", "ß", "ẞ", false},        // not lower-casing
    {"KelvinSignIsNotK", "\u212A", "k", false},           // not lower-casing
    {"DottedCapitalIIsNotI", "İ", "i", false},            // not lower-casing
    {"LigatureIsNotTwoLetters", "ﬁle", "FILE", false},
    {"AboveTheBmpHasNoCase", "\U00010428", "\U00010400", false},  // Deseret: not Unicode's rule
    {"InvalidBytesAreThemselves", "a\xff", "A\xff", true},
    {"DifferentInvalidBytes", "\xfe", "\xff", false},
    {"InvalidIsNotItsLatin1Reading", "\xe4", "ä", false},
    {"TruncatedSequence", "\xc3", "\xc3\xa4", false},
    {"OverlongIsNotAscii", "\xc1\x81", "A", false},
    {"Empty", "", "", true},
};

INSTANTIATE_TEST_SUITE_P(Names, EqualsIgnoringCase, ::testing::ValuesIn(kPairs),
                         [](const auto& info) { return std::string(info.param.name); });

struct Prefix {
    const char* name;
    std::string text, prefix;
    bool starts;
};

class StartsWithIgnoringCase : public ::testing::TestWithParam<Prefix> {};

TEST_P(StartsWithIgnoringCase, ComparesTheLeadingCharacters) {
    const Prefix& p = GetParam();
    EXPECT_EQ(vb::StartsWithIgnoringCase(p.text, p.prefix), p.starts) << p.text << " / " << p.prefix;
}

const Prefix kPrefixes[] = {
    {"WindowsPath", "C:\\users\\Ann\\Documents", "c:\\USERS\\", true},
    {"NonAscii", "Grüße an alle", "GRÜSSE", false},
    {"NonAsciiWhole", "Grüße an alle", "GRÜẞ", false},
    {"NonAsciiLetters", "Привет мир", "ПРИВЕТ", true},
    {"LongerPrefix", "abc", "ABCD", false},
    {"EmptyPrefix", "abc", "", true},
};

INSTANTIATE_TEST_SUITE_P(Names, StartsWithIgnoringCase, ::testing::ValuesIn(kPrefixes),
                         [](const auto& info) { return std::string(info.param.name); });

// UTF-8 of the Basic Multilingual Plane as UTF-16 little-endian bytes.
std::string Utf16le(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const int extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : 2;
        char32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : (b & 0x0F);
        for (int k = 1; k <= extra; ++k) c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += 1 + extra;
        out.push_back(static_cast<char>(c & 0xff));
        out.push_back(static_cast<char>(c >> 8));
    }
    return out;
}

// TextFinder agrees with the folded comparison, on every one of its paths.
TEST(TextFinder, FindsAPartByTheSameRuleOnEitherPath) {
    struct Case {
        std::string part, text;
        bool found;
    };
    const Case cases[] = {
        {"müller", "Hans MÜLLER GmbH", true},
        {"MÜLL", "hans müller", true},
        {"ller g", "Hans MÜLLER GmbH", true},
        {"SS", "Straße", false},            // one character for one
        {"I", "ıstanbul", true},            // ASCII part, text that folds onto it
        {"ı", "Istanbul", true},            // and the other way round
        {"co", "Bay & C", false},           // the text ends before the part
        {"aab", "aaab", true},              // a false start is passed over
        {"", "", true},
        {"x", "", false},
        {"\xff", "a\xff" "b", true},       // invalid bytes are themselves
    };
    for (const Case& c : cases) {
        const vb::TextFinder finder(c.part);
        EXPECT_EQ(finder.In(c.text), c.found) << c.part << " in " << c.text;
        // The same text as Jet 4 stores it, searched unconverted.
        if (c.text.find('\xff') == std::string::npos) {
            EXPECT_EQ(finder.InUtf16(Utf16le(c.text)), c.found) << c.part << " in " << c.text;
        }
    }
    EXPECT_EQ(vb::TextFinder("a").InUtf16(std::string("\x3d\xd8\x00\xde", 4)), std::nullopt);  // a surrogate pair
    EXPECT_EQ(vb::TextFinder("a").InUtf16("a"), std::nullopt);                                  // an odd byte
}

}  // namespace
