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
