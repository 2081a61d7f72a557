// Visual Basic's conversions of a database field's value, as the procedures
// use them: `value & ""` for text and CLng for a 32-bit count.
#pragma once

#include <cstdint>
#include <string>

#include "ports/database.h"

namespace common {

// Null gives the empty text; numbers their decimal text; dates a fixed form.
std::string TextOf(const ports::Value& value);

// CLng: rounds half to even; 94 "Invalid use of Null", 6 "Overflow" outside
// the 32-bit range, 13 "Type mismatch" for text that is not a number.
int32_t CLng(const ports::Value& value);

// Trim$: removes leading and trailing spaces (only spaces).
std::string Trim(const std::string& text);

}  // namespace common
