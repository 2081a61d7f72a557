// A table's stream as the window's side reads it (reader_client.h): the
// head and first batch for 'T', each further batch for 'N', every batch
// checked to be whole before its rows are given; and a page search, its
// head and layout for 'G', the pages of each batch of tasks for 'J'.
#include <algorithm>
#include <cstdint>

#include "jet/reader_answer.h"
#include "jet/reader_client.h"
#include "vb/error.h"

namespace jet {

namespace {

// A request's tasks stay under the reader's cap on a request.
constexpr size_t kMostTaskBytes = reader::kMaxRequestBytes - 64;

void PutBatchBounds(std::string& payload, uint32_t rows, const ReaderLimits& limits) {
    // A batch ends after the row that takes it past batchBytes; one row's
    // frame may take what is left of the answer's cap beside that (and some
    // room for the frames), so that a batch never passes the cap: a long
    // value that would take it further comes in pieces, which the cap does
    // not count, never cut or with a reader killed mid-answer.
    const uint64_t room = limits.outputBytes > 4096 ? limits.outputBytes - 4096 : 0;
    const uint64_t bytes = std::min<uint64_t>(limits.batchBytes, room / 2);
    reader::PutU32(payload, rows);
    reader::PutU32(payload, static_cast<uint32_t>(std::min<uint64_t>(bytes, UINT32_MAX)));
    reader::PutU32(payload, static_cast<uint32_t>(std::min<uint64_t>(room - bytes, UINT32_MAX)));
}

}  // namespace

ReaderBatch ReaderProcess::TakeBatch(Answer& answer, size_t columns, const std::string& hostPath,
                                     const std::string& displayPath) {
    reader::Frames& frames = answer.frames;
    // Every batch ends with 'B' (more follow) or 'Z' (the last), and
    // counts the rows it sent: anything less is not the table whole.
    const bool counted = frames.ended ? frames.endCount == frames.result.rows.size()
                                      : frames.batch && frames.batchCount == frames.result.rows.size();
    if (frames.failed || !counted || !frames.result.columns.empty()) {
        stream_ = 0;
        Fail(answer, hostPath, displayPath);
    }
    for (const auto& row : frames.result.rows)
        if (row.size() != columns) Fail(answer, hostPath, displayPath);
    ReaderBatch batch;
    batch.rows = std::move(frames.result.rows);
    batch.last = frames.ended;
    if (batch.last) stream_ = 0;
    return batch;
}

uint64_t ReaderProcess::OpenTable(const std::string& hostPath, const std::string& displayPath,
                                  const std::string& table, const std::string& find, TableHead& head,
                                  ReaderBatch& first) {
    std::string payload;
    reader::PutU32(payload, reader::kProtocolVersion);
    reader::PutText(payload, hostPath);
    reader::PutText(payload, table);
    reader::PutText(payload, find);
    PutBatchBounds(payload, std::min(limits_.firstBatchRows, limits_.batchRows), limits_);
    Answer answer = Exchange('T', payload, hostPath, displayPath);
    if (answer.frames.failed || !answer.frames.head) Fail(answer, hostPath, displayPath);
    head = std::move(answer.frames.table);
    streamColumns_ = head.columns.size();
    stream_ = ++streams_;
    const uint64_t id = stream_;
    first = TakeBatch(answer, streamColumns_, hostPath, displayPath);
    return id;
}

ReaderBatch ReaderProcess::NextBatch(uint64_t stream, const std::string& hostPath, const std::string& displayPath) {
    if (stream == 0 || stream != stream_) throw vb::ObjectInvalid();
    std::string payload;
    reader::PutU32(payload, reader::kProtocolVersion);
    PutBatchBounds(payload, limits_.batchRows, limits_);
    // A batch after the first comes without a head: it is decoded knowing the width.
    Answer answer = Exchange('N', payload, hostPath, displayPath, streamColumns_);
    return TakeBatch(answer, streamColumns_, hostPath, displayPath);
}

PagesLayout ReaderProcess::OpenPages(const std::string& hostPath, const std::string& displayPath, uint32_t pages,
                                     const std::string& table, const std::string& find) {
    std::string payload;
    reader::PutU32(payload, reader::kProtocolVersion);
    reader::PutText(payload, hostPath);
    reader::PutU32(payload, pages);
    reader::PutText(payload, table);
    reader::PutText(payload, find);
    Answer answer = Exchange('G', payload, hostPath, displayPath);
    reader::Frames& frames = answer.frames;
    if (frames.failed || !frames.head || !frames.layout || !frames.ended || !frames.result.rows.empty())
        Fail(answer, hostPath, displayPath);
    PagesLayout layout{std::move(frames.table), std::move(frames.decoding), std::move(frames.structure),
                       std::move(frames.dataPages)};
    paging_ = layout.head.columns.size();
    return layout;
}

std::vector<PageFound> ReaderProcess::SearchPages(const std::vector<PageTask>& tasks, const std::string& hostPath,
                                                  const std::string& displayPath) {
    if (!paging_ || tasks.empty()) throw vb::ObjectInvalid();
    std::string payload, list;
    uint32_t count = 0;
    for (const PageTask& task : tasks) {
        std::string one;
        reader::PutU32(one, task.filePage);
        reader::PutU32(one, task.versionPage);
        reader::PutU32(one, static_cast<uint32_t>(task.moved.size()));
        for (const auto& [from, to] : task.moved) {
            reader::PutU32(one, from);
            reader::PutU32(one, to);
        }
        if (count > 0 && list.size() + one.size() > kMostTaskBytes) break;
        list += one;
        ++count;
    }
    reader::PutU32(payload, reader::kProtocolVersion);
    reader::PutU32(payload, count);
    payload += list;
    std::string bounds;
    PutBatchBounds(bounds, 0, limits_);
    payload += bounds.substr(4);  // the bytes and a row's, not the rows
    const size_t columns = paging_;
    Answer answer = Exchange('J', payload, hostPath, displayPath, columns);
    reader::Frames& frames = answer.frames;
    const uint32_t done = frames.ended ? frames.endCount : frames.batchCount;
    if (frames.failed || (!frames.ended && !frames.batch) || done == 0 || done > count ||
        frames.pagesDone.size() != done || !frames.result.columns.empty() ||
        frames.pagesDone.back().rowsEnd != frames.result.rows.size()) {
        paging_ = 0;
        Fail(answer, hostPath, displayPath);
    }
    for (const auto& row : frames.result.rows)
        if (row.size() != columns) Fail(answer, hostPath, displayPath);
    std::vector<PageFound> found(done);
    size_t row = 0;
    for (uint32_t i = 0; i < done; ++i) {
        reader::Frames::PageDone& page = frames.pagesDone[i];
        for (; row < page.rowsEnd; ++row) found[i].rows.push_back(std::move(frames.result.rows[row]));
        found[i].read = std::move(page.read);
        found[i].valueRows = std::move(page.rows);
        if (page.number == vb::kUnrecognizedFormat) {
            // Whatever libmdb did with a damaged page stays with this reader.
            Refused(hostPath, page.description);
            found[i].error = vb::UnrecognizedFormat(displayPath).WithDetail(page.description);
            Drop();
        } else if (page.number != 0) {
            found[i].error = vb::Error(page.number, page.description);
        }
    }
    return found;
}

}  // namespace jet
