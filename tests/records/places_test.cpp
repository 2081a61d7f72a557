#include <gtest/gtest.h>

#include "catalogue/form_fixture.h"
#include "operations/setaside_index.h"
#include "records/places.h"

using namespace testing_form;
using fakes::db::Roof;

namespace {

const std::string kFolder = kDocs + "Varnock Rolvane\\Data\\";

struct PlacesTest : FormFixture, ::testing::Test {};

// Find in All Copies lists the copies newest first, each with how it came
// to be and its date: the live database first, then the backups by their
// file dates and the numbered copies by when they were set aside (by their
// file dates where the index does not know them), together.
TEST_F(PlacesTest, CopiesNewestFirstWithHowEachCameToBe) {
    w.files.Put(kPersonalLive, Roof(5), {2026, 3, 1, 9, 0, 0});
    w.files.Put(PersonalBackup(1), Roof(1), {2026, 2, 10, 0, 0, 0});
    w.files.Put(PersonalBackup(2), Roof(2), {2025, 12, 24, 0, 0, 0});
    w.files.Put(kFolder + "bsrv.1", Roof(10), {2025, 1, 1, 0, 0, 0});
    w.files.Put(kFolder + "bsrv.2", Roof(20), {2026, 1, 5, 8, 0, 0});
    w.files.wholes[fakes::FakeFiles::KeyOf(kFolder + operations::kSetAsideIndexName)] =
        operations::SetAsideIndexText({{1, 1771545600, static_cast<int64_t>(Roof(10).size()), {2025, 1, 1, 0, 0, 0}, "bsrv.1"}});
    std::vector<std::string> listed;
    for (const records::Place& place :
         records::NewestFirst(w.sys, {{"bsrv.2", kFolder + "bsrv.2"}, {"Backup 2", PersonalBackup(2)},
                                      {"bsrv.1", kFolder + "bsrv.1"}, {"(Current)", kPersonalLive},
                                      {"Backup 1", PersonalBackup(1)}}))
        listed.push_back(place.caption + "|" + place.how + "|" + place.when);
    EXPECT_EQ(listed, (std::vector<std::string>{
                          "(Current)|live database|2026-03-01 09:00:00",
                          "bsrv.1|numbered copy, set aside|2026-02-20",
                          "Backup 1|backup slot 1|2026-02-10",
                          "bsrv.2|numbered copy (when it was set aside is not recorded: its file date)|2026-01-05 08:00:00",
                          "Backup 2|backup slot 2|2025-12-24",
                      }));
}

}  // namespace
