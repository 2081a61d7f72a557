// The fake database engine: files whose text says what tables and rows they
// hold.
#include "fakes/fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <sstream>

#include "vb/casefold.h"

namespace fakes {

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

}  // namespace fakes
