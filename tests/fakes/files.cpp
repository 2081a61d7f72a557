// The files of a fake prefix, in memory: names, copies, links and what holds
// them open.
#include "fakes/fakes.h"

#include <algorithm>
#include <cctype>

namespace fakes {

std::string FakeFiles::Key(const std::string& path) {
    std::string key;
    for (char c : path) {
        char d = c == '/' ? '\\' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (d == '\\' && !key.empty() && key.back() == '\\') continue;
        key += d;
    }
    return key;
}

std::string FakeFiles::Parent(const std::string& key) {
    size_t pos = key.rfind('\\');
    return pos == std::string::npos ? "" : key.substr(0, pos);
}

bool FakeFiles::FolderExists(const std::string& key) const {
    if (key.empty() || folders_.count(key)) return true;
    // A folder exists when any file or folder lies below it.
    const std::string prefix = key + "\\";
    for (const auto& [k, v] : files_)
        if (k.rfind(prefix, 0) == 0) return true;
    for (const auto& f : folders_)
        if (f.rfind(prefix, 0) == 0) return true;
    return false;
}

void FakeFiles::Put(const std::string& path, std::string content, vb::DateTime modified) {
    File f;
    f.content = std::move(content);
    f.modified = modified;
    files_[Key(path)] = {path, std::make_shared<File>(std::move(f))};
}

FakeFiles::File* FakeFiles::Find(const std::string& path) {
    auto it = files_.find(Key(path));
    return it == files_.end() ? nullptr : it->second.second.get();
}

std::vector<std::string> FakeFiles::Paths() const {
    std::vector<std::string> paths;
    for (const auto& [k, v] : files_) paths.push_back(v.first);
    return paths;
}

std::string FakeFiles::Dir(const std::string& Path) {
    failures.Check("Dir", Path);
    File* f = Find(Path);
    if (!f || f->hidden) return "";
    const std::string key = Key(Path);
    return files_[key].first.substr(files_[key].first.find_last_of("\\/") + 1);
}

vb::DateTime FakeFiles::FileDateTime(const std::string& Path) {
    failures.Check("FileDateTime", Path);
    File* f = Find(Path);
    if (!f) throw vb::FileNotFound();
    return f->modified;
}

std::vector<std::string> FakeFiles::FilesIn(const std::string& Folder) {
    failures.Check("FilesIn", Folder);
    std::string prefix = Key(Folder);
    if (prefix.empty() || prefix.back() != '\\') prefix += '\\';
    std::vector<std::string> names;
    for (const auto& [key, entry] : files_) {
        if (key.rfind(prefix, 0) != 0 || key.find('\\', prefix.size()) != std::string::npos) continue;
        if (entry.second->hidden) continue;
        names.push_back(entry.first.substr(entry.first.find_last_of("\\/") + 1));
    }
    // The real folder gives them in no order: nor does the fake.
    std::reverse(names.begin(), names.end());
    return names;
}

int64_t FakeFiles::FileLen(const std::string& Path) {
    failures.Check("FileLen", Path);
    File* f = Find(Path);
    if (!f) throw vb::FileNotFound();
    return static_cast<int64_t>(f->content.size());
}

void FakeFiles::MoveToTrash(const std::string& Path) {
    failures.Check("MoveToTrash", Path);
    File* f = Find(Path);
    if (!f) throw vb::FileNotFound();
    trash.emplace_back(Path, f->content);
    files_.erase(Key(Path));
    log.push_back("trash " + Path);
}

void FakeFiles::FileCopy(const std::string& Source, const std::string& Destination,
                         const ports::CopyProgress& Progress) {
    failures.Check("FileCopy", Destination);
    File* src = Find(Source);
    if (!src) throw vb::FileNotFound();
    if (!FolderExists(Parent(Key(Destination)))) throw vb::PathNotFound();
    File* dst = Find(Destination);
    if (src->heldOpen || (dst && dst->heldOpen)) throw vb::HeldByProgram();
    // Onto itself: refused, as no wait mends it.
    if (src == dst) throw vb::PathFileAccessError();
    // The copy is a new file put in the destination's place: another name
    // of the old file keeps the old data.
    auto copy = std::make_shared<File>(*src);
    copy->heldOpen = false;
    copy->asideOf.reset();
    ReportSteps(copy->content.size(), Progress);
    if (stops) stops->StopPoint();
    files_[Key(Destination)] = {dst ? files_[Key(Destination)].first : Destination, copy};
    log.push_back("copy " + Source + " -> " + Destination);
    // After the copy took its place: the folder's flush.
    failures.Check("FileCopy.flush", Destination);
}

void FakeFiles::ReportSteps(uint64_t total, const ports::CopyProgress& Progress) {
    for (int step = 1; step <= copySteps; ++step) {
        if (stops) stops->StopPoint();
        if (onCopyStep) onCopyStep(step);
        if (Progress) Progress(total * static_cast<uint64_t>(step) / static_cast<uint64_t>(copySteps), total);
    }
}

void FakeFiles::Name(const std::string& OldPath, const std::string& NewPath) {
    failures.Check("Name", OldPath);
    File* f = Find(OldPath);
    if (!f) throw vb::FileNotFound();
    if (Find(NewPath)) throw vb::FileAlreadyExists();
    if (!FolderExists(Parent(Key(NewPath)))) throw vb::PathNotFound();
    if (f->heldOpen) throw vb::HeldByProgram();
    auto moved = files_[Key(OldPath)].second;
    files_.erase(Key(OldPath));
    files_[Key(NewPath)] = {NewPath, moved};
    log.push_back("name " + OldPath + " -> " + NewPath);
}

void FakeFiles::MoveBack(const std::string& OldPath, const std::string& NewPath) {
    failures.Check("MoveBack", OldPath);
    if (!Find(OldPath)) throw vb::FileNotFound();
    if (Find(NewPath)) throw vb::FileAlreadyExists();
    auto moved = files_[Key(OldPath)].second;
    files_.erase(Key(OldPath));
    files_[Key(NewPath)] = {NewPath, moved};
    log.push_back("name " + OldPath + " -> " + NewPath);
}

bool FakeFiles::HeldOpen(const std::string& Path) {
    failures.Check("HeldOpen", Path);
    const File* f = Find(Path);
    return f && f->heldOpen;
}

bool FakeFiles::Link(const std::string& Path, const std::string& NewPath) {
    failures.Check("Link", Path);
    if (!Find(Path)) throw vb::FileNotFound();
    if (Find(NewPath)) throw vb::FileAlreadyExists();
    if (!FolderExists(Parent(Key(NewPath)))) throw vb::PathNotFound();
    if (!hardLinks) return false;
    files_[Key(NewPath)] = {NewPath, files_[Key(Path)].second};
    log.push_back("link " + Path + " -> " + NewPath);
    return true;
}

void FakeFiles::CopyAside(const std::string& Path, const std::string& NewPath,
                          const ports::CopyProgress& Progress) {
    failures.Check("CopyAside", Path);
    File* src = Find(Path);
    if (!src) throw vb::FileNotFound();
    if (Find(NewPath)) throw vb::FileAlreadyExists();
    if (!FolderExists(Parent(Key(NewPath)))) throw vb::PathNotFound();
    if (src->heldOpen) throw vb::HeldByProgram();
    auto copy = std::make_shared<File>(*src);
    copy->asideOf = files_[Key(Path)].second;
    ReportSteps(copy->content.size(), Progress);
    if (stops) stops->StopPoint();
    files_[Key(NewPath)] = {NewPath, copy};
    log.push_back("aside " + Path + " -> " + NewPath);
}

bool FakeFiles::SameFile(const std::string& a, const std::string& b) {
    File* fa = Find(a);
    return fa && fa == Find(b);
}

bool FakeFiles::RemoveExtraName(const std::string& ExtraPath, const std::string& Path) {
    failures.Check("RemoveExtraName", ExtraPath);
    File* extra = Find(ExtraPath);
    File* live = Find(Path);
    if (!extra || !live || (extra != live && extra->asideOf.lock().get() != live)) return false;
    files_.erase(Key(ExtraPath));
    log.push_back("unlink " + ExtraPath);
    return true;
}

void FakeFiles::RemoveTemporaries(const std::string& Path) {
    // Never throws, as on the real platform: a planned failure is swallowed.
    try {
        failures.Check("RemoveTemporaries", Path);
    } catch (const vb::Error&) {
        return;
    }
    log.push_back("temporaries " + Path);
}

std::optional<std::string> FakeFiles::ContentDigest(const std::string& Path) {
    try {
        failures.Check("ContentDigest", Path);
    } catch (const vb::Error&) {
        return std::nullopt;
    }
    const File* file = Find(Path);
    if (!file) return std::nullopt;
    return "digest of " + file->content;
}

std::optional<std::string> FakeFiles::ReadWhole(const std::string& Path) {
    failures.Check("ReadWhole", Path);
    const auto it = wholes.find(Key(Path));
    if (it == wholes.end()) return std::nullopt;
    return it->second;
}

void FakeFiles::WriteWhole(const std::string& Path, const std::string& Text) {
    failures.Check("WriteWhole", Path);
    if (!FolderExists(Parent(Key(Path)))) throw vb::PathNotFound();
    wholes[Key(Path)] = Text;
}

}  // namespace fakes
