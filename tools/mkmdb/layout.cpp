#include "mkmdb/layout.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <variant>

#include "mkmdb/format.h"
#include "mkmdb/pages.h"
#include "vb/casefold.h"

namespace mkmdb::detail {
namespace {

void CheckName(const std::string& name, const std::string& what) {
    const std::size_t n = Utf16Length(name);
    if (n == 0 || n > 64) throw std::runtime_error(what + " name must be 1 to 64 characters: '" + name + "'");
}

TableLayout MakeLayout(std::string name, bool system, std::vector<ColumnLayout> cols) {
    TableLayout t;
    t.name = std::move(name);
    t.system = system;
    uint16_t var_count = 0;
    uint32_t fixed = 0;
    for (auto& c : cols) {
        if (!c.deleted) ++t.live;
        if (c.fixed) {
            c.fixed_offset = static_cast<uint16_t>(fixed);
            c.var_index = var_count;
            fixed += c.length;
        } else {
            c.var_index = var_count++;
        }
    }
    t.fixed_size = static_cast<uint16_t>(fixed);
    t.num_var = var_count;
    t.columns = std::move(cols);
    return t;
}

}  // namespace

TableLayout CatalogLayout() {
    auto fixed = [](const char* n, uint8_t type, uint16_t len) {
        ColumnLayout c;
        c.name = n, c.type = type, c.length = len, c.fixed = true;
        return c;
    };
    auto var = [](const char* n, uint8_t type, uint16_t len) {
        ColumnLayout c;
        c.name = n, c.type = type, c.length = len, c.fixed = false, c.max_units = len / 2;
        return c;
    };
    return MakeLayout("MSysObjects", true,
                      {fixed("Id", kTypeLong, 4), fixed("ParentId", kTypeLong, 4), var("Name", kTypeText, 510),
                       fixed("Type", kTypeInteger, 2), fixed("Flags", kTypeLong, 4), var("LvProp", kTypeOle, 0)});
}

TableLayout UserLayout(const Table& table) {
    CheckName(table.name, "table");
    if (vb::EqualsIgnoringCase(table.name, "MSysObjects")) throw std::runtime_error("table name MSysObjects is reserved");
    if (table.columns.size() > 255) throw std::runtime_error("table '" + table.name + "' has more than 255 columns");
    std::vector<ColumnLayout> cols;
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
        const Column& src = table.columns[i];
        if (!src.deleted) {
            CheckName(src.name, "column");
            for (std::size_t j = 0; j < i; ++j)
                if (!table.columns[j].deleted && vb::EqualsIgnoringCase(src.name, table.columns[j].name))
                    throw std::runtime_error("table '" + table.name + "' has two columns named '" + src.name + "'");
        }
        ColumnLayout c;
        c.name = src.name;
        c.deleted = src.deleted;
        switch (src.type) {
            case ColumnType::Long: c.type = kTypeLong, c.length = 4, c.fixed = true; break;
            case ColumnType::DateTime: c.type = kTypeDateTime, c.length = 8, c.fixed = true; break;
            case ColumnType::Text:
                if (src.text_length < 1 || src.text_length > 255)
                    throw std::runtime_error("text column '" + src.name + "' must be 1 to 255 characters long");
                c.type = kTypeText;
                c.length = static_cast<uint16_t>(2 * src.text_length);
                c.max_units = static_cast<std::size_t>(src.text_length);
                break;
            case ColumnType::Memo: c.type = kTypeMemo, c.length = 0; break;
            case ColumnType::Ole: c.type = kTypeOle, c.length = 0; break;
            case ColumnType::Currency: c.type = kTypeMoney, c.length = 8, c.fixed = true; break;
            case ColumnType::Double: c.type = kTypeDouble, c.length = 8, c.fixed = true; break;
            // Its value is the row's null-mask bit; it takes no room in the row.
            case ColumnType::YesNo: c.type = kTypeBool, c.length = 0, c.fixed = true; break;
        }
        cols.push_back(std::move(c));
    }
    TableLayout t = MakeLayout(table.name, false, std::move(cols));
    if (t.live == 0) throw std::runtime_error("table '" + table.name + "' has no columns");
    return t;
}

std::vector<uint8_t> TdefStream(const TableLayout& t) {
    std::vector<uint8_t> b(kTdefHeader + kColumnEntry * t.live, 0);
    b[0] = 0x02;
    b[1] = 0x01;
    Put32(&b[0x10], static_cast<uint32_t>(std::min<uint64_t>(t.num_rows, UINT32_MAX)));
    b[0x28] = t.system ? 0x53 : 0x4E;
    // Slots, variable slots and live columns: a deleted column keeps its
    // slot in the first two counts, as Jet leaves them until a compaction.
    Put16(&b[0x29], static_cast<uint32_t>(t.columns.size()));
    Put16(&b[0x2B], t.num_var);
    Put16(&b[0x2D], t.live);
    Put32(&b[0x2F], 0);  // logical indexes
    Put32(&b[0x33], 0);  // real indexes
    Put32(&b[0x37], t.map_pg_row);
    Put32(&b[0x3B], t.map_pg_row);  // free-space map: readers only resolve it; the usage map serves
    std::size_t entry = 0;
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
        const ColumnLayout& c = t.columns[i];
        if (c.deleted) continue;
        uint8_t* e = &b[kTdefHeader + kColumnEntry * entry++];
        e[0] = c.type;
        Put16(e + 5, static_cast<uint32_t>(i));
        Put16(e + 7, c.var_index);
        Put16(e + 9, static_cast<uint32_t>(i));
        if (c.type == kTypeText) Put16(e + 11, 0x0409);  // General sort order
        e[15] = c.fixed ? 0x03 : 0x02;                    // fixed length / nullable
        e[16] = 0;  // text is stored as plain UCS-2, never compressed
        Put16(e + 21, c.fixed ? c.fixed_offset : 0);
        Put16(e + 23, c.length);
    }
    for (const ColumnLayout& c : t.columns) {
        if (c.deleted) continue;
        const std::size_t at = b.size();
        b.resize(at + 2);
        DecodeUtf8(c.name, [&](char16_t u) {
            b.push_back(static_cast<uint8_t>(u));
            b.push_back(static_cast<uint8_t>(u >> 8));
        });
        Put16(&b[at], static_cast<uint32_t>(b.size() - at - 2));
    }
    b.push_back(0xFF);  // end of the list of columns with their own usage maps
    b.push_back(0xFF);
    Put32(&b[0x08], static_cast<uint32_t>(b.size()));
    return b;
}

uint32_t TdefPageCount(std::size_t stream_len) {
    if (stream_len <= kPage) return 1;
    return 1 + static_cast<uint32_t>((stream_len - kPage + (kPage - 8) - 1) / (kPage - 8));
}

std::size_t EncodeRow(const TableLayout& t, const Row& row, uint8_t* out, const char* where,
                      LongValuePages* long_values) {
    const std::size_t ncols = t.columns.size();
    if (row.size() != ncols)
        throw std::runtime_error(std::string(where) + ": row has " + std::to_string(row.size()) + " values, table has " +
                                 std::to_string(ncols) + " columns");
    const std::size_t mask_bytes = (ncols + 7) / 8;
    std::array<uint16_t, 256> var_start{};
    uint8_t mask[32] = {};
    Put16(out, static_cast<uint32_t>(ncols));
    std::memset(out + 2, 0, t.fixed_size);
    std::size_t pos = 2 + t.fixed_size;
    const std::size_t var_tail = t.num_var ? 4 + 2 * std::size_t(t.num_var) : 0;
    const std::size_t limit = kMaxRowBytes - var_tail - mask_bytes;  // room for fixed + variable data

    auto mismatch = [&](const ColumnLayout& c) {
        return std::runtime_error(std::string(where) + ": value of the wrong type for column '" + c.name + "'");
    };
    for (std::size_t i = 0; i < ncols; ++i) {
        const ColumnLayout& c = t.columns[i];
        const Value& v = row[i];
        if (!c.fixed) var_start[c.var_index] = static_cast<uint16_t>(pos);
        if (std::holds_alternative<std::monostate>(v)) continue;
        if (c.type == kTypeBool) {
            const bool* x = std::get_if<bool>(&v);
            if (!x) throw mismatch(c);
            if (*x) mask[i / 8] |= static_cast<uint8_t>(1u << (i % 8));
            continue;
        }
        mask[i / 8] |= static_cast<uint8_t>(1u << (i % 8));
        switch (c.type) {
            case kTypeLong:
            case kTypeInteger: {
                const int32_t* x = std::get_if<int32_t>(&v);
                if (!x) throw mismatch(c);
                if (c.type == kTypeLong)
                    Put32(out + 2 + c.fixed_offset, static_cast<uint32_t>(*x));
                else
                    Put16(out + 2 + c.fixed_offset, static_cast<uint32_t>(*x));
                break;
            }
            case kTypeDateTime: {
                const DateTime* x = std::get_if<DateTime>(&v);
                if (!x) throw mismatch(c);
                PutDouble(out + 2 + c.fixed_offset, ToJetDate(*x));
                break;
            }
            case kTypeText: {
                const std::string* x = std::get_if<std::string>(&v);
                if (!x) throw mismatch(c);
                const std::size_t start = pos;
                DecodeUtf8(*x, [&](char16_t u) {
                    if (pos + 2 <= limit) Put16(out + pos, u);
                    pos += 2;
                });
                if ((pos - start) / 2 > c.max_units)
                    throw std::runtime_error(std::string(where) + ": text longer than column '" + c.name + "' allows (" +
                                             std::to_string(c.max_units) + ")");
                break;
            }
            case kTypeMoney: {
                const Currency* x = std::get_if<Currency>(&v);
                if (!x) throw mismatch(c);
                const auto u = static_cast<uint64_t>(x->scaled);
                Put32(out + 2 + c.fixed_offset, static_cast<uint32_t>(u));
                Put32(out + 2 + c.fixed_offset + 4, static_cast<uint32_t>(u >> 32));
                break;
            }
            case kTypeDouble: {
                const double* x = std::get_if<double>(&v);
                if (!x) throw mismatch(c);
                PutDouble(out + 2 + c.fixed_offset, *x);
                break;
            }
            case kTypeMemo:
            case kTypeOle: {
                std::vector<uint8_t> bytes;
                if (c.type == kTypeOle) {
                    const Bytes* x = std::get_if<Bytes>(&v);
                    if (!x) throw mismatch(c);
                    bytes.assign(x->data.begin(), x->data.end());
                } else {
                    const std::string* x = std::get_if<std::string>(&v);
                    if (!x) throw mismatch(c);
                    DecodeUtf8(*x, [&](char16_t u) {
                        bytes.push_back(static_cast<uint8_t>(u));
                        bytes.push_back(static_cast<uint8_t>(u >> 8));
                    });
                }
                if (bytes.size() > kLongValueMaxBytes)
                    throw std::runtime_error(std::string(where) + ": memo too long for column '" + c.name + "'");
                // Short memos stay in the row, after their header; longer
                // ones go to long-value pages, which the header names.
                const bool inline_here = bytes.size() <= kInlineMemoBytes || !long_values;
                const LongValueField field =
                    inline_here ? LongValueField::Inline(bytes.size()) : long_values->Store(bytes);
                if (pos + field.bytes.size() <= limit) std::memcpy(out + pos, field.bytes.data(), field.bytes.size());
                pos += field.bytes.size();
                if (inline_here) {
                    if (!bytes.empty() && pos + bytes.size() <= limit) std::memcpy(out + pos, bytes.data(), bytes.size());
                    pos += bytes.size();
                }
                break;
            }
            default: throw mismatch(c);
        }
    }
    if (pos > limit) throw std::runtime_error(std::string(where) + ": row too large for a page");
    if (t.num_var) {
        Put16(out + pos, static_cast<uint32_t>(pos));  // eod
        std::size_t p = pos + 2;
        for (std::size_t k = t.num_var; k-- > 0;) {
            Put16(out + p, var_start[k]);
            p += 2;
        }
        Put16(out + p, t.num_var);
        pos = p + 2;
    }
    std::memcpy(out + pos, mask, mask_bytes);
    return pos + mask_bytes;
}

}  // namespace mkmdb::detail
