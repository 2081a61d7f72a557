// rolvane-mdb-reader: reads Jet databases with libmdb, read-only, for the
// window's process (jet/reader_client.cpp), which starts one reader and sends
// it every request of the run: check a file, or run one SELECT on it
// (frames in jet/reader_protocol.h, on the socket at descriptor 3). Whatever
// libmdb does with a damaged file (endless loops, runaway memory, crashes,
// output on stdout/stderr) stays inside this process, which the window
// replaces when it fails.
//
//   rolvane-mdb-reader [--cpu SECONDS] [--memory BYTES] [--noise BYTES]
//
// Before it reads a request it limits itself (address space for its whole
// life, CPU seconds for its first request, what libmdb may print) and
// enters its sandbox (sandbox.h); the window moves the CPU limit on before
// every later request (reader_client.cpp), which the sandbox does not let
// the reader do itself. Every request opens its file afresh and closes it
// before the answer ends, so nothing of one database is left for the next;
// only a table's stream keeps its file open from one batch to the next
// (stream.h), until the stream ends or another request comes.
// Each request checks its file: header, system catalogue and its pages
// (page_checks.h); then the table is read (tables.h) and its values turned
// into the protocol's (values.h), memos whole from their long-value pages
// (long_values.h), a long one in pieces. Whatever libmdb prints goes to a
// small in-memory file (output.h); if it printed anything during a request,
// it met something it did not understand, and the file counts as damaged.
// A damaged file is answered with 3343 and the reason: the check that
// failed and its page.
//
// This file is the request loop: limits, sandbox, one answer per request.
#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vb/error.h"
#include "jet/query.h"
#include "jet/reader/check.h"
#include "jet/reader/failure.h"
#include "jet/reader/output.h"
#include "jet/reader/sandbox.h"
#include "jet/reader/stream.h"
#include "jet/reader/tables.h"
#include "jet/reader_protocol.h"

namespace {

using jet::reader::Failure;
using jet::reader::Noise;
using jet::reader::Output;
using jet::reader::PutText;
using jet::reader::PutU32;
using jet::reader::TableStream;

void Limit(int resource, rlim_t soft, rlim_t hard) {
    struct rlimit r {soft, hard};
    setrlimit(resource, &r);
}

void SendError(Output& out, int number, const std::string& description) {
    std::string p;
    PutU32(p, static_cast<uint32_t>(number));
    PutText(p, description);
    out.Frame('E', p);
}

// Reads one request frame from the socket; false at its end or when what
// arrives is not a frame of a sensible size.
bool ReadRequest(char& tag, std::string& payload) {
    auto readAll = [](char* p, size_t n) {
        while (n > 0) {
            ssize_t got = read(jet::reader::kProtocolFd, p, n);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            p += got;
            n -= static_cast<size_t>(got);
        }
        return true;
    };
    char head[5];
    if (!readAll(head, sizeof head)) return false;
    jet::reader::Cursor c(head + 1, 4);
    uint32_t size = c.U32();
    if (size > jet::reader::kMaxRequestBytes) return false;
    tag = head[0];
    payload.assign(size, '\0');
    return readAll(payload.data(), size);
}

// One query request: the file opened, checked and, with a query, read; the
// answer is 'Z' or 'E'.
void Answer(const std::string& path, const std::string& queryText, Output& out, Noise& noise, size_t valueBytes) {
    noise.Begin();
    try {
        std::optional<jet::Query> q;
        if (!queryText.empty()) q = jet::ParseQuery(queryText);
        jet::reader::Reader reader(path, out, noise, valueBytes);
        if (q) reader.Run(*q);
        else reader.Finish(0);
    } catch (const Failure& f) {
        // An error that libmdb printed about is the damage, not the error.
        if (f.number != vb::kUnrecognizedFormat && noise.Grew()) SendError(out, vb::kUnrecognizedFormat, "libmdb reported an error");
        else SendError(out, f.number, f.description);
    } catch (const vb::Error& e) {
        SendError(out, static_cast<int>(e.Number()), e.Description());
    }
}

// Runs `answer`, sending a failure as the request's error: whatever libmdb
// printed meanwhile makes it "unrecognized", since libmdb met something it
// did not understand. False after a failure.
template <class Answer>
bool Answering(Output& out, Noise& noise, Answer&& answer) {
    try {
        answer();
        return true;
    } catch (const Failure& f) {
        if (f.number != vb::kUnrecognizedFormat && noise.Grew()) SendError(out, vb::kUnrecognizedFormat, "libmdb reported an error");
        else SendError(out, f.number, f.description);
    } catch (const vb::Error& e) {
        SendError(out, static_cast<int>(e.Number()), e.Description());
    }
    return false;
}

// Sends the next batch of `stream`; after its last batch, or a failure, the
// stream is closed.
void AnswerBatch(std::unique_ptr<TableStream>& stream, jet::reader::Cursor& c, Output& out, Noise& noise) {
    const uint32_t rows = c.U32(), bytes = c.U32(), rowBytes = c.U32();
    if (!Answering(out, noise, [&] { stream->Batch(rows, bytes, rowBytes); }) || stream->Ended()) stream.reset();
}

// Opens a table's stream and sends its head and first batch.
void AnswerTable(std::unique_ptr<TableStream>& stream, jet::reader::Cursor& c, Output& out, Noise& noise,
                 size_t valueBytes) {
    const std::string path = c.Text(), table = c.Text(), find = c.Text();
    noise.Begin();
    if (Answering(out, noise, [&] { stream = std::make_unique<TableStream>(path, table, find, out, noise, valueBytes); }))
        AnswerBatch(stream, c, out, noise);
}

// Opens a page search ('G') and sends its head and layout.
void AnswerPages(std::unique_ptr<TableStream>& stream, jet::reader::Cursor& c, Output& out, Noise& noise,
                 size_t valueBytes) {
    const std::string path = c.Text();
    const uint32_t pages = c.U32();
    const std::string table = c.Text(), find = c.Text();
    noise.Begin();
    const bool opened = Answering(out, noise, [&] {
        if (pages == 0) throw Failure{vb::kUnrecognizedFormat, "a version of no pages"};
        stream = std::make_unique<TableStream>(path, table, find, out, noise, valueBytes, pages);
        std::string end;
        PutU32(end, 0);
        out.Frame('Z', end);
    });
    if (!opened) stream.reset();
}

// A page search's tasks ('J'), whole, or none when the request is not well formed.
std::optional<std::vector<TableStream::PageTask>> PageTasks(jet::reader::Cursor& c) {
    std::vector<TableStream::PageTask> tasks(c.U32());
    if (!c.ok() || tasks.size() > jet::reader::kMaxRequestBytes / 12) return std::nullopt;
    for (TableStream::PageTask& task : tasks) {
        task.filePage = c.U32();
        task.versionPage = c.U32();
        const uint32_t moved = c.U32();
        if (!c.ok() || moved > jet::reader::kMaxRequestBytes / 8) return std::nullopt;
        for (uint32_t m = 0; m < moved; ++m) {
            const uint32_t from = c.U32();
            task.moved[from] = c.U32();
        }
    }
    if (!c.ok()) return std::nullopt;
    return tasks;
}

// Sends the next batch of the check; after its last batch, or a failure,
// the check is closed.
void AnswerCheckBatch(std::unique_ptr<jet::reader::FileCheck>& check, jet::reader::Cursor& c, Output& out) {
    c.U32();  // the most rows: a check sends findings
    const uint32_t bytes = c.U32();
    c.U32();
    try {
        check->Batch(bytes);
        if (check->Ended()) check.reset();
        return;
    } catch (const Failure& f) {
        SendError(out, f.number, f.description);
    } catch (const vb::Error& e) {
        SendError(out, static_cast<int>(e.Number()), e.Description());
    }
    check.reset();
}

// Opens the whole-file check of a file and sends its first batch.
void AnswerCheck(std::unique_ptr<jet::reader::FileCheck>& check, jet::reader::Cursor& c, Output& out, Noise& noise,
                 size_t valueBytes, bool changed) {
    const std::string path = c.Text();
    std::optional<std::string> newPages;
    if (changed) newPages = c.Text();
    try {
        check = std::make_unique<jet::reader::FileCheck>(path, out, noise, valueBytes, std::move(newPages));
    } catch (const Failure& f) {
        SendError(out, f.number, f.description);
        return;
    } catch (const vb::Error& e) {
        SendError(out, static_cast<int>(e.Number()), e.Description());
        return;
    }
    AnswerCheckBatch(check, c, out);
}

void AnswerProbe(const std::string& folder, const jet::reader::SandboxState& sandbox, Output& out) {
    std::vector<jet::reader::ProbeOutcome> outcomes;
    if (!folder.empty()) outcomes = jet::reader::Probe(folder);
    std::string p;
    PutU32(p, sandbox.bits);
    PutU32(p, sandbox.landlockAbi);
    PutU32(p, static_cast<uint32_t>(outcomes.size()));
    for (const auto& o : outcomes) {
        p.push_back(static_cast<char>(o.attempt));
        p.push_back(o.refused ? 1 : 0);
        PutU32(p, static_cast<uint32_t>(o.error));
    }
    out.Frame('S', p);
}

}  // namespace

int main(int argc, char** argv) {
    if (fcntl(jet::reader::kProtocolFd, F_GETFD) == -1) return 2;
    close_range(jet::reader::kProtocolFd + 1, ~0u, 0);

    rlim_t cpu = 3, memory = 256u << 20, noiseCap = 64u << 10;
    for (int i = 1; i < argc; i += 2) {
        std::string a = argv[i];
        if (i + 1 >= argc) return 2;
        rlim_t v = std::strtoull(argv[i + 1], nullptr, 10);
        if (a == "--cpu") cpu = v;
        else if (a == "--memory") memory = v;
        else if (a == "--noise") noiseCap = v;
        else return 2;
    }

    // What a row holds of its long values whole, as stored, may take a
    // sixteenth of the address space (4 MiB under the window's 64 MiB cap);
    // a value longer than a piece, or past that, is sent in pieces
    // (values.h), so that the reader holds a batch and the piece in flight
    // whatever one value's size. Only a value a WHERE compares is held
    // whole, and one past this fails its query with 3035.
    const size_t valueBytes = static_cast<size_t>(memory / 16);

    // Every request builds and frees the same few hundred kilobytes (libmdb's
    // catalogue, the answer): keep what is freed for the next request
    // instead of giving it back to the kernel and having it zeroed anew.
    // Blocks of up to a megabyte come from the heap, a memo's larger ones
    // still from mmap, and at most 4 MiB stay unused at its top.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    mallopt(M_TRIM_THRESHOLD, 4 << 20);

    // The CPU seconds of the first request; the window moves the soft
    // limit on before each later one. The hard limit stays as inherited.
    struct rlimit cpuNow {};
    getrlimit(RLIMIT_CPU, &cpuNow);
    Limit(RLIMIT_CPU, cpuNow.rlim_max != RLIM_INFINITY && cpu > cpuNow.rlim_max ? cpuNow.rlim_max : cpu, cpuNow.rlim_max);
    Limit(RLIMIT_AS, memory, memory);
    Limit(RLIMIT_CORE, 0, 0);
    Limit(RLIMIT_FSIZE, noiseCap, noiseCap);
    int devnull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (devnull >= 0) {
        dup2(devnull, STDIN_FILENO);
        close(devnull);
    }
    Noise noise;
    noise.Capture();
    // An empty MDBPATH entry makes libmdb loop on a missing file; the others
    // switch on debug output or change the text encoding.
    for (const char* var : {"MDBPATH", "MDBOPTS", "MDBICONV", "MDB_ICONV", "MDB_JET3_CHARSET"}) unsetenv(var);

    // A sandbox that the kernel offers but that could not be set up means
    // no reading at all: every query is 3343, and a probe says why.
    jet::reader::SandboxState sandbox = jet::reader::EnterSandbox();
    if (!sandbox.complete) sandbox.bits |= jet::reader::kIncomplete;

    Output out;
    std::unique_ptr<TableStream> stream;  // the table being sent in batches, if any
    std::unique_ptr<jet::reader::FileCheck> check;  // or the file being checked
    char tag = 0;
    std::string payload;
    while (ReadRequest(tag, payload)) {
        jet::reader::Cursor c(payload.data(), payload.size());
        if (c.U32() != jet::reader::kProtocolVersion) {
            SendError(out, vb::kUnrecognizedFormat, "the reader speaks protocol version " +
                                                        std::to_string(jet::reader::kProtocolVersion));
            out.Flush();
            return 2;
        }
        // Any request but the next batch ends the stream or the check.
        if (tag != 'N' && tag != 'J') {
            stream.reset();
            check.reset();
        }
        try {
            if (tag == 'Q') {
                std::string path = c.Text(), query = c.Text();
                if (!c.ok() || !c.done()) return 2;
                if (sandbox.complete) Answer(path, query, out, noise, valueBytes);
                else SendError(out, vb::kUnrecognizedFormat, "the reader's sandbox could not be set up");
            } else if (tag == 'T' || tag == 'N' || tag == 'K' || tag == 'I') {
                // All carry the batch's bounds last: look at the whole request first.
                jet::reader::Cursor whole = c;
                if (tag == 'T') whole.Text(), whole.Text(), whole.Text();
                if (tag == 'K') whole.Text();
                if (tag == 'I') whole.Text(), whole.Text();
                whole.U32(), whole.U32(), whole.U32();
                if (!whole.ok() || !whole.done()) return 2;
                if (!sandbox.complete) SendError(out, vb::kUnrecognizedFormat, "the reader's sandbox could not be set up");
                else if (tag == 'T') AnswerTable(stream, c, out, noise, valueBytes);
                else if (tag == 'K' || tag == 'I') AnswerCheck(check, c, out, noise, valueBytes, tag == 'I');
                else if (stream) AnswerBatch(stream, c, out, noise);
                else if (check) AnswerCheckBatch(check, c, out);
                else SendError(out, vb::kObjectInvalid, "Object invalid or no longer set.");
            } else if (tag == 'G') {
                jet::reader::Cursor whole = c;
                whole.Text(), whole.U32(), whole.Text(), whole.Text();
                if (!whole.ok() || !whole.done()) return 2;
                if (sandbox.complete) AnswerPages(stream, c, out, noise, valueBytes);
                else SendError(out, vb::kUnrecognizedFormat, "the reader's sandbox could not be set up");
            } else if (tag == 'J') {
                auto tasks = PageTasks(c);
                const uint32_t bytes = c.U32(), rowBytes = c.U32();
                if (!tasks || !c.ok() || !c.done()) return 2;
                if (!stream || !stream->Paged()) {
                    SendError(out, vb::kObjectInvalid, "Object invalid or no longer set.");
                } else {
                    try {
                        stream->Pages(*tasks, bytes, rowBytes);
                    } catch (const Failure& f) {
                        SendError(out, f.number, f.description);
                        stream.reset();
                    } catch (const vb::Error& e) {
                        SendError(out, static_cast<int>(e.Number()), e.Description());
                        stream.reset();
                    }
                }
            } else if (tag == 'P') {
                std::string folder = c.Text();
                if (!c.ok() || !c.done()) return 2;
                AnswerProbe(folder, sandbox, out);
            } else {
                return 2;
            }
        } catch (const std::bad_alloc&) {
            return 5;  // at the memory cap: the window replaces this reader
        }
        out.Flush();
    }
    return 0;
}
