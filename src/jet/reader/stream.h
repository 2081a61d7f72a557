// A table's rows sent in batches ('T' and 'N' requests, reader_protocol.h):
// the file and the table stay open between batches, and each batch is
// bounded in rows and bytes, so that the reader's memory, and the answer
// the window reads at once, stay the size of one batch whatever the
// table's size.
//
// With a text to find, a row is sent only when one of its Text or Memo
// columns contains the text without regard to case (vb/casefold.h); only
// those columns are converted to decide, and only a matching row's other
// values are converted at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "vb/casefold.h"
#include "jet/reader/long_values.h"
#include "jet/reader/tables.h"
#include "jet/reader/values.h"

namespace jet::reader {

class TableStream {
public:
    // Opens `table` of the file at `path` (as Reader) and sends the 'H' frame.
    TableStream(const std::string& path, const std::string& table, const std::string& find, Output& out,
                Noise& noise, size_t valueBytes);

    // Sends the next batch: at most `rows` rows, ending after the row that
    // takes it past `bytes` or after 20,000 rows looked at, then 'B', or 'Z' after the table's last row
    // (then the stream has ended). A long value that would take a row's
    // frame past `rowBytes` goes before it in pieces, which count towards
    // `bytes`; a damaged row fails with 3343, naming the row and its page.
    void Batch(uint32_t rows, uint32_t bytes, uint32_t rowBytes);
    bool Ended() const { return ended_; }

private:
    bool Wanted(ValueSource& source);
    bool FoundInParts(LongValue& value);

    Reader reader_;
    Output& out_;
    TablePtr table_;
    std::vector<MdbField> fields_;
    std::vector<bool> isText_;  // by column number: Text or Memo
    vb::TextFinder find_;
    size_t findChars_;  // characters of the text to find
    bool findAll_;
    size_t valueBytes_;
    bool ended_ = false;
};

}  // namespace jet::reader
