#include "fakes/fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <sstream>

#include "vb/casefold.h"

namespace fakes {

void Failures::Check(const std::string& op, const std::string& path) {
    for (Failure& f : list_) {
        if (f.op != op || f.times == 0) continue;
        if (!f.path.empty() && f.path != path) continue;
        if (f.times > 0) --f.times;
        throw f.error;
    }
}

// ---- files ----

std::string FakeFiles::Key(const std::string& path) {
    std::string key;
    for (char c : path) {
        char d = c == '/' ? '\\' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (d == '\\' && !key.empty() && key.back() == '\\') continue;
        key += d;
    }
    return key;
}

std::string FakeFiles::Parent(const std::string& key) {
    size_t pos = key.rfind('\\');
    return pos == std::string::npos ? "" : key.substr(0, pos);
}

bool FakeFiles::FolderExists(const std::string& key) const {
    if (key.empty() || folders_.count(key)) return true;
    // A folder exists when any file or folder lies below it.
    const std::string prefix = key + "\\";
    for (const auto& [k, v] : files_)
        if (k.rfind(prefix, 0) == 0) return true;
    for (const auto& f : folders_)
        if (f.rfind(prefix, 0) == 0) return true;
    return false;
}

void FakeFiles::Put(const std::string& path, std::string content, vb::DateTime modified) {
    File f;
    f.content = std::move(content);
    f.modified = modified;
    files_[Key(path)] = {path, std::make_shared<File>(std::move(f))};
}

FakeFiles::File* FakeFiles::Find(const std::string& path) {
    auto it = files_.find(Key(path));
    return it == files_.end() ? nullptr : it->second.second.get();
}

std::vector<std::string> FakeFiles::Paths() const {
    std::vector<std::string> paths;
    for (const auto& [k, v] : files_) paths.push_back(v.first);
    return paths;
}

std::string FakeFiles::Dir(const std::string& Path) {
    failures.Check("Dir", Path);
    File* f = Find(Path);
    if (!f || f->hidden) return "";
    const std::string key = Key(Path);
    return files_[key].first.substr(files_[key].first.find_last_of("\\/") + 1);
}

vb::DateTime FakeFiles::FileDateTime(const std::string& Path) {
    failures.Check("FileDateTime", Path);
    File* f = Find(Path);
    if (!f) throw vb::FileNotFound();
    return f->modified;
}

std::vector<std::string> FakeFiles::FilesIn(const std::string& Folder) {
    failures.Check("FilesIn", Folder);
    std::string prefix = Key(Folder);
    if (prefix.empty() || prefix.back() != '\\') prefix += '\\';
    std::vector<std::string> names;
    for (const auto& [key, entry] : files_) {
        if (key.rfind(prefix, 0) != 0 || key.find('\\', prefix.size()) != std::string::npos) continue;
        if (entry.second->hidden) continue;
        names.push_back(entry.first.substr(entry.first.find_last_of("\\/") + 1));
    }
    // The real folder gives them in no order: nor does the fake.
    std::reverse(names.begin(), names.end());
    return names;
}

int64_t FakeFiles::FileLen(const std::string& Path) {
    failures.Check("FileLen", Path);
    File* f = Find(Path);
    if (!f) throw vb::FileNotFound();
    return static_cast<int64_t>(f->content.size());
}

void FakeFiles::MoveToTrash(const std::string& Path) {
    failures.Check("MoveToTrash", Path);
    File* f = Find(Path);
    if (!f) throw vb::FileNotFound();
    trash.emplace_back(Path, f->content);
    files_.erase(Key(Path));
    log.push_back("trash " + Path);
}

void FakeFiles::FileCopy(const std::string& Source, const std::string& Destination,
                         const ports::CopyProgress& Progress) {
    failures.Check("FileCopy", Destination);
    File* src = Find(Source);
    if (!src) throw vb::FileNotFound();
    if (!FolderExists(Parent(Key(Destination)))) throw vb::PathNotFound();
    File* dst = Find(Destination);
    if (src->heldOpen || (dst && dst->heldOpen)) throw vb::HeldByProgram();
    // Onto itself: refused, as no wait mends it.
    if (src == dst) throw vb::PathFileAccessError();
    // The copy is a new file put in the destination's place: another name
    // of the old file keeps the old data.
    auto copy = std::make_shared<File>(*src);
    copy->heldOpen = false;
    copy->asideOf.reset();
    ReportSteps(copy->content.size(), Progress);
    if (stops) stops->StopPoint();
    files_[Key(Destination)] = {dst ? files_[Key(Destination)].first : Destination, copy};
    log.push_back("copy " + Source + " -> " + Destination);
    // After the copy took its place: the folder's flush.
    failures.Check("FileCopy.flush", Destination);
}

void FakeFiles::ReportSteps(uint64_t total, const ports::CopyProgress& Progress) {
    for (int step = 1; step <= copySteps; ++step) {
        if (stops) stops->StopPoint();
        if (onCopyStep) onCopyStep(step);
        if (Progress) Progress(total * static_cast<uint64_t>(step) / static_cast<uint64_t>(copySteps), total);
    }
}

void FakeFiles::Name(const std::string& OldPath, const std::string& NewPath) {
    failures.Check("Name", OldPath);
    File* f = Find(OldPath);
    if (!f) throw vb::FileNotFound();
    if (Find(NewPath)) throw vb::FileAlreadyExists();
    if (!FolderExists(Parent(Key(NewPath)))) throw vb::PathNotFound();
    if (f->heldOpen) throw vb::HeldByProgram();
    auto moved = files_[Key(OldPath)].second;
    files_.erase(Key(OldPath));
    files_[Key(NewPath)] = {NewPath, moved};
    log.push_back("name " + OldPath + " -> " + NewPath);
}

void FakeFiles::MoveBack(const std::string& OldPath, const std::string& NewPath) {
    failures.Check("MoveBack", OldPath);
    if (!Find(OldPath)) throw vb::FileNotFound();
    if (Find(NewPath)) throw vb::FileAlreadyExists();
    auto moved = files_[Key(OldPath)].second;
    files_.erase(Key(OldPath));
    files_[Key(NewPath)] = {NewPath, moved};
    log.push_back("name " + OldPath + " -> " + NewPath);
}

bool FakeFiles::HeldOpen(const std::string& Path) {
    failures.Check("HeldOpen", Path);
    const File* f = Find(Path);
    return f && f->heldOpen;
}

bool FakeFiles::Link(const std::string& Path, const std::string& NewPath) {
    failures.Check("Link", Path);
    if (!Find(Path)) throw vb::FileNotFound();
    if (Find(NewPath)) throw vb::FileAlreadyExists();
    if (!FolderExists(Parent(Key(NewPath)))) throw vb::PathNotFound();
    if (!hardLinks) return false;
    files_[Key(NewPath)] = {NewPath, files_[Key(Path)].second};
    log.push_back("link " + Path + " -> " + NewPath);
    return true;
}

void FakeFiles::CopyAside(const std::string& Path, const std::string& NewPath,
                          const ports::CopyProgress& Progress) {
    failures.Check("CopyAside", Path);
    File* src = Find(Path);
    if (!src) throw vb::FileNotFound();
    if (Find(NewPath)) throw vb::FileAlreadyExists();
    if (!FolderExists(Parent(Key(NewPath)))) throw vb::PathNotFound();
    if (src->heldOpen) throw vb::HeldByProgram();
    auto copy = std::make_shared<File>(*src);
    copy->asideOf = files_[Key(Path)].second;
    ReportSteps(copy->content.size(), Progress);
    if (stops) stops->StopPoint();
    files_[Key(NewPath)] = {NewPath, copy};
    log.push_back("aside " + Path + " -> " + NewPath);
}

bool FakeFiles::SameFile(const std::string& a, const std::string& b) {
    File* fa = Find(a);
    return fa && fa == Find(b);
}

bool FakeFiles::RemoveExtraName(const std::string& ExtraPath, const std::string& Path) {
    failures.Check("RemoveExtraName", ExtraPath);
    File* extra = Find(ExtraPath);
    File* live = Find(Path);
    if (!extra || !live || (extra != live && extra->asideOf.lock().get() != live)) return false;
    files_.erase(Key(ExtraPath));
    log.push_back("unlink " + ExtraPath);
    return true;
}

void FakeFiles::RemoveTemporaries(const std::string& Path) {
    // Never throws, as on the real platform: a planned failure is swallowed.
    try {
        failures.Check("RemoveTemporaries", Path);
    } catch (const vb::Error&) {
        return;
    }
    log.push_back("temporaries " + Path);
}

std::optional<std::string> FakeFiles::ContentDigest(const std::string& Path) {
    try {
        failures.Check("ContentDigest", Path);
    } catch (const vb::Error&) {
        return std::nullopt;
    }
    const File* file = Find(Path);
    if (!file) return std::nullopt;
    return "digest of " + file->content;
}

std::optional<std::string> FakeFiles::ReadWhole(const std::string& Path) {
    failures.Check("ReadWhole", Path);
    const auto it = wholes.find(Key(Path));
    if (it == wholes.end()) return std::nullopt;
    return it->second;
}

void FakeFiles::WriteWhole(const std::string& Path, const std::string& Text) {
    failures.Check("WriteWhole", Path);
    if (!FolderExists(Parent(Key(Path)))) throw vb::PathNotFound();
    wholes[Key(Path)] = Text;
}

// ---- shell, message box, process, locale ----

long FakeShell::GetSpecialFolderLocation(int FolderId, int& Location) {
    failures.Check("GetSpecialFolderLocation");
    if (!folders.count(FolderId)) return 1;
    Location = FolderId;
    return 0;
}

bool FakeShell::GetPathFromIDList(int Location, std::string& Path) {
    failures.Check("GetPathFromIDList");
    if (conversionFails.count(Location)) return false;
    // Like the shell, fill the caller's buffer with a NUL-terminated path.
    std::string path = folders.at(Location);
    Path.replace(0, std::min(Path.size(), path.size() + 1), path + '\0');
    return true;
}

int ScriptedMessageBox::Show(const std::string& Prompt, int Buttons, const std::string& Title) {
    failures.Check("Show");
    shown.push_back({Prompt, Buttons, Title});
    if (onShow) onShow(shown.back());
    if (script_.empty()) {
        ADD_FAILURE() << "unexpected message box \"" << Title << "\": " << Prompt;
        return 0;
    }
    int answer = script_.front();
    script_.pop_front();
    return answer;
}

void FakeProcess::End() {
    failures.Check("End");
    ++ends;
    throw ports::ProcessEnded{};
}

vb::DateTime FakeLocale::LocalTime(int64_t Seconds) {
    const time_t when = static_cast<time_t>(Seconds);
    std::tm tm{};
    gmtime_r(&when, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::string FakeLocale::GeneralDate(const vb::DateTime& w) {
    char text[64];
    if (w.IsMidnight())
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", w.year, w.month, w.day);
    else
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", w.year, w.month, w.day,
                      w.hour, w.minute, w.second);
    return text;
}

// ---- database ----

namespace db {
std::string Roof(const std::string& count) { return "JET roof=" + count; }
std::string RoofRecords(const std::string& key, long long count) {
    return "JET roof=" + std::to_string(count) + " records=" + key;
}
std::string Options(const std::optional<std::string>& option12) {
    return option12 ? "JET options option12=" + *option12 : "JET options option12=NULL";
}
std::string OptionsWithoutRow12() { return "JET options"; }
std::string OptionsWithoutTable() { return "JET"; }
}  // namespace db

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

class FakeRecordset : public ports::Recordset {
public:
    FakeRecordset(FakeDbState& state, bool* dbOpen, std::string field,
                  std::optional<ports::Value> row)
        : state_(state), dbOpen_(dbOpen), field_(std::move(field)), row_(std::move(row)) {
        ++state_.liveRecordsets;
    }
    ~FakeRecordset() override { --state_.liveRecordsets; }

    bool IsEOF() override {
        Usable();
        state_.failures.Check("eof");
        return !row_;
    }
    void MoveNext() override {
        Usable();
        if (!row_) throw vb::Error(vb::kNoCurrentRecord, "No current record.");
        row_.reset();
    }
    ports::Value Field(const std::string& Name) override {
        Usable();
        state_.failures.Check("field");
        if (Lower(Name) != field_) throw vb::Error(vb::kItemNotFound, "Item not found in this collection.");
        if (!row_) throw vb::Error(vb::kNoCurrentRecord, "No current record.");
        return *row_;
    }
    void Close() override {
        Usable();
        state_.failures.Check("close.rs");
        open_ = false;
    }

private:
    void Usable() {
        if (!open_ || !*dbOpen_) throw vb::Error(vb::kObjectInvalid, "Object invalid or no longer set.");
    }
    FakeDbState& state_;
    bool* dbOpen_;
    std::string field_;
    std::optional<ports::Value> row_;
    bool open_ = true;
};

class FakeRowStream : public ports::RowStream {
public:
    FakeRowStream(FakeDbState& state, std::shared_ptr<bool> dbOpen, std::shared_ptr<uint64_t> reads,
                  const FakeTable& table, const std::string& find)
        : state_(state), dbOpen_(std::move(dbOpen)), reads_(std::move(reads)), at_(*reads_), table_(table),
          find_(find), all_(find.empty()) {}

    const std::vector<ports::ColumnInfo>& Columns() const override { return table_.columns; }
    const std::vector<std::string>& PrimaryKey() const override { return table_.primaryKey; }
    bool Next(std::vector<ports::Value>& row) override {
        if (!*dbOpen_ || *reads_ != at_) throw vb::Error(vb::kObjectInvalid, "Object invalid or no longer set.");
        state_.failures.Check("next");
        while (pos_ < table_.rows.size()) {
            if (table_.failAfter && given_ >= *table_.failAfter) throw table_.failure;
            const auto& candidate = table_.rows[pos_++];
            if (!Matches(candidate)) continue;
            row = candidate;
            ++given_;
            return true;
        }
        if (table_.failAfter && given_ >= *table_.failAfter) throw table_.failure;
        return false;
    }

private:
    bool Matches(const std::vector<ports::Value>& row) const {
        if (all_) return true;
        for (size_t i = 0; i < row.size() && i < table_.columns.size(); ++i) {
            const auto type = table_.columns[i].type;
            if (type != ports::ColumnType::Text && type != ports::ColumnType::Memo) continue;
            if (const auto* text = std::get_if<std::string>(&row[i]); text && find_.In(*text)) return true;
        }
        return false;
    }
    FakeDbState& state_;
    std::shared_ptr<bool> dbOpen_;
    std::shared_ptr<uint64_t> reads_;
    uint64_t at_;
    FakeTable table_;  // a copy: the test may change its records while this is read
    vb::TextFinder find_;
    bool all_;
    size_t pos_ = 0, given_ = 0;
};

class FakeDatabase : public ports::Database {
public:
    FakeDatabase(FakeDbState& state, std::string content, std::shared_ptr<uint64_t> reads)
        : state_(state), content_(std::move(content)), reads_(std::move(reads)) {
        ++state_.liveDatabases;
    }
    ~FakeDatabase() override { --state_.liveDatabases; }

    std::unique_ptr<ports::RowStream> OpenTable(const std::string& Name) override { return Stream(Name, nullptr); }
    std::unique_ptr<ports::RowStream> FindRecords(const std::string& Name, const std::string& Text) override {
        return Stream(Name, &Text);
    }

    std::unique_ptr<ports::Recordset> OpenRecordset(const std::string& Query, int Type) override {
        if (!*open_) throw vb::Error(vb::kObjectInvalid, "Object invalid or no longer set.");
        ++*reads_;
        state_.failures.Check("query");
        state_.queries.push_back(Query);
        EXPECT_EQ(Type, ports::dbOpenDynaset);
        const std::string q = Lower(Query);
        std::istringstream words(content_);
        std::map<std::string, std::string> props;
        std::string word;
        while (words >> word) {
            size_t eq = word.find('=');
            props[word.substr(0, eq)] = eq == std::string::npos ? "" : word.substr(eq + 1);
        }
        if (q == "select count(*) as counter from roof ") {
            if (!props.count("roof")) throw NoTable("roof");
            const std::string& n = props["roof"];
            if (n == "NULL") return std::make_unique<FakeRecordset>(state_, open_.get(), "counter", ports::Null{});
            const int64_t count = std::stoll(n);
            return std::make_unique<FakeRecordset>(state_, open_.get(), "counter", count);
        }
        if (q == "select option from stringoptions where optionnumber = 12") {
            if (!props.count("options")) throw NoTable("stringoptions");
            std::optional<ports::Value> row;
            if (auto it = content_.find("option12="); it != std::string::npos) {
                std::string v = content_.substr(it + 9);
                row = v == "NULL" ? ports::Value(ports::Null{}) : ports::Value(v);
            }
            return std::make_unique<FakeRecordset>(state_, open_.get(), "option", row);
        }
        ADD_FAILURE() << "query the fake does not know: " << Query;
        throw vb::Error(vb::kSyntaxError, "Syntax error in query.");
    }
    void Close() override {
        if (!*open_) throw vb::Error(vb::kObjectInvalid, "Object invalid or no longer set.");
        state_.failures.Check("close.db");
        *open_ = false;
    }

private:
    std::unique_ptr<ports::RowStream> Stream(const std::string& Name, const std::string* Text) {
        if (!*open_) throw vb::Error(vb::kObjectInvalid, "Object invalid or no longer set.");
        ++*reads_;
        state_.failures.Check("table");
        state_.tablesOpened.push_back(Text ? Name + " find=" + *Text : Name);
        std::istringstream words(content_);
        std::string word, key;
        bool roof = false;
        while (words >> word) {
            if (word.rfind("roof=", 0) == 0) roof = true;
            if (word.rfind("records=", 0) == 0) key = word.substr(8);
        }
        if (!roof || !vb::EqualsIgnoringCase(Name, "roof")) throw NoTable(Name);
        static const FakeTable kEmpty;
        auto it = state_.records.find(key);
        const FakeTable& table = key.empty() || it == state_.records.end() ? kEmpty : it->second;
        return std::make_unique<FakeRowStream>(state_, open_, reads_, table, Text ? *Text : std::string());
    }
    static vb::Error NoTable(const std::string& name) {
        return vb::Error(vb::kCannotFindTable, "The database engine cannot find the input table or query '" +
                                                   name + "'. Make sure it exists and that its name is spelled correctly.");
    }
    FakeDbState& state_;
    std::string content_;
    // Shared with the recordsets: a recordset of a closed database is unusable.
    std::shared_ptr<bool> open_ = std::make_shared<bool>(true);
    std::shared_ptr<uint64_t> reads_;
};

}  // namespace

std::unique_ptr<ports::Database> FakeDBEngine::OpenDatabase(const std::string& Path) {
    state_.failures.Check("open", Path);
    state_.opened.push_back(Path);
    FakeFiles::File* f = files_.Find(Path);
    if (!f) throw vb::Error(vb::kCouldNotFindFile, "Could not find file '" + Path + "'.");
    if (f->content.rfind("JET", 0) != 0)
        throw vb::Error(vb::kUnrecognizedFormat, "Unrecognized database format '" + Path + "'.");
    ++*reads_;
    return std::make_unique<FakeDatabase>(state_, f->content, reads_);
}

// ---- list view ----

FakeListView::Item& FakeListView::At(int index) {
    if (index < 1 || index > static_cast<int>(items.size()))
        throw vb::Error(35600, "Index out of bounds");
    return items[static_cast<size_t>(index) - 1];
}

void FakeListView::ClearItems() {
    failures.Check("ClearItems");
    items.clear();
    selected = 0;
}
int FakeListView::AddColumnHeader(const std::string& Text) {
    failures.Check("AddColumnHeader");
    headers.push_back(Text);
    return static_cast<int>(headers.size());
}
int FakeListView::ColumnHeaderCount() {
    failures.Check("ColumnHeaderCount");
    return static_cast<int>(headers.size());
}
std::string FakeListView::ColumnHeaderText(int Index) {
    failures.Check("ColumnHeaderText");
    if (Index < 1 || Index > static_cast<int>(headers.size())) throw vb::Error(35600, "Index out of bounds");
    return headers[static_cast<size_t>(Index) - 1];
}
int FakeListView::AddItem(const std::string& Text) {
    failures.Check("AddItem");
    items.push_back({Text, {}, {}});
    // The list selects its first row by itself once it has been refilled.
    if (items.size() == 1) selected = 1;
    return static_cast<int>(items.size());
}
int FakeListView::ItemCount() {
    failures.Check("ItemCount");
    return static_cast<int>(items.size());
}
std::string FakeListView::ItemText(int Index) {
    failures.Check("ItemText");
    return At(Index).text;
}
std::string FakeListView::SubItem(int Index, int Sub) {
    failures.Check("SubItem");
    return At(Index).sub[Sub];
}
void FakeListView::SetSubItem(int Index, int Sub, const std::string& Text) {
    failures.Check("SetSubItem");
    At(Index).sub[Sub] = Text;
}
std::string FakeListView::Tag(int Index) {
    failures.Check("Tag");
    return At(Index).tag;
}
void FakeListView::SetTag(int Index, const std::string& Text) {
    failures.Check("SetTag");
    At(Index).tag = Text;
}
int FakeListView::SelectedIndex() {
    failures.Check("SelectedIndex");
    return selected;
}
void FakeListView::AutosizeColumn(int Column) {
    failures.Check("AutosizeColumn");
    autosized.push_back(Column);
}

ports::CheckResult FakeFileCheck::Check(const std::string& Path, const ports::CheckProgress& Progress) {
    checked.push_back(Path);
    ports::CheckResult result;
    result.cancelled = userStops;
    if (userStops) return result;
    for (int step = 1; step <= steps; ++step)
        if (Progress && !Progress(static_cast<uint64_t>(step), static_cast<uint64_t>(steps))) {
            result.cancelled = true;
            return result;
        }
    if (!files_.Find(Path)) {
        result.findings.push_back({ports::Severity::Damaged, "it cannot be read: Could not find file '" + Path + "'.", {}, {}, {}});
        return result;
    }
    if (const auto told = told_.find(FakeFiles::KeyOf(Path)); told != told_.end()) result.findings = told->second;
    return result;
}

}  // namespace fakes
