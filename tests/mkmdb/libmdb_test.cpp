// Written files read back through libmdb's C API, the library the
// utility's own database layer uses.
#include <gtest/gtest.h>

#include <mdbtools.h>

#include <memory>

#include "mkmdb/mkmdb.h"
#include "mkmdb/support.h"

using namespace mkmdb;

namespace {

struct MdbCloser {
    void operator()(MdbHandle* h) const { mdb_close(h); }
};
struct TableCloser {
    void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};

}  // namespace

TEST(MkmdbLibmdb, CatalogColumnsAndRows) {
    constexpr int kRows = 1234;
    Table t{"roof",
            {{"ID", ColumnType::Long}, {"Company", ColumnType::Text, 40}, {"Created", ColumnType::DateTime}},
            {},
            kRows,
            [](std::size_t i, Row& r) {
                r[0] = static_cast<int32_t>(i * 3 - 100);
                if (i % 5) r[1] = "Ærø " + std::to_string(i);
                r[2] = DateTime{2001, 1 + int(i % 12), 1 + int(i % 28), 8, 30, int(i % 60)};
            }};
    Table other{"stringoptions", {{"optionnumber", ColumnType::Long}}, {{int32_t{12}}}, 0, {}};
    mkmdb_test::TempDir dir;
    const std::string db = dir.File("lib.mdb");
    Write(db, {other, t});

    std::unique_ptr<MdbHandle, MdbCloser> mdb(mdb_open(db.c_str(), MDB_NOFLAGS));
    ASSERT_TRUE(mdb);
    mdb_set_date_fmt(mdb.get(), "%Y-%m-%d %H:%M:%S");
    GPtrArray* catalog = mdb_read_catalog(mdb.get(), MDB_TABLE);
    ASSERT_NE(catalog, nullptr);
    std::vector<std::string> names;
    for (guint i = 0; i < catalog->len; ++i) names.push_back(static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i))->object_name);
    EXPECT_EQ(names, (std::vector<std::string>{"stringoptions", "roof"}));

    std::unique_ptr<MdbTableDef, TableCloser> table(mdb_read_table_by_name(mdb.get(), const_cast<gchar*>("roof"), MDB_TABLE));
    ASSERT_TRUE(table);
    EXPECT_EQ(table->num_rows, static_cast<unsigned>(kRows));
    ASSERT_EQ(table->num_cols, 3u);
    mdb_read_columns(table.get());
    const struct {
        const char* name;
        int type;
        int size;
    } cols[] = {{"ID", MDB_LONGINT, 4}, {"Company", MDB_TEXT, 80}, {"Created", MDB_DATETIME, 8}};
    for (int c = 0; c < 3; ++c) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c));
        EXPECT_STREQ(col->name, cols[c].name);
        EXPECT_EQ(col->col_type, cols[c].type) << cols[c].name;
        EXPECT_EQ(col->col_size, cols[c].size) << cols[c].name;
    }

    std::vector<std::vector<char>> bufs(3, std::vector<char>(MDB_BIND_SIZE));
    int lens[3] = {};
    for (int c = 0; c < 3; ++c) mdb_bind_column(table.get(), c + 1, bufs[c].data(), &lens[c]);
    mdb_rewind_table(table.get());
    int n = 0;
    Row expect(3);
    while (mdb_fetch_row(table.get())) {
        ASSERT_LT(n, kRows);
        for (auto& v : expect) v = std::monostate{};
        t.generate(static_cast<std::size_t>(n), expect);
        EXPECT_EQ(std::string(bufs[0].data()), std::to_string(std::get<int32_t>(expect[0])));
        if (auto* s = std::get_if<std::string>(&expect[1])) {
            EXPECT_EQ(std::string(bufs[1].data(), static_cast<std::size_t>(lens[1])), *s) << "row " << n;
        } else {
            EXPECT_EQ(lens[1], 0) << "row " << n << " should be Null";
        }
        const auto& d = std::get<DateTime>(expect[2]);
        char date[32];
        std::snprintf(date, sizeof date, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, d.hour, d.minute, d.second);
        EXPECT_STREQ(bufs[2].data(), date) << "row " << n;
        ++n;
    }
    EXPECT_EQ(n, kRows);
}
