#include "jet/reader_answer.h"

#include "vb/datetime.h"

namespace jet::reader {
namespace {

bool DecodeRow(reader::Cursor& p, size_t columns, std::vector<ports::Value>& row) {
    using reader::Kind;
    row.reserve(columns);
    for (size_t i = 0; i < columns; ++i) {
        switch (static_cast<Kind>(p.U8())) {
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
    size_t width = columns;
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
            out.head = haveColumns = true;
            width = n;
            break;
        }
        case 'R': {
            if (!haveColumns) return false;
            std::vector<ports::Value> row;
            if (!DecodeRow(p, width, row)) return false;
            out.result.rows.push_back(std::move(row));
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
    return true;
}

size_t AnswerEnd(const std::string& data, size_t& scanned, uint64_t cap) {
    while (data.size() - scanned >= 5) {
        reader::Cursor head(data.data() + scanned + 1, 4);
        uint64_t end = scanned + 5 + uint64_t{head.U32()};
        if (end > cap) return SIZE_MAX;
        if (end > data.size()) return 0;
        const char tag = data[scanned];
        scanned = static_cast<size_t>(end);
        if (tag == 'E' || tag == 'Z' || tag == 'S' || tag == 'B' || tag == 'W') return scanned;
    }
    return 0;
}

}  // namespace jet::reader
