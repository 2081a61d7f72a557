#include <gtest/gtest.h>

#include "posix/locale.h"

namespace {

TEST(PosixLocale, ShortDateAndLongTimeDateAloneAtMidnight) {
    posix::PosixLocale c("C");
    EXPECT_EQ(c.GeneralDate({2026, 12, 8, 4, 22, 56}), "12/08/26 04:22:56");
    EXPECT_EQ(c.GeneralDate({2026, 12, 8, 0, 0, 0}), "12/08/26");
    EXPECT_EQ(c.GeneralDate({2026, 12, 8, 0, 0, 1}), "12/08/26 00:00:01");
    // A locale that is not installed falls back to C.
    posix::PosixLocale missing("xx_NOWHERE.UTF-8");
    EXPECT_EQ(missing.GeneralDate({2001, 2, 3, 13, 4, 5}), "02/03/01 13:04:05");
}

}  // namespace
