#include "jet/reader_answer.h"

#include "vb/datetime.h"

namespace jet::reader {
namespace {

// The value of column `column` of row `rowIndex` sent in pieces under
// `slot`, `length` bytes: moved from the pieces, or copied from the column
// that took them when a row names one slot twice (a SELECT of one column
// twice). False when no such pieces came or they hold another length.
bool TakePieces(Pieces& pieces, size_t rowIndex, uint32_t slot, uint64_t length, bool text,
                std::vector<ports::Value>& row) {
    for (Pieces::Value& v : pieces.values) {
        if (v.row != rowIndex || v.slot != slot) continue;
        if (v.usedAt != SIZE_MAX) {
            if (v.usedAt >= row.size()) return false;
            row.push_back(row[v.usedAt]);
            return true;
        }
        if (v.bytes.size() != length) return false;
        v.usedAt = row.size();
        if (text) row.emplace_back(std::move(v.bytes));
        else row.emplace_back(ports::Bytes{std::move(v.bytes)});
        return true;
    }
    if (length != 0) return false;  // a value of no bytes comes without pieces
    if (text) row.emplace_back(std::string());
    else row.emplace_back(ports::Bytes{});
    return true;
}

bool DecodeRow(reader::Cursor& p, size_t columns, Pieces& pieces, size_t rowIndex, std::vector<ports::Value>& row) {
    using reader::Kind;
    row.reserve(columns);
    for (size_t i = 0; i < columns; ++i) {
        const auto kind = static_cast<Kind>(p.U8());
        switch (kind) {
        case Kind::TextPieces:
        case Kind::BytesPieces: {
            const uint32_t slot = p.U32();
            const uint64_t length = p.U64();
            if (!p.ok() || !TakePieces(pieces, rowIndex, slot, length, kind == Kind::TextPieces, row)) return false;
            break;
        }
        case Kind::Null: row.emplace_back(ports::Null{}); break;
        case Kind::Int: row.emplace_back(static_cast<int64_t>(p.U64())); break;
        case Kind::Double: row.emplace_back(reader::BitsDouble(p.U64())); break;
        case Kind::Text: row.emplace_back(p.Text()); break;
        case Kind::Currency: row.emplace_back(ports::Currency{static_cast<int64_t>(p.U64())}); break;
        case Kind::YesNo: {
            const uint8_t b = p.U8();
            if (b > 1) return false;
            row.emplace_back(ports::YesNo{b == 1});
            break;
        }
        case Kind::Bytes: row.emplace_back(ports::Bytes{p.Text()}); break;
        case Kind::Date: {
            vb::DateTime d;
            d.year = static_cast<int32_t>(p.U32());
            d.month = static_cast<int32_t>(p.U32());
            d.day = static_cast<int32_t>(p.U32());
            d.hour = static_cast<int32_t>(p.U32());
            d.minute = static_cast<int32_t>(p.U32());
            d.second = static_cast<int32_t>(p.U32());
            row.emplace_back(d);
            break;
        }
        default: return false;
        }
    }
    return true;
}

// The Jet types a stream reports as themselves; any other is Other.
ports::ColumnType TypeOf(uint8_t jet) {
    switch (jet) {
    case 1: case 2: case 3: case 4: case 5: case 6: case 7: case 8: case 9: case 10: case 11: case 12: case 15:
    case 16: return static_cast<ports::ColumnType>(jet);
    default: return ports::ColumnType::Other;
    }
}

}  // namespace

bool Decode(const std::string& data, Frames& out, size_t columns) {
    reader::Cursor all(data.data(), data.size());
    bool haveColumns = columns > 0;
    size_t width = columns, rows = 0;
    while (!all.done()) {
        char tag = static_cast<char>(all.U8());
        std::string raw = all.Bytes(all.U32());
        if (!all.ok()) return false;
        reader::Cursor p(raw.data(), raw.size());
        if (out.ended || out.failed || out.sandbox || out.batch || out.checkBatch) return false;  // nothing may follow the end
        switch (tag) {
        case 'C': {
            if (haveColumns) return false;
            uint32_t n = p.U32();
            if (!p.ok() || n > raw.size()) return false;
            for (uint32_t i = 0; i < n; ++i) out.result.columns.push_back(p.Text());
            haveColumns = true;
            width = n;
            break;
        }
        case 'H': {
            if (haveColumns) return false;
            uint32_t n = p.U32();
            if (!p.ok() || n == 0 || n > raw.size()) return false;
            for (uint32_t i = 0; i < n; ++i) {
                std::string name = p.Text();
                out.table.columns.push_back({std::move(name), TypeOf(p.U8())});
            }
            uint32_t keys = p.U32();
            if (!p.ok() || keys > n) return false;
            for (uint32_t i = 0; i < keys; ++i) {
                uint32_t k = p.U32();
                if (k >= n) return false;
                out.table.primaryKey.push_back(out.table.columns[k].name);
            }
            out.table.storedRows = p.U32();
            out.head = haveColumns = true;
            width = n;
            break;
        }
        case 'R': {
            if (!haveColumns) return false;
            std::vector<ports::Value> row;
            if (!DecodeRow(p, width, out.pieces, rows++, row)) return false;
            out.result.rows.push_back(std::move(row));
            break;
        }
        case 'L': {
            if (out.layout) return false;
            out.layout = true;
            out.decoding = p.Text();
            for (std::vector<uint32_t>* list : {&out.structure, &out.dataPages}) {
                const uint32_t n = p.U32();
                if (!p.ok() || n > raw.size() / 4) return false;
                for (uint32_t i = 0; i < n; ++i) list->push_back(p.U32());
            }
            break;
        }
        case 'D': {
            const size_t before = out.pagesDone.empty() ? 0 : out.pagesDone.back().rowsEnd;
            Frames::PageDone done;
            done.rowsEnd = out.result.rows.size();
            if (p.U32() != done.rowsEnd - before) return false;
            done.number = static_cast<int32_t>(p.U32());
            done.description = p.Text();
            const uint32_t n = p.U32();
            if (!p.ok() || n > raw.size() / 4) return false;
            for (uint32_t i = 0; i < n; ++i) done.read.push_back(p.U32());
            const uint32_t rows = p.U32();
            if (!p.ok() || rows > raw.size() / 4) return false;
            for (uint32_t i = 0; i < rows; ++i) done.rows.push_back(p.U32());
            out.pagesDone.push_back(std::move(done));
            break;
        }
        case 'E':
            out.failed = true;
            out.number = static_cast<int32_t>(p.U32());
            out.description = p.Text();
            break;
        case 'Z':
            out.ended = true;
            out.endCount = p.U32();
            break;
        case 'B':
            out.batch = true;
            out.batchCount = p.U32();
            break;
        case 'F': {
            ports::Finding f;
            const uint8_t severity = p.U8();
            if (severity > 2) return false;
            f.severity = static_cast<ports::Severity>(severity);
            f.what = p.Text();
            f.table = p.Text();
            const uint32_t page = p.U32(), row = p.U32();
            if (page != reader::kNoPlace) f.page = page;
            if (row != reader::kNoPlace) f.row = row;
            out.findings.push_back(std::move(f));
            break;
        }
        case 'W':
            out.checkBatch = true;
            out.batchCount = p.U32();
            out.done = p.U64();
            out.total = p.U64();
            break;
        case 'S': {
            out.sandbox = true;
            out.report.bits = p.U32();
            out.report.landlockAbi = p.U32();
            uint32_t n = p.U32();
            if (!p.ok() || n > raw.size()) return false;
            for (uint32_t i = 0; i < n; ++i) {
                auto attempt = static_cast<reader::Attempt>(p.U8());
                bool refused = p.U8() != 0;
                out.report.outcomes.push_back({attempt, refused, static_cast<int>(p.U32())});
            }
            break;
        }
        default: return false;
        }
        if (!p.ok() || !p.done()) return false;
    }
    // Every piece belongs to a row, unless the answer failed on its row.
    if (!out.failed)
        for (const Pieces::Value& v : out.pieces.values)
            if (v.usedAt == SIZE_MAX) return false;
    out.pieces = {};
    return true;
}

size_t AnswerEnd(std::string& data, size_t& scanned, uint64_t cap, Pieces& pieces) {
    while (data.size() - scanned >= 5) {
        reader::Cursor head(data.data() + scanned + 1, 4);
        const uint32_t length = head.U32();
        const char tag = data[scanned];
        if (tag == 'P') {
            if (length != 4) {
                pieces.wrong = true;
                return SIZE_MAX;
            }
            if (data.size() - scanned - 5 < length) return 0;
            reader::Cursor read(data.data() + scanned + 5, 4);
            pieces.bytes += read.U32();
            if (pieces.bytes > reader::kMostPiecesBytes) {
                pieces.wrong = true;
                return SIZE_MAX;
            }
            data.erase(scanned, 9);
            continue;
        }
        if (tag == 'V') {
            if (length < 4 || length > 4 + reader::kMostPieceBytes) {
                pieces.wrong = true;
                return SIZE_MAX;
            }
            if (data.size() - scanned - 5 < length) return 0;
            reader::Cursor slot(data.data() + scanned + 5, 4);
            const uint32_t s = slot.U32();
            if (pieces.values.empty() || pieces.values.back().row != pieces.rows || pieces.values.back().slot != s) {
                for (const Pieces::Value& v : pieces.values)
                    if (v.row == pieces.rows && v.slot == s) {  // a slot's pieces come one after another
                        pieces.wrong = true;
                        return SIZE_MAX;
                    }
                pieces.values.push_back({pieces.rows, s, {}});
            }
            pieces.values.back().bytes.append(data, scanned + 9, length - 4);
            pieces.bytes += length - 4;
            if (pieces.bytes > reader::kMostPiecesBytes) {
                pieces.wrong = true;
                return SIZE_MAX;
            }
            data.erase(scanned, 5 + size_t{length});
            continue;
        }
        uint64_t end = scanned + 5 + uint64_t{length};
        if (end > cap) return SIZE_MAX;
        if (end > data.size()) return 0;
        scanned = static_cast<size_t>(end);
        if (tag == 'R') ++pieces.rows;
        if (tag == 'E' || tag == 'Z' || tag == 'S' || tag == 'B' || tag == 'W') return scanned;
    }
    return 0;
}

}  // namespace jet::reader
