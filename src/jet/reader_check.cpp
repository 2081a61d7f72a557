// The whole-file check as the window's side reads it: the 'K' request and
// its batches ('N'), every batch checked to be whole before its findings
// are given (reader_client.h), and the port on top of them.
#include "jet/reader_check.h"

#include <algorithm>

#include "jet/reader_answer.h"
#include "vb/error.h"

namespace jet {

namespace {

void PutCheckBounds(std::string& payload, const ReaderLimits& limits) {
    // A check sends findings, a few hundred bytes each and at most a
    // thousand: the batch's bytes bound them within the answer's cap.
    const uint64_t room = limits.outputBytes > 4096 ? limits.outputBytes - 4096 : 0;
    reader::PutU32(payload, 0);
    reader::PutU32(payload, static_cast<uint32_t>(std::min<uint64_t>(room / 2, UINT32_MAX)));
    reader::PutU32(payload, 0);
}

}  // namespace

CheckBatch ReaderProcess::TakeCheckBatch(Answer& answer, const std::string& hostPath, const std::string& displayPath) {
    reader::Frames& frames = answer.frames;
    // Every batch ends with 'W' (more follow) or 'Z' (the last), and
    // counts the findings it sent: anything less is not the check whole.
    const bool counted = frames.ended ? frames.endCount == frames.findings.size()
                                      : frames.checkBatch && frames.batchCount == frames.findings.size();
    if (frames.failed || !counted || frames.head || frames.batch || !frames.result.columns.empty() ||
        !frames.result.rows.empty()) {
        checking_ = false;
        Fail(answer, hostPath, displayPath);
    }
    CheckBatch batch;
    batch.findings = std::move(frames.findings);
    batch.done = frames.done;
    batch.total = frames.total;
    batch.last = frames.ended;
    checking_ = !batch.last;
    return batch;
}

CheckBatch ReaderProcess::OpenCheck(const std::string& hostPath, const std::string& displayPath,
                                    const std::string* newPages) {
    std::string payload;
    reader::PutU32(payload, reader::kProtocolVersion);
    reader::PutText(payload, hostPath);
    if (newPages) reader::PutText(payload, *newPages);
    PutCheckBounds(payload, limits_);
    Answer answer = Exchange(newPages ? 'I' : 'K', payload, hostPath, displayPath);
    return TakeCheckBatch(answer, hostPath, displayPath);
}

CheckBatch ReaderProcess::NextCheckBatch(const std::string& hostPath, const std::string& displayPath) {
    if (!checking_) throw vb::ObjectInvalid();
    std::string payload;
    reader::PutU32(payload, reader::kProtocolVersion);
    PutCheckBounds(payload, limits_);
    Answer answer = Exchange('N', payload, hostPath, displayPath);
    return TakeCheckBatch(answer, hostPath, displayPath);
}

ReaderCheck::ReaderCheck(PathMap toHost, std::string readerPath, ReaderLimits limits, PathMap present)
    : toHost_(std::move(toHost)), present_(std::move(present)), reader_(std::move(readerPath), limits) {
    // The reason a file is refused is its finding, not a line on stderr.
    reader_.SetQuiet(true);
}

ports::CheckResult ReaderCheck::Check(const std::string& Path, const ports::CheckProgress& Progress) {
    return Run(Path, nullptr, Progress);
}

ports::CheckResult ReaderCheck::CheckNew(const std::string& Path, const std::vector<size_t>& NewPages,
                                         const ports::CheckProgress& Progress) {
    std::string bitmap;
    for (size_t page : NewPages) {
        if (page / 8 >= bitmap.size()) bitmap.resize(page / 8 + 1, '\0');
        bitmap[page / 8] = static_cast<char>(static_cast<uint8_t>(bitmap[page / 8]) | 1u << (page % 8));
    }
    // A bitmap too long for one request (a file of a few GB): the whole check.
    const bool fits = bitmap.size() + toHost_(Path).size() + 64 <= reader::kMaxRequestBytes;
    return Run(Path, fits ? &bitmap : nullptr, Progress);
}

ports::CheckResult ReaderCheck::Run(const std::string& Path, const std::string* newPages,
                                    const ports::CheckProgress& Progress) {
    const std::string host = toHost_(Path);
    const std::string shown = present_ ? present_(Path) : Path;
    ports::CheckResult result;
    reader_.ForgetRefusal();
    try {
        CheckBatch batch = reader_.OpenCheck(host, shown, newPages);
        while (true) {
            for (ports::Finding& f : batch.findings) result.findings.push_back(std::move(f));
            if (batch.last) break;
            if (Progress && !Progress(batch.done, batch.total)) {
                // The reader drops the check with its next request.
                result.cancelled = true;
                break;
            }
            batch = reader_.NextCheckBatch(host, shown);
        }
    } catch (const vb::Error& e) {
        // Unreadable, or the reader failed on it: damaged, and why.
        std::string why = e.Number() == vb::kUnrecognizedFormat && !reader_.LastRefusal().empty()
                              ? reader_.LastRefusal()
                              : e.Description();
        result.findings.push_back({ports::Severity::Damaged, "it cannot be read: " + why, {}, {}, {}});
    }
    return result;
}

}  // namespace jet
