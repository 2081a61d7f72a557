// The engine's one long-lived reader: many databases through one process,
// damaged files in between that take nothing into the next answer, a reader
// killed between requests or in the middle of one, the deadline, the memory
// cap, and the sandbox it reads in.
#include <linux/landlock.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <thread>

#include "jet/db_test_support.h"

namespace {

using dbtest::ErrorOf;
using ports::Value;

const char* kCountRoof = "select count(*) as counter from roof ";

std::string WriteRoof(const dbtest::TempDir& dir, const std::string& name, std::size_t rows) {
    mkmdb::Table t;
    t.name = "roof";
    t.columns = {{"ID", mkmdb::ColumnType::Long}, {"Name", mkmdb::ColumnType::Text, 50}};
    t.row_count = rows;
    t.generate = [](std::size_t i, mkmdb::Row& row) {
        row[0] = static_cast<int32_t>(i + 1);
        row[1] = "Contact " + std::to_string(i + 1);
    };
    std::string file = dir.File(name);
    mkmdb::Write(file, {t});
    return file;
}

// The roof count of `file` by the utility's statement, or the error number
// as a negative count.
int64_t Count(jet::LibmdbEngine& engine, const std::string& file) {
    int64_t n = 0;
    int number = ErrorOf([&] {
        auto db = engine.OpenDatabase(file);
        n = std::get<int64_t>(db->OpenRecordset(kCountRoof, ports::dbOpenDynaset)->Field("Counter"));
    });
    return number ? -number : n;
}

// Waits until the process has ended, leaving it for its parent to reap.
void AwaitEnd(pid_t pid) {
    siginfo_t info{};
    while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
    }
}

std::string MakeFifo(const dbtest::TempDir& dir) {
    std::string fifo = dir.File("fifo.mdb");
    if (mkfifo(fifo.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
    return fifo;
}

// The kinds of damage the reader must survive, made from a good roof file.
std::vector<std::string> DamagedFiles(const dbtest::TempDir& dir, const std::string& good) {
    std::vector<std::string> files;
    auto variant = [&](const std::string& name, const std::function<void(std::vector<unsigned char>&)>& patch) {
        auto bytes = dbtest::ReadBytes(good);
        patch(bytes);
        files.push_back(dir.File(name));
        dbtest::WriteBytes(files.back(), bytes);
    };
    variant("cut.mdb", [](auto& b) { b.resize(b.size() / 4096 / 2 * 4096); });
    variant("catalogue-zeroed.mdb", [](auto& b) { std::fill(b.begin() + 2 * 4096, b.begin() + 3 * 4096, 0); });
    variant("random.mdb", [](auto& b) {
        for (size_t i = 4096; i < b.size(); ++i) b[i] = static_cast<unsigned char>(i * 2654435761u >> 13);
    });
    // The fuzzed reproducers that reach libmdb: endless loops, runaway memory, a crash.
    if (std::filesystem::exists(dbtest::SamplesDir() + "/damaged")) {
        for (const auto& e : std::filesystem::directory_iterator(dbtest::SamplesDir() + "/damaged")) {
            if (e.path().extension() != ".mdb") continue;
            auto bytes = dbtest::ReadBytes(e.path().string());
            size_t page = bytes.size() > 0x14 && bytes[0x14] == 0 ? 2048 : 4096;
            bytes.resize((bytes.size() + page - 1) / page * page, 0);
            files.push_back(dir.File(e.path().filename().string()));
            dbtest::WriteBytes(files.back(), bytes);
        }
    }
    return files;
}

TEST(OneReader, ServesGoodFilesInOneProcessAndDamagedOnesTakeNothingAlong) {
    dbtest::TempDir dir;
    const std::vector<std::string> good = {WriteRoof(dir, "a.mdb", 10), WriteRoof(dir, "b.mdb", 250), WriteRoof(dir, "c.mdb", 3)};
    const std::vector<int64_t> rows = {10, 250, 3};
    auto engine = dbtest::Engine();

    // Good files one after another: one reader answers them all.
    ASSERT_EQ(Count(engine, good[0]), 10);
    const pid_t first = engine.ReaderPid();
    ASSERT_GT(first, 0);
    for (size_t i = 0; i < good.size(); ++i) EXPECT_EQ(Count(engine, good[i]), rows[i]);
    EXPECT_EQ(engine.ReaderPid(), first);

    // Each damaged file between two good ones: the damaged one is 3343, the
    // good one after it has its own count, read by a fresh reader.
    const auto damaged = DamagedFiles(dir, good[1]);
    dbtest::TerminalCapture capture(dir.File("terminal.txt"));
    for (size_t i = 0; i < damaged.size(); ++i) {
        SCOPED_TRACE(damaged[i]);
        EXPECT_EQ(Count(engine, damaged[i]), -3343);
        EXPECT_EQ(engine.ReaderPid(), -1) << "the reader that met a damaged file is not used again";
        EXPECT_EQ(Count(engine, good[i % good.size()]), rows[i % good.size()]);
    }
    EXPECT_TRUE(dbtest::RefusalsOf(capture.Restore(), damaged));
}

TEST(OneReader, KilledBetweenRequestsCostsNoRequest) {
    dbtest::TempDir dir;
    const std::string a = WriteRoof(dir, "a.mdb", 7), b = WriteRoof(dir, "b.mdb", 8);
    auto engine = dbtest::Engine();
    ASSERT_EQ(Count(engine, a), 7);
    const pid_t killed = engine.ReaderPid();
    ASSERT_EQ(kill(killed, SIGKILL), 0);
    AwaitEnd(killed);
    EXPECT_EQ(Count(engine, b), 8);
    EXPECT_NE(engine.ReaderPid(), killed);
    // An open database reads on through the new reader.
    auto db = engine.OpenDatabase(a);
    const pid_t second = engine.ReaderPid();
    ASSERT_EQ(kill(second, SIGKILL), 0);
    AwaitEnd(second);
    EXPECT_EQ(db->OpenRecordset(kCountRoof, ports::dbOpenDynaset)->Field("Counter"), Value(int64_t{7}));
}

// The reader opens a named pipe and waits there for a writer: a request
// that does not end by itself.
TEST(OneReader, KilledInTheMiddleOfARequestFailsOnlyThatRequest) {
    dbtest::TempDir dir;
    const std::string good = WriteRoof(dir, "good.mdb", 12), fifo = MakeFifo(dir);
    auto engine = dbtest::Engine();
    ASSERT_EQ(Count(engine, good), 12);
    const pid_t reader = engine.ReaderPid();
    std::thread killer([&] {
        // Opening the writing end returns once the reader has opened the
        // reading end, in the middle of its request.
        int fd = open(fifo.c_str(), O_WRONLY);
        kill(reader, SIGKILL);
        if (fd >= 0) close(fd);
    });
    EXPECT_EQ(Count(engine, fifo), -3343);
    // Should the reader never have opened the pipe, this lets the killer go.
    int unblock = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    killer.join();
    if (unblock >= 0) close(unblock);
    EXPECT_EQ(Count(engine, good), 12);
    EXPECT_NE(engine.ReaderPid(), reader);
}

TEST(OneReader, ARequestPastItsDeadlineIs3343AndTheNextIsRead) {
    dbtest::TempDir dir;
    const std::string good = WriteRoof(dir, "good.mdb", 5), fifo = MakeFifo(dir);
    auto engine = dbtest::Engine();
    const jet::ReaderLimits normal = engine.Limits();
    jet::ReaderLimits limits = normal;
    limits.wallClockMs = 300;
    engine.SetLimits(limits);
    EXPECT_EQ(Count(engine, fifo), -3343);  // nobody ever writes to it
    EXPECT_EQ(engine.ReaderPid(), -1);
    engine.SetLimits(normal);  // however slow a loaded machine starts the next reader
    EXPECT_EQ(Count(engine, good), 5);
}

// The reader's address space in bytes, from /proc.
uint64_t VmSize(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmSize:", 0) == 0) return std::stoull(line.substr(7)) * 1024;
    return 0;
}

// Under a cap of 1 MiB the reader cannot even start; just above what it
// takes at rest, reading the Jet 3 sample (its catalogue, libmdb's buffers)
// outgrows the cap in the middle of the request. Either way that request is
// 3343 and the next, under the normal cap, is read.
TEST(OneReader, AReaderOverItsMemoryCapIs3343AndTheNextIsRead) {
    dbtest::TempDir dir;
    const std::string good = WriteRoof(dir, "good.mdb", 9);
    auto engine = dbtest::Engine();
    engine.ProbeSandbox("");  // a reader that has read no database
    const uint64_t atRest = VmSize(engine.ReaderPid());
    ASSERT_GT(atRest, 0u);
    const jet::ReaderLimits normal = engine.Limits();
    std::vector<std::pair<uint64_t, std::string>> cases = {{1 << 20, good}};
    if (std::filesystem::exists(dbtest::SamplesDir() + "/nwind.mdb"))
        cases.emplace_back(atRest + (1 << 20), dbtest::SamplesDir() + "/nwind.mdb");
    for (const auto& [cap, file] : cases) {
        SCOPED_TRACE(file);
        jet::ReaderLimits capped = normal;
        capped.memoryBytes = cap;
        engine.SetLimits(capped);
        EXPECT_EQ(ErrorOf([&] { engine.OpenDatabase(file); }), 3343);
        engine.SetLimits(normal);
        EXPECT_EQ(ErrorOf([&] { engine.OpenDatabase(file); }), 0);
    }
    EXPECT_EQ(Count(engine, good), 9);
}

// The reproducers that make libmdb allocate without end, under the normal cap.
TEST(OneReader, RunawayAllocationEndsAtTheCap) {
    REQUIRE_SAMPLES();
    dbtest::TempDir dir;
    const std::string good = WriteRoof(dir, "good.mdb", 4);
    auto engine = dbtest::Engine();
    for (const char* name : {"A_kkd_props_zero_reclen_oom_jet3.mdb", "C_read_props_zero_reclen_loop_jet4.mdb",
                             "F_ole_read_full_lval_cycle_jet3.mdb"}) {
        SCOPED_TRACE(name);
        auto bytes = dbtest::ReadBytes(dbtest::SamplesDir() + "/damaged/" + name);
        size_t page = bytes.size() > 0x14 && bytes[0x14] == 0 ? 2048 : 4096;
        bytes.resize((bytes.size() + page - 1) / page * page, 0);
        dbtest::WriteBytes(dir.File(name), bytes);
        EXPECT_EQ(Count(engine, dir.File(name)), -3343);
        EXPECT_EQ(Count(engine, good), 4);
    }
}

bool KernelOffersSeccomp() { return prctl(PR_GET_SECCOMP, 0, 0, 0, 0) >= 0; }
long KernelLandlockAbi() { return syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION); }

TEST(ReaderSandbox, RefusesWritingCreatingRemovingExecutingAndSockets) {
    if (!KernelOffersSeccomp()) GTEST_SKIP() << "this kernel offers no seccomp; the reader runs without its allow-list";
    dbtest::TempDir dir;
    dbtest::WriteBytes(dir.File("existing"), {'k', 'e', 'e', 'p'});
    auto engine = dbtest::Engine();
    const jet::SandboxReport report = engine.ProbeSandbox(dir.File(""));
    EXPECT_TRUE(report.bits & jet::reader::kNoNewPrivs);
    EXPECT_TRUE(report.bits & jet::reader::kSeccomp);
    EXPECT_FALSE(report.bits & jet::reader::kIncomplete);
    if (KernelLandlockAbi() >= 1) EXPECT_TRUE(report.bits & jet::reader::kLandlock);
    else std::cout << "this kernel offers no Landlock; only the allow-list was probed\n";

    using jet::reader::Attempt;
    std::vector<Attempt> refused;
    for (const auto& o : report.outcomes) {
        EXPECT_TRUE(o.refused) << "attempt " << static_cast<int>(o.attempt) << " was allowed";
        EXPECT_TRUE(o.error == EPERM || o.error == EACCES) << "attempt " << static_cast<int>(o.attempt) << ": " << strerror(o.error);
        if (o.refused) refused.push_back(o.attempt);
    }
    EXPECT_EQ(refused, (std::vector<Attempt>{Attempt::OpenForWriting, Attempt::CreateFile, Attempt::RemoveFile,
                                             Attempt::Execute, Attempt::OpenSocket}));
    EXPECT_EQ(dbtest::ReadBytes(dir.File("existing")), (std::vector<unsigned char>{'k', 'e', 'e', 'p'}));
    EXPECT_FALSE(std::filesystem::exists(dir.File("created")));
    // Reading is what the sandbox is for, and goes on after the probe.
    EXPECT_EQ(Count(engine, WriteRoof(dir, "roof.mdb", 6)), 6);
}

}  // namespace
