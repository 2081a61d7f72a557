// The listing of Previous Versions: the numbered copies beside a live
// database, each with its record count, file date and size.
#include "operations/previous_versions.h"

#include <algorithm>
#include <map>
#include <memory>

#include "catalogue/catalogue.h"
#include "catalogue/paths.h"
#include "common/procedure.h"
#include "common/shellfolders.h"
#include "common/vbvalue.h"
#include "operations/setaside_index.h"

namespace operations {

using common::Flow;
using common::Resume;

std::vector<PreviousVersion> FindPreviousVersions(common::Services& sys, const std::string& LivePath) {
    std::vector<PreviousVersion> found;
    std::vector<NumberedCopyFile> names;
    size_t i = 0;
    PreviousVersion copy;
    std::vector<SetAsideEntry> index;

    common::Procedure proc(sys, "FindPreviousVersions", kVersionsModule);
    proc.Line(20, [&] { names = ListNumberedCopies(sys, LivePath); });
    proc.Line(25, [&] { index = ReadSetAsideIndex(sys, LivePath).value_or(std::vector<SetAsideEntry>{}); });
    proc.Line(30, [&] {
        i = 0;
        return i < names.size() ? Flow::Next() : Flow::Goto(120);
    });
    proc.Line(40, [&] {
        copy = PreviousVersion{};
        copy.number = names[i].number;
        copy.name = names[i].name;
        copy.path = names[i].path;
    });
    proc.IgnoreTo(110);
    // A copy gone since the folder was read is not listed, nor a second
    // name of the live database: that one keeps no previous version.
    proc.Line(50, [&] {
        const bool gone = sys.files.Dir(copy.path).empty() || sys.files.SameFile(copy.path, LivePath);
        return gone ? Flow::Goto(110) : Flow::Next();
    });
    proc.IgnoreTo(110);
    proc.Line(60, [&] { copy.modified = sys.files.FileDateTime(copy.path); });
    proc.Line(70, [&] { copy.size = sys.files.FileLen(copy.path); });
    proc.Line(80, [&] {
        catalogue::Count count = catalogue::CountRecords(sys, copy.path);
        copy.records = count.records;
        copy.error = std::move(count.error);
    });
    proc.Line(85, [&] {
        if (const SetAsideEntry* entry = FindSetAside(index, copy.name, copy.size, copy.modified)) {
            copy.setAside = entry->at;
            copy.order = entry->order;
        }
    });
    proc.Line(90, [&] { found.push_back(copy); });
    proc.Line(110, [&] { return ++i < names.size() ? Flow::Goto(40) : Flow::Next(); });
    // The last set aside first: the order of the folder means nothing, nor,
    // where the index knows the copies, their file dates.
    proc.Line(120, [&] {
        std::sort(found.begin(), found.end(), [](const PreviousVersion& a, const PreviousVersion& b) {
            if (a.order != b.order) return a.order > b.order;
            if (a.modified != b.modified) return a.modified > b.modified;
            if (a.number != b.number) return a.number > b.number;
            return a.name < b.name;
        });
    });
    proc.Run();
    return found;
}

void MarkSameCopies(common::Services& sys, std::vector<PreviousVersion>& Versions) {
    std::map<int64_t, size_t> sizes;  // how many copies have each size
    for (const PreviousVersion& v : Versions) ++sizes[v.size];
    std::map<std::pair<int64_t, std::string>, std::string> first;  // size and digest: the first copy listed
    for (PreviousVersion& v : Versions) {
        if (sizes[v.size] < 2) continue;
        const std::optional<std::string> digest = sys.files.ContentDigest(v.path);
        if (!digest) continue;
        const auto [at, added] = first.emplace(std::make_pair(v.size, *digest), v.name);
        if (!added) v.sameAs = at->second;
    }
}

std::string SizeText(int64_t bytes) {
    const int64_t kilobytes = bytes <= 0 ? 0 : (bytes - 1) / 1024 + 1;
    return std::to_string(kilobytes) + " KB";
}

void LoadPreviousVersions(common::Services& sys, ports::ListView& List, const std::string& LivePath) {
    std::vector<PreviousVersion> versions;
    size_t i = 0;
    auto header = [&](int position, const char* text) {
        if (List.ColumnHeaderCount() < position) List.AddColumnHeader(text);
    };
    auto row = [&] { return List.ItemCount(); };

    common::Procedure proc(sys, "LoadPreviousVersions", kVersionsModule);
    proc.Line(10, [&] { List.ClearItems(); });
    proc.Line(20, [&] { header(1, "Name"); });
    proc.Line(30, [&] { header(2, "Records"); });
    proc.Line(40, [&] { header(3, "FileDate"); });
    proc.Line(50, [&] { header(4, "Size"); });
    proc.Line(55, [&] { header(5, "Set Aside"); });
    proc.Line(57, [&] { header(6, "Same Data"); });
    proc.Line(60, [&] { versions = FindPreviousVersions(sys, LivePath); });
    proc.Line(65, [&] { MarkSameCopies(sys, versions); });
    proc.Line(70, [&] {
        i = 0;
        return i < versions.size() ? Flow::Next() : Flow::Goto(140);
    });
    proc.Line(80, [&] { List.AddItem(versions[i].name); });
    proc.Line(90, [&] {
        const auto& records = versions[i].records;
        List.SetSubItem(row(), 1, records ? std::to_string(*records) : catalogue::kCannotBeRead);
    });
    proc.Line(100, [&] { List.SetSubItem(row(), 2, sys.locale.GeneralDate(versions[i].modified)); });
    proc.Line(110, [&] { List.SetSubItem(row(), 3, SizeText(versions[i].size)); });
    proc.Line(115, [&] {
        const auto& at = versions[i].setAside;
        List.SetSubItem(row(), 4, at ? sys.locale.GeneralDate(sys.locale.LocalTime(*at)) : kNotRecorded);
    });
    proc.Line(117, [&] {
        const std::string& same = versions[i].sameAs;
        List.SetSubItem(row(), 5, same.empty() ? std::string() : "same as " + same);
    });
    proc.Line(120, [&] { List.SetTag(row(), versions[i].path); });
    proc.Line(130, [&] { return ++i < versions.size() ? Flow::Goto(80) : Flow::Next(); });
    proc.Line(140, [&] { common::lvAutosizeControl(sys, List); });
    proc.Run();
}

}  // namespace operations
