#include "jet/reader/sandbox.h"

#include <fcntl.h>
#include <linux/landlock.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace jet::reader {
namespace {

// Rights newer than the oldest kernel headers we build with.
constexpr uint64_t kLandlockRefer = 1ull << 13;     // ABI 2
constexpr uint64_t kLandlockTruncate = 1ull << 14;  // ABI 3
constexpr uint64_t kLandlockIoctlDev = 1ull << 15;  // ABI 5

// Every file-system right the kernel's ABI knows; all of them are refused
// except reading.
uint64_t HandledRights(long abi) {
    uint64_t rights = (1ull << 13) - 1;  // ABI 1: execute .. make symlink
    if (abi >= 2) rights |= kLandlockRefer;
    if (abi >= 3) rights |= kLandlockTruncate;
    if (abi >= 5) rights |= kLandlockIoctlDev;
    return rights;
}

// The kernel's Landlock ABI; 0 when it has none.
uint32_t LandlockAbi() {
#ifdef SYS_landlock_create_ruleset
    long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    return abi < 1 ? 0 : static_cast<uint32_t>(abi);
#else
    return 0;
#endif
}

// Applies the ruleset for Landlock ABI `abi`; false when it could not.
bool RestrictToReading(uint32_t abi) {
#ifdef SYS_landlock_create_ruleset
    landlock_ruleset_attr attr{};
    attr.handled_access_fs = HandledRights(abi);
    int ruleset = static_cast<int>(syscall(SYS_landlock_create_ruleset, &attr, sizeof attr, 0));
    if (ruleset < 0) return false;
    bool ok = false;
    int root = open("/", O_PATH | O_CLOEXEC);
    if (root >= 0) {
        landlock_path_beneath_attr beneath{};
        beneath.allowed_access = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;
        beneath.parent_fd = root;
        ok = syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &beneath, 0) == 0 &&
             syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
        close(root);
    }
    close(ruleset);
    return ok;
#else
    (void)abi;
    return false;
#endif
}

// The allow-list. Unlisted calls, and listed ones whose arguments do not
// match, fail with EPERM (a denied call that libmdb does not expect makes it
// fail, which the window sees as a damaged file).
bool InstallAllowList() {
    scmp_filter_ctx ctx = seccomp_init(SCMP_ACT_ERRNO(EPERM));
    if (!ctx) return false;
    bool ok = true;
    auto allow = [&](int call) { ok = ok && seccomp_rule_add(ctx, SCMP_ACT_ALLOW, call, 0) == 0; };
    auto allowIf = [&](int call, scmp_arg_cmp cmp) { ok = ok && seccomp_rule_add(ctx, SCMP_ACT_ALLOW, call, 1, cmp) == 0; };

    // Reading files that are open, and learning about them.
    for (int call : {SCMP_SYS(read), SCMP_SYS(pread64), SCMP_SYS(readv), SCMP_SYS(lseek), SCMP_SYS(close),
                     SCMP_SYS(fstat), SCMP_SYS(newfstatat), SCMP_SYS(statx), SCMP_SYS(fcntl)})
        allow(call);
    // Opening files for reading only: none of these flags may be set.
    const uint32_t writing = O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | O_APPEND | (O_TMPFILE & ~O_DIRECTORY);
    allowIf(SCMP_SYS(openat), SCMP_A2_32(SCMP_CMP_MASKED_EQ, writing, 0));
    allowIf(SCMP_SYS(open), SCMP_A1_32(SCMP_CMP_MASKED_EQ, writing, 0));
    // Writing: libmdb's output (1, 2: an in-memory file) and the answer (3).
    for (int call : {SCMP_SYS(write), SCMP_SYS(writev)})
        for (uint32_t fd : {1u, 2u, static_cast<uint32_t>(kProtocolFd)}) allowIf(call, SCMP_A0_32(SCMP_CMP_EQ, fd));
    // Memory, time, locks.
    for (int call : {SCMP_SYS(brk), SCMP_SYS(mmap), SCMP_SYS(munmap), SCMP_SYS(mremap), SCMP_SYS(mprotect),
                     SCMP_SYS(madvise), SCMP_SYS(futex), SCMP_SYS(getrandom), SCMP_SYS(clock_gettime),
                     SCMP_SYS(gettimeofday)})
        allow(call);
    // No limit may be changed from here on: the window moves the CPU limit
    // on before every request (reader_client.cpp), so that a reader that
    // libmdb has led astray cannot give itself more time.
    allow(SCMP_SYS(getrusage));
    // Ending, also through abort(), which signals only this process.
    for (int call : {SCMP_SYS(exit), SCMP_SYS(exit_group), SCMP_SYS(rt_sigreturn), SCMP_SYS(rt_sigprocmask),
                     SCMP_SYS(getpid), SCMP_SYS(gettid)})
        allow(call);
    allowIf(SCMP_SYS(tgkill), SCMP_A0_32(SCMP_CMP_EQ, static_cast<uint32_t>(getpid())));

    ok = ok && seccomp_load(ctx) == 0;
    seccomp_release(ctx);
    return ok;
}

ProbeOutcome Try(Attempt attempt, int result) {
    return ProbeOutcome{attempt, result < 0, result < 0 ? errno : 0};
}

}  // namespace

SandboxState EnterSandbox() {
    SandboxState state;
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return state;  // neither of the others works without it
    state.bits |= kNoNewPrivs;
    state.landlockAbi = LandlockAbi();
    if (state.landlockAbi && RestrictToReading(state.landlockAbi)) state.bits |= kLandlock;
    // A kernel without seccomp answers EINVAL here.
    const bool seccompOffered = prctl(PR_GET_SECCOMP, 0, 0, 0, 0) >= 0;
    if (seccompOffered && InstallAllowList()) state.bits |= kSeccomp;
    state.complete = (!state.landlockAbi || (state.bits & kLandlock)) && (!seccompOffered || (state.bits & kSeccomp));
    return state;
}

std::vector<ProbeOutcome> Probe(const std::string& folder) {
    std::vector<ProbeOutcome> out;
    const std::string existing = folder + "/existing", created = folder + "/created";

    int fd = open(existing.c_str(), O_WRONLY | O_CLOEXEC);
    out.push_back(Try(Attempt::OpenForWriting, fd));
    if (fd >= 0) close(fd);

    fd = open(created.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    out.push_back(Try(Attempt::CreateFile, fd));
    if (fd >= 0) {
        close(fd);
        unlink(created.c_str());
    }

    out.push_back(Try(Attempt::RemoveFile, unlink(existing.c_str())));

    char sh[] = "/bin/sh", dashC[] = "-c", nothing[] = ":";
    char* argv[] = {sh, dashC, nothing, nullptr};
    char* envp[] = {nullptr};
    out.push_back(Try(Attempt::Execute, execve(sh, argv, envp)));

    fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    out.push_back(Try(Attempt::OpenSocket, fd));
    if (fd >= 0) close(fd);
    return out;
}

}  // namespace jet::reader
