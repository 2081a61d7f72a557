// What the tests of Previous Versions and of Put Back share: the fakes'
// window, and the folder's rows and files as text.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/form_fixture.h"
#include "operations/previous_versions.h"
#include "operations/setaside_index.h"

using namespace testing_form;
using fakes::db::Roof;
using ports::vbCancel;
using ports::vbNo;
using ports::vbNoAnswer;
using ports::vbOK;
using ports::vbRetry;
using ports::vbYes;

namespace previous_versions {

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

}  // namespace previous_versions
