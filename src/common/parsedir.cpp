#include "common/parsedir.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "common/procedure.h"

namespace common {

namespace {

// Mid$(text, start, count) with one-based start: a start beyond the end
// gives the empty text, a count reaching past the end stops at the end.
std::string Mid(const std::string& text, int32_t start, int32_t count = INT32_MAX) {
    if (start < 1 || count <= 0 || static_cast<size_t>(start) > text.size()) return "";
    return text.substr(static_cast<size_t>(start) - 1, static_cast<size_t>(count));
}

std::string Left(const std::string& text, int32_t count) {
    if (count <= 0) return "";
    return text.substr(0, std::min(text.size(), static_cast<size_t>(count)));
}

std::string LCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

std::string ParseDir(Services& sys, const std::string& FileName, const std::string& ParseType) {
    std::string result;
    int32_t L = 0;  // length of the path
    int32_t E = 0;  // position of the bare name's last character
    int32_t S = 0;  // position of the file name's first character
    int32_t N = 0;  // length of the bare name
    int32_t i = 0;
    std::string type;

    auto at = [&](int32_t pos) { return FileName[static_cast<size_t>(pos) - 1]; };

    Procedure proc(sys, "ParseDir", "Form1");
    // The scan from the end: every full stop moves E, the first separator
    // met from the end fixes S and stops the scan.
    proc.Line(40, [&] { L = static_cast<int32_t>(FileName.size()); });
    proc.Line(50, [&] { E = L; });
    proc.Line(60, [&] { S = 1; });
    proc.Line(70, [&] {
        i = L;
        return i >= 1 ? Flow::Next() : Flow::Goto(200);
    });
    proc.Line(80, [&] { return at(i) == '.' ? Flow::Next() : Flow::Goto(110); });
    proc.Line(90, [&] { E = i - 1; });
    proc.Line(110, [&] { return at(i) == '\\' ? Flow::Next() : Flow::Goto(150); });
    proc.Line(120, [&] {
        S = i + 1;
        return Flow::Goto(200);
    });
    proc.IgnoreTo(200);
    proc.Line(150, [&] { return at(i) == ':' ? Flow::Next() : Flow::Goto(190); });
    proc.Line(160, [&] {
        S = i + 1;
        return Flow::Goto(200);
    });
    proc.IgnoreTo(200);
    proc.Line(190, [&] {
        --i;
        return i >= 1 ? Flow::Goto(80) : Flow::Next();
    });
    proc.Line(200, [&] { N = E - S + 1; });
    proc.Line(210, [&] {
        type = LCase(ParseType);
        if (type == "dir") return Flow::Goto(220);
        if (type == "nameonly") return Flow::Goto(240);
        if (type == "name" || type == "filename") return Flow::Goto(260);
        if (type == "ext" || type == "extension") return Flow::Goto(280);
        if (type == "prevdir" || type == "previousdir") return Flow::Goto(300);
        return Flow::Leave();
    });
    proc.Line(220, [&] {
        result = Left(FileName, S - 1);
        return Flow::Leave();
    });
    proc.IgnoreToEnd();
    proc.Line(240, [&] {
        result = Mid(FileName, S, N);
        return Flow::Leave();
    });
    proc.IgnoreToEnd();
    proc.Line(260, [&] {
        result = Mid(FileName, S);
        return Flow::Leave();
    });
    proc.IgnoreToEnd();
    proc.Line(280, [&] {
        result = Mid(FileName, E + 2);
        return Flow::Leave();
    });
    proc.IgnoreToEnd();
    // The parent folder: the last backslash before the last character.
    proc.Line(300, [&] { result.clear(); });
    proc.Line(310, [&] {
        i = L - 1;
        return i >= 1 ? Flow::Next() : Flow::Goto(370);
    });
    proc.Line(320, [&] { return at(i) == '\\' ? Flow::Next() : Flow::Goto(350); });
    proc.Line(330, [&] {
        result = Left(FileName, i);
        return Flow::Goto(370);
    });
    proc.IgnoreTo(370);
    proc.Line(350, [&] {
        --i;
        return i >= 1 ? Flow::Goto(320) : Flow::Next();
    });
    proc.Line(370, [&] { return result.empty() ? Flow::Next() : Flow::Leave(); });
    proc.Line(380, [&] { result = FileName; });
    proc.Run();
    return result;
}

}  // namespace common
