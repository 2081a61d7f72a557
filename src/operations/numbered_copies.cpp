#include "operations/numbered_copies.h"

#include <algorithm>

#include "common/parsedir.h"
#include "vb/casefold.h"

namespace operations {

namespace {

constexpr std::string_view kStem = "bsrv.";
constexpr size_t kMostDigits = 18;  // kLastCopyNumber's

// n written in decimal digits without leading zeros, from 1 to the limit.
long long NumberOf(std::string_view digits) {
    if (digits.empty() || digits.size() > kMostDigits || digits[0] == '0') return 0;
    long long n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + (c - '0');
    }
    return n;
}

}  // namespace

long long NumberOfCopy(std::string_view Name) {
    if (!vb::StartsWithIgnoringCase(Name, kStem)) return 0;
    return NumberOf(Name.substr(kStem.size()));
}

std::string NumberedCopyName(long long Number) { return std::string(kStem) + std::to_string(Number); }

long long CopyNumberOf(std::string_view Text) {
    const size_t first = Text.find_first_not_of('0');
    return first == std::string_view::npos ? 0 : NumberOf(Text.substr(first));
}

std::vector<NumberedCopyFile> ListNumberedCopies(common::Services& sys, const std::string& LivePath) {
    const std::string folder = common::ParseDir(sys, LivePath, "dir");
    std::vector<NumberedCopyFile> copies;
    for (const std::string& name : sys.files.FilesIn(folder))
        if (const long long number = NumberOfCopy(name)) copies.push_back({number, name, folder + name});
    std::sort(copies.begin(), copies.end(), [](const NumberedCopyFile& a, const NumberedCopyFile& b) {
        return a.number != b.number ? a.number < b.number : a.name < b.name;
    });
    return copies;
}

std::optional<NumberedCopyFile> NextFreeCopy(common::Services& sys, const std::string& LivePath, long long From) {
    const std::string folder = common::ParseDir(sys, LivePath, "dir");
    for (long long n = std::max(From, 1LL); n <= kLastCopyNumber; ++n) {
        NumberedCopyFile copy{n, NumberedCopyName(n), folder + NumberedCopyName(n)};
        if (sys.files.Dir(copy.path).empty()) return copy;
    }
    return std::nullopt;
}

}  // namespace operations
