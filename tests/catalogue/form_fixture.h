// A Form1 on fakes, with the user's special folders of a Wine prefix.
#pragma once

#include <string>
#include <vector>

#include "catalogue/form1.h"
#include "fakes/fakes.h"

namespace testing_form {

inline const std::string kDocs = "C:\\users\\ann\\Documents\\";
inline const std::string kAppData = "C:\\users\\ann\\AppData\\Roaming\\";
inline const std::string kProgramFiles = "C:\\Program Files (x86)\\";

inline const std::string kOptions = kDocs + "Varnock Rolvane BE\\Data\\options.mdb";
inline const std::string kBusinessFirst = kDocs + "Varnock Rolvane BE\\data\\bsrv.mdb";
inline const std::string kBusinessSecond = kDocs + "Varnock Rolvane BE\\Data\\bsrv.mdb";
inline const std::string kPersonalLive = kDocs + "Varnock Rolvane\\Data\\bsrv.mdb";
inline std::string BusinessBackup(int slot) {
    return kAppData + "Varnock Rolvane BE\\Backups\\Backup" + std::to_string(slot) + ".rb";
}
inline std::string PersonalBackup(int slot) {
    return kAppData + "Varnock Rolvane\\Backups\\Backup" + std::to_string(slot) + ".rv";
}

struct FormFixture {
    fakes::World w;
    fakes::FakeListView lv;
    fakes::FakeButton restore, makeBlank, cancel;
    catalogue::Form1 form{w.sys, lv, restore, makeBlank, cancel};

    FormFixture() {
        w.shell.folders[5] = kDocs.substr(0, kDocs.size() - 1);
        w.shell.folders[26] = kAppData.substr(0, kAppData.size() - 1);
        w.shell.folders[38] = kProgramFiles.substr(0, kProgramFiles.size() - 1);
    }

    // Each row as "caption|version|records|date|tag".
    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        for (const auto& item : lv.items)
            rows.push_back(item.text + "|" + item.sub[1] + "|" + item.sub[2] + "|" + item.sub[3] + "|" +
                           item.tag);
        return rows;
    }
    std::vector<std::string> Titles() const {
        std::vector<std::string> titles;
        for (const auto& box : w.msgbox.shown) titles.push_back(box.title);
        return titles;
    }
};

}  // namespace testing_form
