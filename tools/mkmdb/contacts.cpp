#include "mkmdb/contacts.h"

#include <cstdio>
#include <string>

namespace mkmdb {
namespace {

// A well-mixed number from an ID and a salt, so that columns vary apart.
uint32_t Mix(int32_t id, uint32_t salt) {
    uint32_t x = static_cast<uint32_t>(id) * 0x9E3779B1u ^ salt * 0x85EBCA77u;
    x ^= x >> 15;
    x *= 0x2C1B3C6Du;
    x ^= x >> 12;
    return x;
}

template <std::size_t N>
const char* Pick(const char* const (&list)[N], int32_t id, uint32_t salt) {
    return list[Mix(id, salt) % N];
}

const char* const kFirst[] = {"Anna", "Jürgen", "Ólafur", "Zoë", "Björn", "Françoise", "Łukasz", "Мария", "Ahmed",
                              "Yuki", "Søren", "José", "Chloé", "Mehmet", "Ingrid", "Παύλος"};
const char* const kLast[] = {"Müller", "Schmidt", "O'Brien", "Nguyễn", "Åkesson", "García", "Kowalski",
                             "Иванова", "Smith", "Yamada", "Dubois", "Rossi", "Öztürk", "Ní Bhriain"};
const char* const kCompany[] = {"Acme Ltd", "Müller GmbH", "Ærø Fiskeri", "日本商事", "Bay & Co", "\"Quoted\" Inc.",
                                "Société Générale de Test", "شركة الاختبار"};
const char* const kCity[] = {"Berlin", "København", "Zürich", "Łódź", "Reykjavík", "東京", "São Paulo", "New York"};
const char* const kCountry[] = {"Germany", "Denmark", "Switzerland", "Poland", "Iceland", "Japan", "Brazil", "USA"};

DateTime Date(int32_t id, uint32_t salt, int firstYear, int years) {
    const uint32_t m = Mix(id, salt);
    return DateTime{firstYear + static_cast<int>(m % static_cast<uint32_t>(years)), 1 + static_cast<int>(m / 7 % 12),
                    1 + static_cast<int>(m / 101 % 28), static_cast<int>(m / 3 % 24), static_cast<int>(m / 11 % 60),
                    static_cast<int>(m / 13 % 60)};
}

// A small picture's worth of bytes, every byte value among them.
Bytes Photo(int32_t id, std::size_t size) {
    Bytes b;
    b.data = "BM";
    for (std::size_t i = 2; i < size; ++i) b.data.push_back(static_cast<char>(Mix(id, static_cast<uint32_t>(i)) & 0xff));
    return b;
}

}  // namespace

Row Contact(int32_t id, bool changed) {
    Row r(20);
    const std::string first = Pick(kFirst, id, 1), last = Pick(kLast, id, 2);
    r[0] = id;
    r[1] = first;
    r[2] = last;
    if (id % 10 != 0) r[3] = std::string(Pick(kCompany, id, 3));
    if (id % 97 == 0) r[4] = std::string("Dr.\tmed.\x01\x7f");           // control characters
    else if (id % 101 == 0) r[4] = std::string("\u202Eredaeh\u202C CEO");  // a right-to-left override
    else if (id % 3 == 0) r[4] = std::string("Sales Manager");
    r[5] = std::to_string(1 + Mix(id, 5) % 400) + " " + Pick(kLast, id, 6) + "straße";
    const std::size_t place = Mix(id, 7) % 8;
    r[6] = std::string(changed ? "Moved City" : kCity[place]);
    r[7] = std::to_string(10000 + Mix(id, 8) % 89999);
    r[8] = std::string(kCountry[place]);
    r[9] = "+" + std::to_string(10 + Mix(id, 9) % 80) + " " + std::to_string(Mix(id, changed ? 99 : 10) % 100000000);
    r[10] = "contact" + std::to_string(id) + "@example.org";
    if (id % 7 != 0) r[11] = Date(id, 11, 1930, 75);
    r[12] = Date(id, 12, 2000, 20);
    if (id % 13 != 0) r[13] = changed ? DateTime{2026, 3, 1, 12, 0, 0} : Date(id, 13, 2020, 5);
    if (id % 11 != 0) r[14] = Currency{static_cast<int64_t>(Mix(id, 14) % 20000000) - 5000000};
    if (id % 9 != 0) r[15] = static_cast<double>(Mix(id, 15) % 1000) / 7.0;
    if (id % 8 != 0) r[16] = static_cast<int32_t>(Mix(id, 16) % 500);
    r[17] = Mix(id, 17) % 3 != 0;
    if (id % 1000 == 500) {
        // Over 64 KB, on a chain of long-value rows.
        std::string notes;
        while (notes.size() < 70000) notes += "Long notes of " + first + " " + last + " line " + std::to_string(notes.size()) + ".\r\n";
        r[18] = notes;
    } else if (id % 250 == 0) {
        r[18] = std::string("Terminal \x1b[31mred\x1b[0m and a bell \a in the notes");
    } else if (id % 5 != 0) {
        std::string notes = "Met " + first + " at " + Pick(kCity, id, 18) + ".";
        if (id % 4 == 0) notes += std::string(300, 'x');  // past the row's share: one long-value row
        if (changed) notes += " Called again.";
        r[18] = notes;
    }
    if (id % 600 == 0) r[19] = Photo(id, 10000);
    else if (id % 6 == 0) r[19] = Photo(id, 200);
    return r;
}

std::string BigNotes(std::size_t bytes) {
    std::string notes;
    notes.reserve(bytes);
    for (std::size_t n = 1;; ++n) {
        char number[24];
        std::snprintf(number, sizeof number, "%09zu", n);
        const std::string line = std::string("Line ") + number + " of the long notes: Grüße, 中文, \uFEFF.\r\n";
        if (notes.size() + line.size() > bytes) break;
        notes += line;
    }
    notes.append(bytes - notes.size(), 'x');
    return notes;
}

Bytes BigPhoto(int32_t id, std::size_t bytes) { return Photo(id, bytes); }

Table ContactsTable(const ContactList& contacts) {
    Table t;
    t.name = "roof";
    using T = ColumnType;
    t.columns = {{"ID", T::Long},          {"FirstName", T::Text, 50}, {"LastName", T::Text, 50},
                 {"Company", T::Text, 80}, {"Title", T::Text, 50},     {"Street", T::Text, 100},
                 {"City", T::Text, 50},    {"PostalCode", T::Text, 20}, {"Country", T::Text, 50},
                 {"Phone", T::Text, 30},   {"Email", T::Text, 100},    {"Birthday", T::DateTime},
                 {"Created", T::DateTime}, {"Modified", T::DateTime},  {"Balance", T::Currency},
                 {"Rating", T::Double},    {"Visits", T::Long},        {"Active", T::YesNo},
                 {"Notes", T::Memo},       {"Photo", T::Ole}};
    t.row_count = contacts.count;
    t.generate = [c = contacts](std::size_t i, Row& row) {
        const int32_t id = c.first + static_cast<int32_t>(i);
        row = Contact(id, c.changed.count(id) != 0);
        if (i == 0 && c.bigValues != 0) {
            row[18] = BigNotes(c.bigValues);
            row[19] = BigPhoto(id, c.bigValues);
        }
    };
    return t;
}

}  // namespace mkmdb
