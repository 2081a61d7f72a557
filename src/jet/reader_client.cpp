#include "jet/reader_client.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include "vb/error.h"

extern char** environ;

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

// The environment for the reader, without the libmdb variables that change
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
    bool sandbox = false;
    SandboxReport report;
    ReaderResult result;
};

bool DecodeRow(reader::Cursor& p, size_t columns, std::vector<Value>& row) {
    using reader::Kind;
    row.reserve(columns);
    for (size_t i = 0; i < columns; ++i) {
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
    return true;
}

// Decodes one answer; false when it is not well formed.
bool Decode(const std::string& data, Frames& out) {
    reader::Cursor all(data.data(), data.size());
    bool haveColumns = false;
    while (!all.done()) {
        char tag = static_cast<char>(all.U8());
        std::string raw = all.Bytes(all.U32());
        if (!all.ok()) return false;
        reader::Cursor p(raw.data(), raw.size());
        if (out.ended || out.failed || out.sandbox) return false;  // nothing may follow the end
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
            if (!DecodeRow(p, out.result.columns.size(), row)) return false;
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
        case 'S': {
            out.sandbox = true;
            out.report.bits = p.U32();
            out.report.landlockAbi = p.U32();
            uint32_t n = p.U32();
            if (!p.ok() || n > raw.size()) return false;
            for (uint32_t i = 0; i < n; ++i) {
                auto attempt = static_cast<reader::Attempt>(p.U8());
                bool refused = p.U8() != 0;
                out.report.outcomes.push_back({attempt, refused, static_cast<int>(p.U32())});
            }
            break;
        }
        default: return false;
        }
        if (!p.ok() || !p.done()) return false;
    }
    return true;
}

// Where the answer in `data` ends: the offset just past its last frame ('E',
// 'Z' or 'S'), 0 while it is incomplete, SIZE_MAX when a frame announces
// more than `cap` bytes.
size_t AnswerEnd(const std::string& data, size_t& scanned, uint64_t cap) {
    while (data.size() - scanned >= 5) {
        reader::Cursor head(data.data() + scanned + 1, 4);
        uint64_t end = scanned + 5 + uint64_t{head.U32()};
        if (end > cap) return SIZE_MAX;
        if (end > data.size()) return 0;
        const char tag = data[scanned];
        scanned = static_cast<size_t>(end);
        if (tag == 'E' || tag == 'Z' || tag == 'S') return scanned;
    }
    return 0;
}

}  // namespace

// One running reader: its process, a descriptor that tells when it ends, and
// the window's end of its socket. Whatever way it goes, the process is killed
// and reaped, so no reader outlives the ReaderProcess that started it.
class ReaderProcess::Child {
public:
    Child(pid_t pid, int socket) : pid_(pid), socket_(socket) {
#ifdef SYS_pidfd_open
        pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#endif
    }
    ~Child() {
        if (socket_ >= 0) close(socket_);
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            Reap();
        }
        if (pidfd_ >= 0) close(pidfd_);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t Pid() const { return pid_; }
    int Socket() const { return socket_; }

    // Between requests nothing may arrive: a reader whose socket has
    // something to read, or that has ended, is of no further use.
    bool Idle() {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) != 0) {
            pid_ = -1;  // reaped (or not ours to wait for): never signal that number again
            return false;
        }
        pollfd p{socket_, POLLIN, 0};
        return poll(&p, 1, 0) == 0;
    }

    // Closes the socket, so that the reader ends, and waits for that until
    // `deadline`; kills it then. Returns the wait status, -1 when unknown.
    int CloseAndWait(Clock::time_point deadline) {
        close(socket_);
        socket_ = -1;
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
                Reap();
                return -1;
            }
            if (pidfd_ >= 0) {
                pollfd p{pidfd_, POLLIN, 0};
                poll(&p, 1, left);
            } else {
                poll(nullptr, 0, left < 2 ? left : 2);  // no pidfd (old kernel): look again shortly
            }
        }
    }

private:
    void Reap() {
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }
    pid_t pid_;
    int socket_;
    int pidfd_ = -1;
};

struct ReaderProcess::Answer {
    Frames frames;
};

ReaderProcess::ReaderProcess(std::string readerPath, ReaderLimits limits)
    : readerPath_(std::move(readerPath)), limits_(limits) {}

ReaderProcess::~ReaderProcess() = default;

pid_t ReaderProcess::Pid() const { return child_ ? child_->Pid() : -1; }

void ReaderProcess::Drop() { child_.reset(); }

void ReaderProcess::SetLimits(const ReaderLimits& limits) {
    limits_ = limits;
    Drop();
}

bool ReaderProcess::Finish() {
    if (!child_) return false;
    int status = child_->CloseAndWait(Clock::now() + std::chrono::milliseconds(limits_.wallClockMs));
    child_.reset();
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void ReaderProcess::Start(const std::string& displayPath) {
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) throw vb::CannotOpenDatabase(displayPath);
    int mine = sv[0], theirs = sv[1];
    // The reader finds its socket at descriptor 3; keep its end off 3 here,
    // so that dup2 in the child clears close-on-exec.
    if (theirs == reader::kProtocolFd) {
        theirs = fcntl(sv[1], F_DUPFD_CLOEXEC, 10);
        close(sv[1]);
        if (theirs < 0) {
            close(mine);
            throw vb::CannotOpenDatabase(displayPath);
        }
    }
    std::vector<std::string> args = {readerPath_,
                                     "--cpu", std::to_string(limits_.cpuSeconds),
                                     "--memory", std::to_string(limits_.memoryBytes),
                                     "--noise", std::to_string(limits_.noiseBytes)};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = ChildEnvironment();
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Nothing the reader or libmdb prints may reach the user's terminal.
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, theirs, reader::kProtocolFd);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, readerPath_.c_str(), &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(theirs);
    if (rc != 0) {
        close(mine);
        throw vb::CannotOpenDatabase(displayPath);
    }
    child_ = std::make_unique<Child>(pid, mine);
}

ReaderProcess::Answer ReaderProcess::Exchange(char tag, const std::string& payload, const std::string& displayPath) {
    if (child_ && !child_->Idle()) Drop();  // it died or misbehaved since its last answer
    if (!child_) Start(displayPath);

    const auto deadline = Clock::now() + std::chrono::milliseconds(limits_.wallClockMs);
    const int fd = child_->Socket();

    // A reader that has gone away cannot take the request; what it left on
    // the socket is still read below, and without an answer it fails there.
    std::string request;
    reader::PutFrame(request, tag, payload);
    for (size_t off = 0; off < request.size() && MillisecondsLeft(deadline) > 0;) {
        pollfd p{fd, POLLOUT, 0};
        poll(&p, 1, MillisecondsLeft(deadline));
        ssize_t n = send(fd, request.data() + off, request.size() - off, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) break;
        off += static_cast<size_t>(n);
    }

    std::string data;
    size_t scanned = 0, end = 0;
    char buf[65536];
    while (end == 0) {
        int left = MillisecondsLeft(deadline);
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        int n = poll(&p, 1, left);
        if (n < 0 && errno != EINTR) break;
        if (n <= 0) continue;  // the deadline is checked above
        ssize_t got = read(fd, buf, sizeof buf);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got <= 0) break;  // the reader ended before its answer did
        data.append(buf, static_cast<size_t>(got));
        end = AnswerEnd(data, scanned, limits_.outputBytes);
    }
    Answer answer;
    if (end == 0 || end == SIZE_MAX || end != data.size() || !Decode(data, answer.frames)) {
        Drop();
        throw vb::UnrecognizedFormat(displayPath);
    }
    return answer;
}

ReaderResult ReaderProcess::Run(const std::string& hostPath, const std::string& displayPath, const std::string& query) {
    std::string payload;
    reader::PutU32(payload, reader::kProtocolVersion);
    reader::PutText(payload, hostPath);
    reader::PutText(payload, query);
    Frames frames = Exchange('Q', payload, displayPath).frames;
    if (frames.failed) {
        switch (frames.number) {
        case vb::kCouldNotFindFile: throw vb::CouldNotFindFile(displayPath);
        case vb::kCannotOpenExclusive: throw vb::CannotOpenDatabase(displayPath);
        case vb::kUnrecognizedFormat:
            // Whatever libmdb did with a damaged file stays with this reader.
            Drop();
            throw vb::UnrecognizedFormat(displayPath);
        default: throw vb::Error(frames.number, frames.description);
        }
    }
    if (!frames.ended || frames.endCount != frames.result.rows.size() ||
        (!query.empty() && frames.result.columns.empty())) {
        Drop();
        throw vb::UnrecognizedFormat(displayPath);
    }
    return std::move(frames.result);
}

SandboxReport ReaderProcess::Probe(const std::string& folder) {
    std::string payload;
    reader::PutU32(payload, reader::kProtocolVersion);
    reader::PutText(payload, folder);
    Frames frames = Exchange('P', payload, folder).frames;
    if (!frames.sandbox) {
        Drop();
        throw vb::UnrecognizedFormat(folder);
    }
    return frames.report;
}

ReaderResult RunReader(const std::string& readerPath, const std::string& hostPath, const std::string& displayPath,
                       const std::string& query, const ReaderLimits& limits) {
    ReaderProcess reader(readerPath, limits);
    ReaderResult result = reader.Run(hostPath, displayPath, query);
    if (!reader.Finish()) throw vb::UnrecognizedFormat(displayPath);
    return result;
}

}  // namespace platform
