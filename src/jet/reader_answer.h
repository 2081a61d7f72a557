// The reader's answer as the window's side decodes it (reader_protocol.h):
// where it ends in what has arrived, and its frames, each checked against
// the sizes it announces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "jet/reader_client.h"

namespace jet::reader {

// The long values of an answer that came in 'V' frames, each kept with the
// row it belongs to (the number of 'R' frames before it) and its slot.
struct Pieces {
    struct Value {
        size_t row = 0;
        uint32_t slot = 0;
        std::string bytes;
        size_t usedAt = SIZE_MAX;  // the row's column that took the bytes
    };
    std::vector<Value> values;
    size_t rows = 0;      // 'R' frames seen so far
    uint64_t bytes = 0;   // all pieces' bytes, and the bytes 'P' frames said were read
    bool wrong = false;   // a piece frame was not well formed
};

struct Frames {
    bool ended = false;
    uint32_t endCount = 0;
    bool failed = false;
    int32_t number = 0;
    std::string description;
    bool sandbox = false;
    SandboxReport report;
    ReaderResult result;
    // A table's stream: its head ('H'), and a batch that more follow ('B').
    bool head = false;
    TableHead table;
    bool batch = false;
    uint32_t batchCount = 0;
    // A whole-file check: its findings ('F'), and a batch that more
    // follow ('W': findings in it, work done, work in all).
    std::vector<ports::Finding> findings;
    bool checkBatch = false;
    uint64_t done = 0, total = 0;
    // A page search: where its table's structure lies and its data pages
    // ('L'), and each page searched ('D': the rows before it, in result.rows,
    // are its and the earlier pages').
    bool layout = false;
    std::string decoding;
    std::vector<uint32_t> structure, dataPages;
    struct PageDone {
        size_t rowsEnd = 0;
        int32_t number = 0;  // 0: the page was read whole
        std::string description;
        std::vector<uint32_t> read, rows;
    };
    std::vector<PageDone> pagesDone;
    Pieces pieces;  // filled by AnswerEnd, taken by Decode
};

// Decodes one answer, its long values from `out.pieces`; false when it is
// not well formed (a piece that no row takes included). `columns` is the
// number of columns of a stream whose next batch this is (its rows come
// without a head); 0 for the first answer of a request.
bool Decode(const std::string& data, Frames& out, size_t columns = 0);

// Where the answer in `data` ends: the offset just past its last frame ('E',
// 'Z', 'B', 'W' or 'S'), 0 while it is incomplete, SIZE_MAX when a frame
// announces more than `cap` bytes or a piece is not well formed (pieces.wrong). Each
// whole 'V' frame is moved from `data` to `pieces` as it comes, and each
// 'P' frame counted there and dropped, so that neither counts against
// `cap`. `scanned` keeps how far earlier calls have looked.
size_t AnswerEnd(std::string& data, size_t& scanned, uint64_t cap, Pieces& pieces);

}  // namespace jet::reader

namespace jet {

// One answer of the reader, decoded (reader_client.cpp, reader_stream.cpp).
struct ReaderProcess::Answer {
    reader::Frames frames;
};

}  // namespace jet
