// Previous Versions: the numbered copies that Restore, Create Blank and Put
// Back keep beside a live database (bsrv.1, bsrv.2, ...), and what the user
// can do with one of them: put it back as the live database, or move it to
// the trash. Nothing here deletes a file.
//
// The window's Previous Versions dialog and the command line both drive
// these procedures: the listing fills any ports::ListView, and every
// question and message goes through the message box of the services.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/form1.h"
#include "operations/commands.h"
#include "operations/numbered_copies.h"
#include "common/services.h"
#include "ports/listview.h"
#include "vb/datetime.h"
#include "vb/error.h"

namespace operations {

// The module the listing's error reports name.
inline constexpr const char* kVersionsModule = "frmVersions";
// The set-aside column of a copy the index does not know (setaside_index.h).
inline constexpr const char* kNotRecorded = "not recorded";

struct PreviousVersion {
    std::string name;                // "bsrv.3", as the folder spells it
    std::string path;                // the live database's folder and the name
    long long number = 0;            // 3
    std::optional<int32_t> records;  // rows of roof; none when it cannot be read
    std::optional<vb::Error> error;  // why it cannot be read
    vb::DateTime modified;
    int64_t size = 0;                // bytes
    // When it was set aside, in seconds since 1970 UTC, and its place in
    // the order of set-asides: none where the index does not know it.
    std::optional<int64_t> setAside;
    long long order = 0;
    // The copy listed before this one that holds the same data, where
    // MarkSameCopies found one: "bsrv.3". Empty otherwise.
    std::string sameAs;
};

// The numbered copies in the folder of LivePath, as the existence test sees
// the folder (hidden and system files do not count), in the order they
// were set aside, the last first, as the index beside them records it
// (setaside_index.h); after those, the copies the index does not know,
// newest file date first and, on one date, the higher number first.
std::vector<PreviousVersion> FindPreviousVersions(common::Services& sys, const std::string& LivePath);

// Marks each of Versions that holds the same data as one listed before it
// (the same size, then the same digest of the whole file, Files::
// ContentDigest) with the first such one's name, so that copies kept twice
// are told apart from copies that differ. Only copies that share a size
// are read; one whose digest cannot be had is left unmarked.
void MarkSameCopies(common::Services& sys, std::vector<PreviousVersion>& Versions);

// Empties List and fills it with the numbered copies of LivePath: columns
// "Name", "Records" (the count, or "cannot be read"), "FileDate" (in the
// user's locale), "Size" ("12 KB"), "Set Aside" (in the user's locale,
// or "not recorded") and "Same Data" ("same as bsrv.3", MarkSameCopies);
// each row's Tag is the copy's path.
void LoadPreviousVersions(common::Services& sys, ports::ListView& List, const std::string& LivePath);

// "12 KB": the size in kilobytes, rounded up, as file managers show it.
std::string SizeText(int64_t bytes);

// The dialog's Put Back: a copy that cannot be read is refused with the
// reason, before anything is asked or moved. Else the command (commands.h)
// asks Yes / No, naming the copy and the live database; only Yes goes on. Then the live database is
// kept as the next numbered copy and CopyPath's data takes its place, by
// the path Restore takes (setaside.h), with Restore's messages; the chosen
// copy stays where it is. The catalogue of form is rebuilt afterwards. True
// when the copy's data is in place.
bool PutBack(catalogue::Form1& form, const std::string& LivePath, const std::string& CopyPath);

// Move to Trash: asks Yes / No; only Yes moves CopyPath, a numbered copy of
// the live database at LivePath, to the user's trash, under the lock of
// their folder (as the commands hold it, setaside.h). A failure is told in
// a message. True when the copy was moved.
bool MoveVersionToTrash(common::Services& sys, const std::string& LivePath, const std::string& CopyPath);

}  // namespace operations
