// The fakes of what a command holds for its span: the stop signals and the
// folder's lock.
#include <cctype>

#include "fakes/fakes.h"

namespace fakes {

namespace {

class FakeSpan : public ports::StopSignals::Span {
public:
    explicit FakeSpan(int& spans) : spans_(spans) { ++spans_; }
    ~FakeSpan() override { --spans_; }

private:
    int& spans_;
};

class FakeHeld : public ports::FolderLock::Held {
public:
    FakeHeld(FakeFolderLock& lock, std::string folder) : lock_(lock), folder_(std::move(folder)) {}
    ~FakeHeld() override {
        lock_.heldNow.erase(folder_);
        lock_.log.push_back("release " + folder_);
    }

private:
    FakeFolderLock& lock_;
    std::string folder_;
};

}  // namespace

std::unique_ptr<ports::StopSignals::Span> FakeStopSignals::Catch() {
    if (spans == 0) signal = 0;
    return std::make_unique<FakeSpan>(spans);
}

void FakeStopSignals::EndIfRequested() {
    if (signal != 0) throw EndedBySignal{signal};
}

std::string FakeFolderLock::FolderOf(const std::string& LivePath) {
    std::string folder = LivePath.substr(0, LivePath.find_last_of("\\/") + 1);
    for (char& c : folder) c = c == '/' ? '\\' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folder;
}

std::unique_ptr<ports::FolderLock::Held> FakeFolderLock::Take(const std::string& LivePath,
                                                             const std::function<void()>& Waiting) {
    failures.Check("Take", LivePath);
    const std::string folder = FolderOf(LivePath);
    if (heldByOthers.count(folder) || heldNow.count(folder)) {
        log.push_back("wait " + folder);
        if (onWait) onWait();
        if (Waiting) Waiting();
        if (heldByOthers.count(folder) || heldNow.count(folder)) throw vb::HeldByCommand();
    }
    heldNow.insert(folder);
    log.push_back("take " + folder);
    return std::make_unique<FakeHeld>(*this, folder);
}

}  // namespace fakes
