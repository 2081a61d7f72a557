// --compare without holding either copy: what it prints agrees with the
// comparison in memory, and a copy that changes between its readings is
// never compared as if it had not.
#include <gtest/gtest.h>

#include <cstdio>

#include "catalogue/catalogue.h"
#include "cli/compare_command.h"
#include "fakes/fakes.h"
#include "records/compare.h"
#include "records/fake_source.h"

namespace {

const std::vector<records::Column> kColumns = {{"ID", records::Kind::Integer}, {"Name", records::Kind::Text}};

records::Table Named(std::vector<std::pair<int64_t, std::string>> rows) {
    records::Table table{kColumns, {}, {}};
    for (auto& [id, name] : rows) table.records.push_back({id, name});
    return table;
}

struct Printed {
    int status;
    std::string out, said;
};

Printed Compare(records::SourceFactory sources, bool json) {
    fakes::World world;
    catalogue::Catalogue found;
    char* buffer = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    std::string said;
    cli::RecordsRun run{world.sys, found, std::move(sources), [](const std::string& p) { return p; },
                        [&](const std::string& line) { said += line + "\n"; }, out};
    app::ConsoleCommand command;
    command.json = json;
    command.edition = "Personal";
    const int status = cli::CompareCopies(command, run, {"Backup 2", "which"}, {"(Current)", "live"});
    std::fclose(out);
    Printed printed{status, std::string(buffer, size), said};
    std::free(buffer);
    return printed;
}

TEST(CompareCopies, PrintsWhatTheComparisonFindsAndRefusesACopyThatChangedMeanwhile) {
    fakes::FakeRecords data;
    data.batch = 2;  // several batches, so that pairing crosses them
    data.tables["which"] = Named({{1, "Ann"}, {2, "Bob"}, {3, "Cy"}, {3, "Cy"}, {5, "Eve"}});
    data.tables["live"] = Named({{2, "Bobby"}, {3, "Cy"}, {4, "Dee"}, {6, "Fay"}});
    const records::Comparison want = records::Compare(data.tables["which"], data.tables["live"]);
    ASSERT_EQ(want.onlyInFirst, (std::vector<size_t>{0, 3, 4}));  // the second 3 has no partner

    // Either copy may be the one held (the one whose table says it holds
    // fewer), kept whole or read again: the same text and JSON.
    for (const auto& [heldWhich, readAgain] : {std::pair{false, false}, {true, false}, {true, true}}) {
        data.storedCount.clear();
        if (heldWhich) data.storedCount["live"] = readAgain ? 400000 : 9;
        if (readAgain) data.storedCount["which"] = 300000;
        const Printed text = Compare(data.Factory(), false);
        EXPECT_EQ(text.status, 0) << text.said;
        EXPECT_EQ(text.out,
                  "Only in Backup 2: 3 records\nID  Name\n1   Ann\n3   Cy\n5   Eve\n\n"
                  "Only in current: 2 records\nID  Name\n4   Dee\n6   Fay\n\n"
                  "Changed: 1 record\n  ID 2\n    Name: Bob \u2192 Bobby\n");
        const Printed json = Compare(data.Factory(), true);
        EXPECT_EQ(json.out,
                  "{\n\"only_in_which\": [\n{\"ID\":1,\"Name\":\"Ann\"},\n{\"ID\":3,\"Name\":\"Cy\"},\n{\"ID\":5,\"Name\":\"Eve\"}"
                  "\n],\n\"only_in_current\": [\n{\"ID\":4,\"Name\":\"Dee\"},\n{\"ID\":6,\"Name\":\"Fay\"}\n],\n\"changed\": [\n"
                  "{\"which\":{\"ID\":2,\"Name\":\"Bob\"},\"current\":{\"ID\":2,\"Name\":\"Bobby\"},\"fields\":[\"Name\"]}\n]\n}\n");
    }

    // WHICH, held and read again, changes between its readings (the third
    // reader is its second).
    int made = 0;
    const Printed changed = Compare([&]() -> std::unique_ptr<records::Source> {
        if (++made == 3) data.tables["which"].records[2] = {int64_t{3}, std::string("Cyril")};
        return std::make_unique<fakes::FakeRecords::Source>(data);
    }, false);
    EXPECT_EQ(changed.status, 1);
    EXPECT_EQ(changed.said, "The databases changed while they were compared; compare them again.\n");
}

}  // namespace
