#include "jet/libmdb_engine.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <optional>

#include "vb/casefold.h"
#include "vb/error.h"
#include "jet/query.h"

namespace jet {
namespace {

// ---- DAO objects ---------------------------------------------------------------

// Shared by a database and its recordsets: Close of the database ends them all.
struct OpenFlag {
    bool open = true;
};

class LibmdbRecordset : public ports::Recordset {
public:
    LibmdbRecordset(std::shared_ptr<OpenFlag> db, ReaderResult result) : db_(std::move(db)), result_(std::move(result)) {}

    bool IsEOF() override {
        CheckOpen();
        return pos_ >= result_.rows.size();
    }
    void MoveNext() override {
        CheckOpen();
        if (pos_ >= result_.rows.size()) throw vb::Error(vb::kNoCurrentRecord, "No current record.");
        ++pos_;
    }
    ports::Value Field(const std::string& Name) override {
        CheckOpen();
        for (size_t i = 0; i < result_.columns.size(); ++i) {
            if (!vb::EqualsIgnoringCase(result_.columns[i], Name)) continue;
            if (pos_ >= result_.rows.size()) throw vb::Error(vb::kNoCurrentRecord, "No current record.");
            return result_.rows[pos_][i];
        }
        throw vb::Error(vb::kItemNotFound, "Item not found in this collection.");
    }
    void Close() override { open_ = false; }
    std::vector<std::string> Names() override {
        CheckOpen();
        return result_.columns;
    }

private:
    void CheckOpen() const {
        if (!open_ || !db_->open) throw vb::ObjectInvalid();
    }
    std::shared_ptr<OpenFlag> db_;
    ReaderResult result_;
    size_t pos_ = 0;
    bool open_ = true;
};

// A table's rows, a batch at a time from the reader. Once a batch fails,
// every later call fails the same way: the rows given so far are never
// taken for the table whole.
class LibmdbRowStream : public ports::RowStream {
public:
    LibmdbRowStream(std::shared_ptr<ReaderProcess> reader, std::shared_ptr<OpenFlag> db, std::string hostPath,
                    std::string displayPath, const std::string& table, const std::string& find)
        : reader_(std::move(reader)), db_(std::move(db)), hostPath_(std::move(hostPath)),
          displayPath_(std::move(displayPath)) {
        id_ = reader_->OpenTable(hostPath_, displayPath_, table, find, head_, batch_);
    }

    const std::vector<ports::ColumnInfo>& Columns() const override { return head_.columns; }
    const std::vector<std::string>& PrimaryKey() const override { return head_.primaryKey; }
    std::optional<uint64_t> StoredCount() const override { return head_.storedRows; }

    bool Next(std::vector<ports::Value>& row) override {
        if (failure_) throw *failure_;
        if (!db_->open) throw vb::ObjectInvalid();
        try {
            while (pos_ >= batch_.rows.size()) {
                if (batch_.last) return false;
                batch_ = reader_->NextBatch(id_, hostPath_, displayPath_);
                pos_ = 0;
            }
        } catch (const vb::Error& e) {
            failure_ = e;
            batch_ = ReaderBatch{};
            throw;
        }
        row = std::move(batch_.rows[pos_++]);
        return true;
    }

private:
    std::shared_ptr<ReaderProcess> reader_;
    std::shared_ptr<OpenFlag> db_;
    std::string hostPath_, displayPath_;
    TableHead head_;
    ReaderBatch batch_;
    size_t pos_ = 0;
    uint64_t id_ = 0;
    std::optional<vb::Error> failure_;
};

class LibmdbDatabase : public ports::Database {
public:
    LibmdbDatabase(std::shared_ptr<ReaderProcess> reader, std::string hostPath, std::string displayPath)
        : reader_(std::move(reader)), hostPath_(std::move(hostPath)), displayPath_(std::move(displayPath)),
          flag_(std::make_shared<OpenFlag>()) {}
    ~LibmdbDatabase() override { flag_->open = false; }

    std::unique_ptr<ports::Recordset> OpenRecordset(const std::string& Query, int) override {
        if (!flag_->open) throw vb::ObjectInvalid();
        ParseQuery(Query);  // a syntax error needs no reader
        return std::make_unique<LibmdbRecordset>(flag_, reader_->Run(hostPath_, displayPath_, Query));
    }
    void Close() override { flag_->open = false; }

    std::unique_ptr<ports::RowStream> OpenTable(const std::string& Name) override { return FindRecords(Name, ""); }
    std::unique_ptr<ports::RowStream> FindRecords(const std::string& Name, const std::string& Text) override {
        if (!flag_->open) throw vb::ObjectInvalid();
        return std::make_unique<LibmdbRowStream>(reader_, flag_, hostPath_, displayPath_, Name, Text);
    }

private:
    std::shared_ptr<ReaderProcess> reader_;
    std::string hostPath_, displayPath_;
    std::shared_ptr<OpenFlag> flag_;
};

// Says once per run, on stderr, which part of the sandbox the kernel does
// not offer (the reader goes on without it), or that the sandbox failed
// (then no file is read). Asked of the first reader only.
void AnnounceSandbox(ReaderProcess& reader) {
    static std::atomic<bool> asked{false};
    if (asked.exchange(true)) return;
    try {
        SandboxReport report = reader.Probe(std::string());
        if (report.bits & reader::kIncomplete) {
            std::fputs(reader::kSandboxFailedNotice, stderr);
            return;
        }
        if (!(report.bits & reader::kSeccomp)) std::fputs(reader::kNoSeccompNotice, stderr);
        if (!(report.bits & reader::kLandlock)) std::fputs(reader::kNoLandlockNotice, stderr);
    } catch (const vb::Error&) {
        // A reader that cannot answer fails the read that follows.
    }
}

}  // namespace

LibmdbEngine::LibmdbEngine(PathMap toHost, std::string readerPath, PathMap present)
    : toHost_(std::move(toHost)),
      present_(std::move(present)),
      reader_(std::make_shared<ReaderProcess>(std::move(readerPath), ReaderLimits{})) {}

std::unique_ptr<ports::Database> LibmdbEngine::OpenDatabase(const std::string& Path) {
    std::string host = toHost_ ? toHost_(Path) : Path;
    // Named before the file is looked at: presenting may touch errno.
    const std::string shown = present_ ? present_(Path) : Path;
    struct stat st {};
    if (host.empty() || stat(host.c_str(), &st) != 0) {
        if (!host.empty() && (errno == EACCES || errno == EPERM)) throw vb::CannotOpenDatabase(shown);
        throw vb::CouldNotFindFile(shown);
    }
    if (S_ISDIR(st.st_mode)) throw vb::CouldNotFindFile(shown);
    if (access(host.c_str(), R_OK) != 0) throw vb::CannotOpenDatabase(shown);
    AnnounceSandbox(*reader_);
    // Check the file now, so that a damaged one fails here and not at its
    // first query.
    reader_->Run(host, shown, std::string());
    return std::make_unique<LibmdbDatabase>(reader_, host, shown);
}

std::string ReaderPathFor(const std::string& programPath, const std::string& libexecFromBin) {
    // A relative path would be looked up in the current folder, which may
    // hold anything: without the program's own location there is no reader.
    if (programPath.empty() || programPath.front() != '/') return std::string();
    const std::string name = "rolvane-mdb-reader";
    const std::string dir = programPath.substr(0, programPath.rfind('/') + 1);
    const std::string beside = dir + name;
    if (access(beside.c_str(), X_OK) == 0) return beside;
    return dir + libexecFromBin + "/" + name;
}

std::string DefaultReaderPath() {
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string program = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
    return ReaderPathFor(program, ROLVANE_LIBEXEC_FROM_BIN);
}

}  // namespace jet
