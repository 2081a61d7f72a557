// Contact-shaped 'roof' tables, as the served application keeps its
// contacts, for tests, benchmarks and the demo: 20 columns of every type
// mkmdb writes, Null in every column that can hold one, text in several
// scripts, control characters and a right-to-left override, memos in the
// row, on one long-value row and over 64 KB, and OLE Objects.
//
// A contact's values depend only on its ID (and on whether it is one of the
// `changed` ones), so that two databases written with overlapping IDs hold
// the same contacts where they overlap: a backup and the live database that
// came after it differ only in the contacts deleted (IDs below the live
// database's first), added (IDs past the backup's last) and changed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "mkmdb/mkmdb.h"

namespace mkmdb {

struct ContactList {
    std::size_t count = 0;         // rows, with the IDs first .. first + count - 1
    int32_t first = 1;
    std::set<int32_t> changed;     // IDs whose City, Phone, Notes and Modified differ
    std::size_t bigValues = 0;     // when not 0, the first contact's Notes and Photo: BigNotes and BigPhoto of this size
};

// The columns, in table order: ID, FirstName, LastName, Company, Title,
// Street, City, PostalCode, Country, Phone, Email (Text), Birthday, Created,
// Modified (DateTime), Balance (Currency), Rating (Double), Visits (Long),
// Active (Yes/No), Notes (Memo), Photo (OLE Object).
Table ContactsTable(const ContactList& contacts);

// The values of the contact with this ID, one per column of ContactsTable.
Row Contact(int32_t id, bool changed);

// A memo of exactly `bytes` bytes of UTF-8: numbered lines, so that any
// stretch of a line or more is found only where it is, with characters of
// two and three bytes (a U+FEFF among them), then 'x' up to the size.
std::string BigNotes(std::size_t bytes);

// An OLE Object of `bytes` bytes, every byte value among them.
Bytes BigPhoto(int32_t id, std::size_t bytes);

}  // namespace mkmdb
