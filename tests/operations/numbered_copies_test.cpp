// The name of a numbered copy and its number.
#include <gtest/gtest.h>

#include "operations/numbered_copies.h"

namespace {

TEST(NumberOfCopy, OnlyTheNamesRenameDatabaseGives) {
    const struct {
        const char* name;
        long long number;
    } rows[] = {
        {"bsrv.1", 1},        {"BSRV.12", 12},   {"Bsrv.100", 100},          {"bsrv.123456789012345678", 123456789012345678},
        {"bsrv.mdb", 0},      {"bsrv.0", 0},     {"bsrv.01", 0},             {"bsrv.", 0},
        {"bsrv.1a", 0},       {"bsrv.-1", 0},    {"xbsrv.1", 0},             {"bsrv.1234567890123456789", 0},
        {"bsrv1", 0},         {"bsrv.+1", 0},    {"Backup1.rv", 0},          {"bsrv.1 ", 0},
    };
    for (const auto& row : rows) EXPECT_EQ(operations::NumberOfCopy(row.name), row.number) << row.name;
}

}  // namespace
