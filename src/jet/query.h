// The SELECT statements the database layer understands, parsed into a small
// structure that the reader child executes with libmdb's table API.
//
//   SELECT count(*) [AS alias] FROM table [WHERE col = literal]
//   SELECT * | col[, col ...] FROM table [WHERE col = literal]
//
// Keywords and names are case-insensitive; names may be written [in brackets]
// (and may then hold blanks); a literal is a number or text in '...' or "..."
// (a doubled quote stands for itself). Blanks around tokens and one trailing
// ';' are allowed. Anything else is error 3131.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace jet {

// A literal in a WHERE clause: integer, floating point or text (UTF-8).
using Literal = std::variant<int64_t, double, std::string>;

struct Condition {
    std::string column;  // compared with '='
    Literal value;
};

struct Query {
    bool count = false;              // SELECT count(*)
    std::string countName;           // the count's field name: its alias, else "Expr1000"
    std::vector<std::string> columns;  // the SELECT list; empty means '*' (or count)
    std::string table;
    std::optional<Condition> where;
};

// Parses one statement; throws vb::Error 3131 naming what was wrong. Both
// the window's process (to fail early) and the reader child parse the text.
Query ParseQuery(const std::string& text);

}  // namespace jet
