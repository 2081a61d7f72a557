// How the command line prints a listing (--list, --versions): as a table
// with the window's columns, or as JSON, one object per row.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// One row of a listing, as printed.
struct Listed {
    std::string edition;             // "Business", "Personal"
    std::string caption;             // "(Current)", "Backup 2", "bsrv.3"
    std::optional<int32_t> records;  // none: the file cannot be read
    std::string error;               // why, when it cannot be read
    std::string date;                // in the user's locale, as the window shows it
    std::string size;                // "12 KB"; --versions only
    std::string file;                // the path on this machine
    std::string modified;            // ISO 8601 with the UTC offset; empty when unknown
    // --versions only: the copy's number, and when it was set aside (ISO
    // 8601 with the UTC offset, empty when not recorded; as the window
    // shows it in setAsideDate).
    std::optional<long long> number = std::nullopt;
    std::optional<std::string> setAside = std::nullopt;
    std::string setAsideDate = {};
    // A version of the history store (its number; caption "@N", set aside
    // when it was taken), else a numbered copy.
    std::optional<int64_t> version = std::nullopt;
    std::string sameAs = {};  // --versions only: a copy listed before that holds the same data
};

// How a row of --versions came to be.
inline constexpr const char* kSetAsideByRestore = "set aside by Restore";
inline constexpr const char* kKeptAutomatically = "kept automatically";

// The file's time of last modification in local time, ISO 8601 with its
// UTC offset ("2026-03-02T09:41:12+01:00"); empty when it has none.
std::string ModifiedOf(const std::string& hostPath);
// A time in seconds since 1970 UTC, as ModifiedOf writes it.
std::string IsoOf(int64_t seconds);

// The table: a header line, then one line per row, columns aligned.
// versions: the Previous Versions columns (Name, Records, FileDate, Size,
// Set Aside, Kept: how it came to be, Same Data), else the catalogue's
// (Database, Version, Records, FileDate).
std::string TableText(const std::vector<Listed>& rows, bool versions);

// An array of objects with the keys edition, caption, records (null when
// the file cannot be read, with error beside it), modified (null when
// unknown), file and, for a path that is not UTF-8, file_base64; a copy of
// --versions adds number, set_aside (null when not recorded) and same_as
// (the name of a copy listed before that holds the same data, or null). Valid
// JSON whatever the bytes of the texts: what is not UTF-8 is U+FFFD.
std::string JsonText(const std::vector<Listed>& rows);

}  // namespace cli
