#include "common/vbvalue.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "vb/error.h"

namespace common {

std::string TextOf(const ports::Value& value) {
    struct Visitor {
        std::string operator()(const ports::Null&) const { return ""; }
        std::string operator()(int64_t v) const { return std::to_string(v); }
        std::string operator()(double v) const {
            char text[32];
            std::snprintf(text, sizeof text, "%.15g", v);
            return text;
        }
        std::string operator()(const std::string& v) const { return v; }
        std::string operator()(const vb::DateTime& d) const {
            char text[32];
            std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day,
                          d.hour, d.minute, d.second);
            return text;
        }
        // As CStr: no trailing zeros of the four decimals, no point without them.
        std::string operator()(const ports::Currency& c) const {
            const uint64_t magnitude = c.scaled < 0 ? 0 - static_cast<uint64_t>(c.scaled) : static_cast<uint64_t>(c.scaled);
            std::string text = (c.scaled < 0 ? "-" : "") + std::to_string(magnitude / 10000);
            std::string fraction = std::to_string(magnitude % 10000 + 10000).substr(1);
            while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
            return fraction.empty() ? text : text + "." + fraction;
        }
        std::string operator()(const ports::YesNo& b) const { return b.value ? "True" : "False"; }
        std::string operator()(const ports::Bytes& b) const { return b.data; }
    };
    return std::visit(Visitor{}, value);
}

namespace {

int32_t RoundToLong(double v) {
    if (std::isnan(v) || v < -2147483648.5 || v >= 2147483647.5) throw vb::Error(6, "Overflow");
    double r = std::nearbyint(v);  // default rounding: half to even, as CLng
    return static_cast<int32_t>(r);
}

}  // namespace

int32_t CLng(const ports::Value& value) {
    if (std::holds_alternative<ports::Null>(value)) throw vb::Error(94, "Invalid use of Null");
    if (const int64_t* v = std::get_if<int64_t>(&value)) {
        if (*v < std::numeric_limits<int32_t>::min() || *v > std::numeric_limits<int32_t>::max())
            throw vb::Error(6, "Overflow");
        return static_cast<int32_t>(*v);
    }
    if (const double* v = std::get_if<double>(&value)) return RoundToLong(*v);
    if (const auto* b = std::get_if<ports::YesNo>(&value)) return b->value ? -1 : 0;
    if (const auto* c = std::get_if<ports::Currency>(&value)) {
        // Half to even on the exact amount, not on a double near it.
        int64_t whole = c->scaled / 10000, rest = c->scaled % 10000;
        if (rest < 0) rest += 10000, whole -= 1;
        if (rest > 5000 || (rest == 5000 && whole % 2 != 0)) whole += 1;
        if (whole < std::numeric_limits<int32_t>::min() || whole > std::numeric_limits<int32_t>::max())
            throw vb::Error(6, "Overflow");
        return static_cast<int32_t>(whole);
    }
    if (const std::string* v = std::get_if<std::string>(&value)) {
        const std::string t = Trim(*v);
        char* end = nullptr;
        double d = t.empty() ? 0 : std::strtod(t.c_str(), &end);
        if (t.empty() || *end != '\0') throw vb::Error(13, "Type mismatch");
        return RoundToLong(d);
    }
    throw vb::Error(13, "Type mismatch");
}

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

}  // namespace common
