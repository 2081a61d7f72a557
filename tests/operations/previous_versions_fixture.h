// What the tests of Previous Versions and Put Back share: a Form1 on
// fakes, the Personal data folder, and the listing and the disk as text.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "catalogue/form_fixture.h"

namespace testing_versions {

using namespace testing_form;

inline const std::string kFolder = kDocs + "Varnock Rolvane\\Data\\";

struct PreviousVersionsTest : FormFixture, ::testing::Test {
    std::string Content(const std::string& path) {
        auto* f = w.files.Find(path);
        return f ? f->content : "<missing>";
    }
    // Each listed row as "name|records|date|size|set aside|tag".
    std::vector<std::string> Listed(fakes::FakeListView& list) {
        std::vector<std::string> rows;
        for (const auto& item : list.items)
            rows.push_back(item.text + "|" + item.sub[1] + "|" + item.sub[2] + "|" + item.sub[3] + "|" + item.sub[4] +
                           "|" + item.tag);
        return rows;
    }
    // The folder's files and what each holds.
    std::map<std::string, std::string> Disk() {
        std::map<std::string, std::string> disk;
        for (const std::string& path : w.files.Paths()) disk[path] = Content(path);
        return disk;
    }
};

}  // namespace testing_versions
