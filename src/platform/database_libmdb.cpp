#include "platform/database_libmdb.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include "vb/error.h"
#include "platform/mdb_reader_protocol.h"
#include "platform/query.h"

extern char** environ;

namespace platform {
namespace {

vb::Error CouldNotFind(const std::string& path) {
    return vb::Error(vb::kCouldNotFindFile, "Could not find file '" + path + "'.");
}
vb::Error CannotOpen(const std::string& path) {
    return vb::Error(vb::kCannotOpenExclusive,
                     "The Microsoft Jet database engine cannot open the file '" + path +
                         "'. It is already opened exclusively by another user, or you need permission to view its data.");
}
vb::Error Unrecognized(const std::string& path) {
    return vb::Error(vb::kUnrecognizedFormat, "Unrecognized database format '" + path + "'.");
}
vb::Error ObjectInvalid() { return vb::Error(vb::kObjectInvalid, "Object invalid or no longer set."); }

// ---- the child process -----------------------------------------------------

// Owns the spawned child: whatever way we leave, it is killed and reaped, so
// no reader outlives the call that started it.
class Child {
public:
    explicit Child(pid_t pid) : pid_(pid) {
#ifdef SYS_pidfd_open
        pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#endif
    }
    ~Child() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            Reap();
        }
        if (pidfd_ >= 0) close(pidfd_);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Waits for the child to end until `deadline`; kills it then. Returns the
    // wait status.
    int WaitUntil(std::chrono::steady_clock::time_point deadline) {
        while (true) {
            int status = 0;
            pid_t r = waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                pid_ = -1;
                return status;
            }
            if (r < 0 && errno != EINTR) {
                pid_ = -1;
                return -1;
            }
            int left = MillisecondsLeft(deadline);
            if (left <= 0) {
                kill(pid_, SIGKILL);
                return Reap();
            }
            if (pidfd_ >= 0) {
                pollfd p{pidfd_, POLLIN, 0};
                poll(&p, 1, left);
            } else {
                // No pidfd (old kernel): look again shortly.
                poll(nullptr, 0, left < 2 ? left : 2);
            }
        }
    }

    void Kill() { kill(pid_, SIGKILL); }

    static int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        return left <= 0 ? 0 : left > INT_MAX ? INT_MAX : static_cast<int>(left);
    }

private:
    int Reap() {
        int status = -1;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return status;
    }
    pid_t pid_;
    int pidfd_ = -1;
};

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void Reset(int fd = -1) {
        if (fd_ >= 0) close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

// The environment for the child, without the libmdb variables that change
// its behaviour (an empty MDBPATH entry makes it loop on a missing file).
std::vector<std::string> ChildEnvironment() {
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        if (strncmp(*e, "MDB", 3) == 0) continue;
        env.emplace_back(*e);
    }
    return env;
}

struct Frames {
    bool ended = false;
    uint32_t endCount = 0;
    bool failed = false;
    int32_t number = 0;
    std::string description;
    ReaderResult result;
};

// Decodes what the child wrote; false when it is not a well-formed answer.
bool Decode(const std::string& data, Frames& out) {
    using reader::Cursor;
    using reader::Kind;
    Cursor all(data.data(), data.size());
    bool haveColumns = false;
    while (!all.done()) {
        char tag = static_cast<char>(all.U8());
        std::string raw = all.Bytes(all.U32());
        if (!all.ok()) return false;
        Cursor p(raw.data(), raw.size());
        if (out.ended) return false;  // nothing may follow the end
        switch (tag) {
        case 'C': {
            if (haveColumns) return false;
            uint32_t n = p.U32();
            if (!p.ok() || n > raw.size()) return false;
            for (uint32_t i = 0; i < n; ++i) out.result.columns.push_back(p.Text());
            haveColumns = true;
            break;
        }
        case 'R': {
            if (!haveColumns) return false;
            std::vector<Value> row;
            row.reserve(out.result.columns.size());
            for (size_t i = 0; i < out.result.columns.size(); ++i) {
                switch (static_cast<Kind>(p.U8())) {
                case Kind::Null: row.emplace_back(Null{}); break;
                case Kind::Int: row.emplace_back(static_cast<int64_t>(p.U64())); break;
                case Kind::Double: row.emplace_back(reader::BitsDouble(p.U64())); break;
                case Kind::Text: row.emplace_back(p.Text()); break;
                case Kind::Date: {
                    vb::DateTime d;
                    d.year = static_cast<int32_t>(p.U32());
                    d.month = static_cast<int32_t>(p.U32());
                    d.day = static_cast<int32_t>(p.U32());
                    d.hour = static_cast<int32_t>(p.U32());
                    d.minute = static_cast<int32_t>(p.U32());
                    d.second = static_cast<int32_t>(p.U32());
                    row.emplace_back(d);
                    break;
                }
                default: return false;
                }
            }
            out.result.rows.push_back(std::move(row));
            break;
        }
        case 'E':
            out.failed = true;
            out.number = static_cast<int32_t>(p.U32());
            out.description = p.Text();
            break;
        case 'Z':
            out.ended = true;
            out.endCount = p.U32();
            break;
        default: return false;
        }
        if (!p.ok() || !p.done()) return false;
    }
    return true;
}

}  // namespace

ReaderResult RunReader(const std::string& readerPath, const std::string& hostPath, const std::string& displayPath,
                       const std::string& query, const ReaderLimits& limits) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw CannotOpen(displayPath);
    Fd readEnd(fds[0]), writeEnd(fds[1]);
    // The answer travels on descriptor 3; keep the write end off 3 itself so
    // that dup2 in the child clears close-on-exec.
    if (writeEnd.get() == reader::kProtocolFd) writeEnd.Reset(fcntl(fds[1], F_DUPFD_CLOEXEC, 10));

    std::vector<std::string> args = {readerPath,
                                     "--cpu", std::to_string(limits.cpuSeconds),
                                     "--memory", std::to_string(limits.memoryBytes),
                                     "--noise", std::to_string(limits.noiseBytes),
                                     "--", hostPath};
    if (!query.empty()) args.push_back(query);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = ChildEnvironment();
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Nothing the child or libmdb prints may reach the user's terminal.
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), reader::kProtocolFd);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, readerPath.c_str(), &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) throw CannotOpen(displayPath);
    Child child(pid);
    writeEnd.Reset();

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limits.wallClockMs);
    std::string data;
    bool overrun = false;
    char buf[65536];
    while (true) {
        int left = Child::MillisecondsLeft(deadline);
        if (left <= 0) {
            overrun = true;
            break;
        }
        pollfd p{readEnd.get(), POLLIN, 0};
        int n = poll(&p, 1, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) continue;  // the deadline is checked above
        ssize_t got = read(readEnd.get(), buf, sizeof buf);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got <= 0) break;  // end of the answer
        if (data.size() + static_cast<size_t>(got) > limits.outputBytes) {
            overrun = true;
            break;
        }
        data.append(buf, static_cast<size_t>(got));
    }
    if (overrun) child.Kill();
    int status = child.WaitUntil(deadline);
    if (overrun || status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) throw Unrecognized(displayPath);

    Frames frames;
    if (!Decode(data, frames)) throw Unrecognized(displayPath);
    if (frames.failed) {
        switch (frames.number) {
        case vb::kCouldNotFindFile: throw CouldNotFind(displayPath);
        case vb::kCannotOpenExclusive: throw CannotOpen(displayPath);
        case vb::kUnrecognizedFormat: throw Unrecognized(displayPath);
        default: throw vb::Error(frames.number, frames.description);
        }
    }
    if (!frames.ended || frames.endCount != frames.result.rows.size()) throw Unrecognized(displayPath);
    if (!query.empty() && frames.result.columns.empty()) throw Unrecognized(displayPath);
    return std::move(frames.result);
}

// ---- DAO objects ---------------------------------------------------------------

namespace {

// Shared by a database and its recordsets: Close of the database ends them all.
struct OpenFlag {
    bool open = true;
};

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

class LibmdbRecordset : public Recordset {
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
    Value Field(const std::string& Name) override {
        CheckOpen();
        for (size_t i = 0; i < result_.columns.size(); ++i) {
            if (!SameNameIgnoringCase(result_.columns[i], Name)) continue;
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
        if (!open_ || !db_->open) throw ObjectInvalid();
    }
    std::shared_ptr<OpenFlag> db_;
    ReaderResult result_;
    size_t pos_ = 0;
    bool open_ = true;
};

class LibmdbDatabase : public Database {
public:
    LibmdbDatabase(std::string readerPath, std::string hostPath, std::string displayPath, ReaderLimits limits)
        : readerPath_(std::move(readerPath)), hostPath_(std::move(hostPath)), displayPath_(std::move(displayPath)),
          limits_(limits), flag_(std::make_shared<OpenFlag>()) {}
    ~LibmdbDatabase() override { flag_->open = false; }

    std::unique_ptr<Recordset> OpenRecordset(const std::string& Query, int) override {
        if (!flag_->open) throw ObjectInvalid();
        ParseQuery(Query);  // a syntax error needs no child
        return std::make_unique<LibmdbRecordset>(flag_, RunReader(readerPath_, hostPath_, displayPath_, Query, limits_));
    }
    void Close() override { flag_->open = false; }

private:
    std::string readerPath_, hostPath_, displayPath_;
    ReaderLimits limits_;
    std::shared_ptr<OpenFlag> flag_;
};

}  // namespace

LibmdbEngine::LibmdbEngine(std::function<std::string(const std::string&)> toHost, std::string readerPath)
    : toHost_(std::move(toHost)), readerPath_(std::move(readerPath)) {}

std::unique_ptr<Database> LibmdbEngine::OpenDatabase(const std::string& Path) {
    std::string host = toHost_ ? toHost_(Path) : Path;
    struct stat st {};
    if (host.empty() || stat(host.c_str(), &st) != 0) {
        if (!host.empty() && (errno == EACCES || errno == EPERM)) throw CannotOpen(Path);
        throw CouldNotFind(Path);
    }
    if (S_ISDIR(st.st_mode)) throw CouldNotFind(Path);
    if (access(host.c_str(), R_OK) != 0) throw CannotOpen(Path);
    // Check the file now, so that a damaged one fails here and not at its
    // first query.
    RunReader(readerPath_, host, Path, std::string(), limits_);
    return std::make_unique<LibmdbDatabase>(readerPath_, host, Path, limits_);
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

}  // namespace platform
