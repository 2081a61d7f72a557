// How the reader child's parts fail a request: a Failure carries the Jet
// error number and description that the answer's 'E' frame reports.
// Damaged() is the one way to say that the file is not a Jet database the
// reader can trust libmdb with (3343); `why` says which check failed.
#pragma once

#include <string>

#include "vb/error.h"

namespace jet::reader {

inline constexpr int kTooFewParameters = 3061;
inline constexpr int kTypeMismatch = 3464;
// A value longer than the reader may hold within its memory cap.
inline constexpr int kSystemResourceExceeded = 3035;

struct Failure {
    int number;
    std::string description;
};

[[noreturn]] inline void Damaged(const std::string& why) { throw Failure{vb::kUnrecognizedFormat, why}; }

}  // namespace jet::reader
