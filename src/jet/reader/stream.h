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
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "vb/casefold.h"
#include "jet/reader/long_values.h"
#include "jet/reader/tables.h"
#include "jet/reader/values.h"

namespace jet::reader {

class TableStream {
public:
    // Opens `table` of the file at `path` (as Reader) and sends the 'H' frame.
    // With `versionPages`, a page search ('G', reader_protocol.h): the file
    // holds, in their places, the pages of a version of that many pages,
    // and after them pages of other versions; 'H' is followed by 'L', the
    // pages the table's structure was read from and its data pages in the
    // order a whole reading takes them.
    TableStream(const std::string& path, const std::string& table, const std::string& find, Output& out,
                Noise& noise, size_t valueBytes, uint32_t versionPages = 0);

    // One data page of one version: where the file holds it, its number in
    // the version, and where the file holds the version's pages that differ
    // from those in their places (the long values its rows name).
    struct PageTask {
        uint32_t filePage = 0, versionPage = 0;
        std::unordered_map<uint64_t, uint64_t> moved;
    };
    // A page search's next batch: for each task, its page's matching rows
    // as Batch sends them, then 'D' (its rows, its failure, the pages its
    // rows read); after the task that takes the batch past `bytes` or past
    // 20,000 rows looked at, 'B', else 'Z', each with the tasks done.
    void Pages(const std::vector<PageTask>& tasks, uint32_t bytes, uint32_t rowBytes);
    bool Paged() const { return view_.pages != 0; }

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
    std::optional<bool> FoundInUnits(LongValue& value);
    void SayRead(uint32_t& read);
    // Sends the row libmdb has just read when it is wanted: the bytes sent
    // (frame and pieces), 0 when it is not. A failure names the row and `page`.
    uint64_t Send(std::vector<Value>& values, size_t budget, uint32_t rowBytes, uint64_t page);

    RawFile::View view_;  // a page search's; before reader_, which reads through it
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
