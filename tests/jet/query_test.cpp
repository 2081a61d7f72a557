#include "jet/query.h"

#include <gtest/gtest.h>

#include "vb/error.h"

namespace {

using jet::Literal;
using jet::ParseQuery;
using jet::Query;

struct Accepted {
    const char* name;
    const char* text;
    bool count;
    const char* countName;
    std::vector<std::string> columns;
    const char* table;
    std::optional<std::pair<std::string, Literal>> where;
};

class QueryAccepted : public ::testing::TestWithParam<Accepted> {};

TEST_P(QueryAccepted, Parses) {
    const Accepted& a = GetParam();
    Query q = ParseQuery(a.text);
    EXPECT_EQ(q.count, a.count);
    if (a.count) {
        EXPECT_EQ(q.countName, a.countName);
    }
    EXPECT_EQ(q.columns, a.columns);
    EXPECT_EQ(q.table, a.table);
    ASSERT_EQ(q.where.has_value(), a.where.has_value());
    if (a.where) {
        EXPECT_EQ(q.where->column, a.where->first);
        EXPECT_EQ(q.where->value, a.where->second);
    }
}

using W = std::pair<std::string, Literal>;

INSTANTIATE_TEST_SUITE_P(
    Grammar, QueryAccepted,
    ::testing::Values(
        // The two statements the utility runs, verbatim.
        Accepted{"UtilityCount", "select count(*) as counter from roof ", true, "counter", {}, "roof", {}},
        Accepted{"UtilityOption", "Select option from stringoptions where optionnumber = 12", false, "", {"option"},
                 "stringoptions", W{"optionnumber", int64_t{12}}},
        Accepted{"CountWithoutAlias", "SELECT COUNT(*) FROM t", true, "Expr1000", {}, "t", {}},
        Accepted{"CountSpacedParens", "select count ( * ) AS n from t", true, "n", {}, "t", {}},
        Accepted{"CountWithWhere", "select count(*) from t where a = 'x'", true, "Expr1000", {}, "t", W{"a", std::string("x")}},
        Accepted{"Star", "select * from Customers", false, "", {}, "Customers", {}},
        Accepted{"ColumnList", "select a,b , c from t", false, "", {"a", "b", "c"}, "t", {}},
        Accepted{"BracketedNames", "select [Company Name], [x] from [Order Details]", false, "", {"Company Name", "x"},
                 "Order Details", {}},
        Accepted{"NonAsciiName", "select count(*) from Umsätze", true, "Expr1000", {}, "Umsätze", {}},
        Accepted{"KeywordAsBracketedName", "select [from] from [select]", false, "", {"from"}, "select", {}},
        Accepted{"CountAsColumnName", "select count from t", false, "", {"count"}, "t", {}},
        Accepted{"SingleQuotedWithDoubledQuote", "select a from t where b = 'it''s'", false, "", {"a"}, "t", W{"b", std::string("it's")}},
        Accepted{"DoubleQuoted", "select a from t where b = \"say \"\"hi\"\"\"", false, "", {"a"}, "t",
                 W{"b", std::string("say \"hi\"")}},
        Accepted{"TextKeepsBlanks", "select a from t where b = '  x  '", false, "", {"a"}, "t", W{"b", std::string("  x  ")}},
        Accepted{"EmptyText", "select a from t where b = ''", false, "", {"a"}, "t", W{"b", std::string()}},
        Accepted{"NegativeNumber", "select a from t where b = -7", false, "", {"a"}, "t", W{"b", int64_t{-7}}},
        Accepted{"DecimalNumber", "select a from t where b = 2.5", false, "", {"a"}, "t", W{"b", 2.5}},
        Accepted{"BlanksEverywhere", " \t select\n a \r\n from  t  where b=1 ;  ", false, "", {"a"}, "t", W{"b", int64_t{1}}},
        Accepted{"MixedCaseKeywords", "SeLeCt A FrOm T WhErE B = 3", false, "", {"A"}, "T", W{"B", int64_t{3}}}),
    [](const auto& info) { return std::string(info.param.name); });

struct Rejected {
    const char* name;
    const char* text;
    const char* mentions;  // a part of the description naming the fault
};

class QueryRejected : public ::testing::TestWithParam<Rejected> {};

TEST_P(QueryRejected, SyntaxError3131) {
    const Rejected& r = GetParam();
    try {
        ParseQuery(r.text);
        FAIL() << "accepted: " << r.text;
    } catch (const vb::Error& e) {
        EXPECT_EQ(e.Number(), 3131);
        EXPECT_NE(e.Description().find(r.mentions), std::string::npos) << e.Description();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, QueryRejected,
    ::testing::Values(Rejected{"Empty", "", "Incomplete query clause"},
                      Rejected{"OnlyBlanks", "   ", "Incomplete query clause"},
                      Rejected{"SelectOnly", "select", "Incomplete query clause"},
                      Rejected{"NoTable", "select * from", "Incomplete query clause"},
                      Rejected{"NoFrom", "select a b", "FROM"},
                      Rejected{"EmptyList", "select from t", "field name"},
                      Rejected{"TrailingComma", "select a, from t", "field name"},
                      Rejected{"CountWithoutStar", "select count(a) from t", "count(*)"},
                      Rejected{"CountUnclosed", "select count(* from t", "')'"},
                      Rejected{"AliasMissing", "select count(*) as from t", "a name after AS"},
                      Rejected{"WhereWithoutCondition", "select a from t where", "Incomplete query clause"},
                      Rejected{"WhereWithoutEquals", "select a from t where b 1", "'='"},
                      Rejected{"WhereOtherOperator", "select a from t where b > 1", "Unexpected character '>'"},
                      Rejected{"WhereNameAsValue", "select a from t where b = c", "number or quoted text"},
                      Rejected{"UnclosedText", "select a from t where b = 'x", "Incomplete query clause"},
                      Rejected{"UnclosedBracket", "select [a from t", "Incomplete query clause"},
                      Rejected{"EmptyBracket", "select [] from t", "Empty name"},
                      Rejected{"BadNumber", "select a from t where b = 12x", "Malformed number"},
                      Rejected{"TwoTables", "select a from t, u", "after the end of the statement"},
                      Rejected{"OrderBy", "select a from t order by a", "after the end of the statement"},
                      Rejected{"AndCondition", "select a from t where b = 1 and c = 2", "after the end"},
                      Rejected{"NotSelect", "delete from t", "SELECT"},
                      Rejected{"ReservedTableName", "select a from where", "table name"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
