// A field's value, one type for every reader of records: the engine's
// clients (the procedures' queries, the reader child's answers) and the
// records both programs show, find, compare and export (records/record.h).
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "vb/datetime.h"

namespace ports {

struct Null {
    bool operator==(const Null&) const = default;
};

// A Currency value exactly as Jet keeps it: the amount times 10,000 in a
// 64-bit integer (four decimal places).
struct Currency {
    int64_t scaled = 0;
    bool operator==(const Currency&) const = default;
};

// A Yes/No value, told apart from a number.
struct YesNo {
    bool value = false;
    bool operator==(const YesNo&) const = default;
};

// The bytes of a Binary or OLE Object value, as stored.
struct Bytes {
    std::string data;
    bool operator==(const Bytes&) const = default;
};

// A field's value: Null, integer, floating point, text (UTF-8), date/time,
// and, from OpenTable and FindRecords only, Currency, Yes/No and bytes (a
// SELECT gives a Currency as a double, a Yes/No as -1 or 0, and no bytes).
using Value = std::variant<Null, int64_t, double, std::string, vb::DateTime, Currency, YesNo, Bytes>;

// Visits a Value with one lambda for each alternative, as
// std::visit(Overloaded{[](Null) {...}, [](int64_t v) {...}, ...}, value).
template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};

}  // namespace ports
