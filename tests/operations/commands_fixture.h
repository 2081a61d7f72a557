// What the tests of the two commands share: a Form1 on fakes, where the
// shell files and the Personal live database lie, and choosing a row as the
// user does.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "catalogue/form_fixture.h"

namespace testing_commands {

using namespace testing_form;

inline const std::string kPersonalShell = kProgramFiles + "Brenwick Software\\Varnock Rolvane\\Data\\rv10db.shell";
inline const std::string kBusinessShell = kProgramFiles + "Brenwick Software\\Varnock Rolvane BE\\Data\\rv10db.shell";
inline const std::string kPersonalFolder = kDocs + "Varnock Rolvane\\Data\\";

struct CommandsTest : FormFixture, ::testing::Test {
    // Discovery, then the user selects the row whose Tag is `path`.
    void SelectRow(const std::string& path) {
        catalogue::Form_Load(form);
        for (size_t i = 0; i < lv.items.size(); ++i)
            if (lv.items[i].tag == path) {
                lv.Select(static_cast<int>(i) + 1);
                catalogue::lvFiles_Click(form);
                return;
            }
        FAIL() << "no row for " << path;
    }
    std::string Content(const std::string& path) {
        auto* f = w.files.Find(path);
        return f ? f->content : "<missing>";
    }
};

}  // namespace testing_commands
