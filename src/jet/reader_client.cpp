#include "jet/reader_client.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "jet/reader_answer.h"
#include "vb/error.h"

extern char** environ;

namespace jet {
namespace {

using Clock = std::chrono::steady_clock;

// How many bytes of a long value's pieces move a request's limits on.
constexpr uint64_t kProgressBytes = 4ull << 20;

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

// Gives the reader `seconds` more CPU seconds than it has used so far: its
// soft RLIMIT_CPU, set from here. The reader cannot move it itself (its
// sandbox refuses every change of a limit), so a reader that libmdb has led
// into an endless loop cannot give itself more time, whatever it runs; the
// limit goes on per request, and so per batch of a table, not per reader.
// A reader that keeps its signal blocked is ended by the wall-clock deadline.
bool MoveCpuLimit(pid_t pid, int seconds) {
    clockid_t clock;
    timespec used {};
    struct rlimit now {};
    if (clock_getcpuclockid(pid, &clock) != 0 || clock_gettime(clock, &used) != 0 ||
        prlimit(pid, RLIMIT_CPU, nullptr, &now) != 0)
        return false;
    rlim_t soft = static_cast<rlim_t>(used.tv_sec) + 1 + static_cast<rlim_t>(seconds);
    if (now.rlim_max != RLIM_INFINITY && soft > now.rlim_max) soft = now.rlim_max;
    const struct rlimit next {soft, now.rlim_max};
    return prlimit(pid, RLIMIT_CPU, &next, nullptr) == 0;
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
        int status = WaitUntil(deadline);
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            Reap();
        }
        return status;
    }

    // Waits until `deadline` for the reader to end, and reaps it. Returns the
    // wait status; -1 when it has not ended by then, or is not ours to wait for.
    int WaitUntil(Clock::time_point deadline) {
        while (pid_ > 0) {
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
            if (left <= 0) return -1;
            if (pidfd_ >= 0) {
                pollfd p{pidfd_, POLLIN, 0};
                poll(&p, 1, left);
            } else {
                poll(nullptr, 0, left < 2 ? left : 2);  // no pidfd (old kernel): look again shortly
            }
        }
        return -1;
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

namespace {

// Why a reader stopped before its answer ended, as far as its end tells:
// mostly a limit it ran into while libmdb read a damaged file.
std::string HowItEnded(ReaderProcess::Child& child, const ReaderLimits& limits) {
    const int status = child.WaitUntil(Clock::now() + std::chrono::milliseconds(200));
    if (status == -1) return "the reader closed its socket before its answer ended";
    if (WIFEXITED(status) && WEXITSTATUS(status) == 5)
        return "the reader reached its memory cap of " + std::to_string(limits.memoryBytes) + " bytes";
    if (WIFEXITED(status)) return "the reader ended with status " + std::to_string(WEXITSTATUS(status));
    if (!WIFSIGNALED(status)) return "the reader stopped before its answer ended";
    const int sig = WTERMSIG(status);
    if (sig == SIGXCPU) return "the reader used up its " + std::to_string(limits.cpuSeconds) + " CPU seconds";
    if (sig == SIGXFSZ) return "libmdb printed more than " + std::to_string(limits.noiseBytes) + " bytes";
    return "the reader was ended by signal " + std::to_string(sig) + " (" + strsignal(sig) + ")";
}

}  // namespace

ReaderProcess::ReaderProcess(std::string readerPath, ReaderLimits limits)
    : readerPath_(std::move(readerPath)), limits_(limits) {}

ReaderProcess::~ReaderProcess() = default;

pid_t ReaderProcess::Pid() const { return child_ ? child_->Pid() : -1; }

void ReaderProcess::Drop() {
    child_.reset();
    stream_ = 0;
    checking_ = false;
    paging_ = 0;
}

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

ReaderProcess::Answer ReaderProcess::Exchange(char tag, const std::string& payload, const std::string& hostPath,
                                              const std::string& displayPath, size_t columns) {
    if (child_ && !child_->Idle()) Drop();  // it died or misbehaved since its last answer
    const bool next = tag == 'N' || tag == 'J';
    if (next && !child_) {
        Refused(hostPath, "the reader ended between two batches of a table");
        throw vb::UnrecognizedFormat(displayPath).WithDetail("the reader ended between two batches of a table");
    }
    if (!next) {
        // the reader ends its stream, or its check, on any other request
        stream_ = 0;
        checking_ = false;
        paging_ = 0;
    }
    if (!child_) Start(displayPath);
    if (!MoveCpuLimit(child_->Pid(), limits_.cpuSeconds)) {
        // A reader whose limit cannot be moved on keeps only the seconds it
        // started with: a fresh one has those for this request.
        Drop();
        if (next) {
            Refused(hostPath, "the reader's CPU limit could not be moved on for the next batch");
            throw vb::UnrecognizedFormat(displayPath)
                .WithDetail("the reader's CPU limit could not be moved on for the next batch");
        }
        Start(displayPath);
    }

    auto deadline = Clock::now() + std::chrono::milliseconds(limits_.wallClockMs);
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

    Answer answer;
    reader::Pieces& pieces = answer.frames.pieces;
    uint64_t piecesThen = 0;  // the pieces' bytes when the limits last moved on
    bool stuck = false;
    std::string data;
    size_t scanned = 0, end = 0;
    char buf[65536];
    while (end == 0) {
        // A long value coming in pieces is progress: every so many bytes of
        // it give the request its time afresh, so that the limits bound
        // the time of a piece, not of a value of any size.
        if (pieces.bytes - piecesThen >= kProgressBytes) {
            piecesThen = pieces.bytes;
            deadline = Clock::now() + std::chrono::milliseconds(limits_.wallClockMs);
            if (!MoveCpuLimit(child_->Pid(), limits_.cpuSeconds)) {
                stuck = true;
                break;
            }
        }
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
        end = reader::AnswerEnd(data, scanned, limits_.outputBytes, pieces);
    }
    std::string wrong;
    if (stuck) wrong = "the reader's CPU limit could not be moved on for the rest of a long value";
    else if (end == SIZE_MAX && pieces.wrong) wrong = "the reader's answer is not well formed";
    else if (end == SIZE_MAX) wrong = "the reader's answer is longer than " + std::to_string(limits_.outputBytes) + " bytes";
    else if (end == 0 && MillisecondsLeft(deadline) > 0) wrong = HowItEnded(*child_, limits_);
    else if (end == 0) wrong = "the reader did not answer within " + std::to_string(limits_.wallClockMs) + " ms";
    else if (end != data.size() || !reader::Decode(data, answer.frames, columns)) wrong = "the reader's answer is not well formed";
    if (!wrong.empty()) {
        Drop();
        Refused(hostPath, wrong);
        throw vb::UnrecognizedFormat(displayPath).WithDetail(wrong);
    }
    return answer;
}

ReaderResult ReaderProcess::Run(const std::string& hostPath, const std::string& displayPath, const std::string& query) {
    std::string payload;
    reader::PutU32(payload, reader::kProtocolVersion);
    reader::PutText(payload, hostPath);
    reader::PutText(payload, query);
    Answer answer = Exchange('Q', payload, hostPath, displayPath);
    if (answer.frames.failed || answer.frames.head || answer.frames.batch) Fail(answer, hostPath, displayPath);
    reader::Frames& frames = answer.frames;
    if (!frames.ended || frames.endCount != frames.result.rows.size() ||
        (!query.empty() && frames.result.columns.empty())) {
        Drop();
        Refused(hostPath, "the reader's answer is not whole");
        throw vb::UnrecognizedFormat(displayPath).WithDetail("the reader's answer is not whole");
    }
    return std::move(frames.result);
}

void ReaderProcess::Fail(const Answer& answer, const std::string& hostPath, const std::string& displayPath) {
    const reader::Frames& frames = answer.frames;
    if (frames.failed) {
        switch (frames.number) {
        case vb::kCouldNotFindFile: throw vb::CouldNotFindFile(displayPath);
        case vb::kCannotOpenExclusive: throw vb::CannotOpenDatabase(displayPath);
        case vb::kUnrecognizedFormat:
            // Whatever libmdb did with a damaged file stays with this reader.
            Drop();
            Refused(hostPath, frames.description);
            throw vb::UnrecognizedFormat(displayPath).WithDetail(frames.description);
        default: throw vb::Error(frames.number, frames.description);
        }
    }
    Drop();
    Refused(hostPath, "the reader's answer is not whole");
    throw vb::UnrecognizedFormat(displayPath).WithDetail("the reader's answer is not whole");
}

SandboxReport ReaderProcess::Probe(const std::string& folder) {
    std::string payload;
    reader::PutU32(payload, reader::kProtocolVersion);
    reader::PutText(payload, folder);
    reader::Frames frames = Exchange('P', payload, folder, folder).frames;
    if (!frames.sandbox) {
        Drop();
        Refused(folder, "the reader's answer to a probe is not one");
        throw vb::UnrecognizedFormat(folder).WithDetail("the reader's answer to a probe is not one");
    }
    return frames.report;
}

void ReaderProcess::Refused(const std::string& hostPath, const std::string& reason) {
    // The reason comes from a file that may be damaged, or made to deceive:
    // control characters are not let through to the terminal, and it is
    // said on one line of limited length.
    auto printable = [](const std::string& text, size_t most) {
        std::string out;
        for (char c : text.substr(0, most)) out += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
        return out;
    };
    lastRefusal_ = printable(reason.empty() ? "no reason given" : reason, 300);
    if (quiet_) return;
    const std::string line = "restore-rolvane-data: the database reader refused " + printable(hostPath, 4096) + ": " +
                             lastRefusal_ + "\n";
    if (!refusals_.insert(line).second) return;
    std::fputs(line.c_str(), stderr);
}

ReaderResult RunReader(const std::string& readerPath, const std::string& hostPath, const std::string& displayPath,
                       const std::string& query, const ReaderLimits& limits) {
    ReaderProcess reader(readerPath, limits);
    ReaderResult result = reader.Run(hostPath, displayPath, query);
    if (!reader.Finish()) {
        reader.Refused(hostPath, "the reader did not end cleanly after its answer");
        throw vb::UnrecognizedFormat(displayPath).WithDetail("the reader did not end cleanly after its answer");
    }
    return result;
}

}  // namespace jet
