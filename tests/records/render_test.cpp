// The records' text forms, for the screen and for export.
#include <gtest/gtest.h>

#include "records/render.h"

namespace records {
namespace {

TEST(RecordText, EachKindForScreenAndExport) {
    struct Case {
        Cell cell;
        const char* display;
        const char* exported;
    } cases[] = {
        {Null{}, "", ""},
        {int64_t{-42}, "-42", "-42"},
        {0.1, "0.1", "0.1"},
        {Currency{-1}, "-0.0001", "-0.0001"},
        {Currency{123450000}, "12345", "12345"},
        {Currency{INT64_MIN}, "-922337203685477.5808", "-922337203685477.5808"},
        {YesNo{true}, "Yes", "true"},
        {vb::DateTime{2024, 3, 1, 9, 5, 7}, "2024-03-01 09:05:07", "2024-03-01T09:05:07"},
        {Bytes{"a"}, "(1 byte)", "YQ=="},
        {Bytes{"ab"}, "(2 bytes)", "YWI="},
        {Bytes{std::string("ab\0\xff", 4)}, "(4 bytes)", "YWIA/w=="},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DisplayText(c.cell), c.display);
        EXPECT_EQ(ExportText(c.cell), c.exported);
    }
}

TEST(RecordText, EscapesWhatActsOnTheTerminalOrTheTextAround) {
    EXPECT_EQ(Escaped("a\x1b[31mred\n\t"), "a\\x1B[31mred\\n\\t");
    EXPECT_EQ(Escaped("abc\u202Edef\u2066x\u200F\u0085"), "abc\\u202Edef\\u2066x\\u200F\\u0085");
    EXPECT_EQ(Escaped("C:\\x \xff\xc3"), "C:\\\\x \\xFF\\xC3");
    EXPECT_EQ(Escaped("C:\\x", /*backslash=*/false), "C:\\x");
    EXPECT_EQ(Escaped("Müller 東京 שלום"), "Müller 東京 שלום");
    EXPECT_EQ(CharacterCount("Müller\xff"), 7u);
}

// Columns line up as a terminal draws them: wide characters take two cells,
// combining marks none; a cut keeps whole characters and fits its width.
TEST(RecordsText, TerminalColumnsAndCuts) {
    const struct {
        const char* text;
        size_t columns;
        size_t cutTo;
        const char* cut;
    } cases[] = {
        {"Tokyo", 5, 5, "Tokyo"},
        {"東京", 4, 4, "東京"},
        {"日本商事", 8, 5, "日本\u2026"},
        {"Cafe\u0301", 4, 3, "Ca\u2026"},
        {"ＡＢ", 4, 2, "\u2026"},
        {"ab\xff", 3, 3, "ab\xff"},
        {"Cafe\u0301", 4, 4, "Cafe\u0301"},                // its mark takes no cell
        {"e\u0301e\u0301e\u0301", 3, 2, "e\u0301\u2026"},  // a kept character keeps its mark
        {"ab", 2, 0, "\u2026"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TerminalColumns(c.text), c.columns) << c.text;
        const std::string cut = CutToColumns(c.text, c.cutTo);
        EXPECT_EQ(cut, c.cut) << c.text;
        EXPECT_LE(TerminalColumns(cut), std::max<size_t>(c.cutTo, 1)) << c.text;
    }
}

}  // namespace
}  // namespace records
