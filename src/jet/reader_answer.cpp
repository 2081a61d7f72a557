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

}  // namespace

bool Decode(const std::string& data, Frames& out) {
    reader::Cursor all(data.data(), data.size());
    bool haveColumns = false;
    while (!all.done()) {
        char tag = static_cast<char>(all.U8());
        std::string raw = all.Bytes(all.U32());
        if (!all.ok()) return false;
        reader::Cursor p(raw.data(), raw.size());
        if (out.ended || out.failed || out.sandbox) return false;  // nothing may follow the end
        switch (tag) {
        case 'C': {
            if (haveColumns) return false;
            uint32_t n = p.U32();
            if (!p.ok() || n > raw.size()) return false;
            for (uint32_t i = 0; i < n; ++i) out.result.columns.push_back(p.Text());
            haveColumns = true;
            break;
        }
        case 'R': {
            if (!haveColumns) return false;
            std::vector<ports::Value> row;
            if (!DecodeRow(p, out.result.columns.size(), row)) return false;
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
        if (tag == 'E' || tag == 'Z' || tag == 'S') return scanned;
    }
    return 0;
}

}  // namespace jet::reader
