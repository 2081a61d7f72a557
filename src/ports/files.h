// File services the procedures use: the existence test, the file date, copy
// and rename. Paths arrive in the form the procedures hold them: Windows paths
// built by concatenation ("C:\users\me\Documents\Varnock Rolvane\Data\bsrv.mdb").
// Every failure is thrown as vb::Error with the Visual Basic number.
//
// What a number alone does not tell is carried in the error's kind
// (vb::ErrorKind, vb/error.h), which a command reads before its number:
//   HeldByProgram  70: another program holds the file (a record lock, a
//                  wineserver handle): the served application's in-use case,
//                  the only 70 worth a Retry. A 70 of kind Plain is a refusal
//                  that no wait mends: access denied on the folder or the
//                  file, a live file whose permissions make it read-only
//                  (refused, as Windows refuses to replace one), a read-only
//                  medium.
//   Stopped        18: FileCopy or CopyAside met a stop signal
//                  (stop_signals.h) between chunks or before taking its
//                  place: its temporary file is gone, nothing was replaced.
//   NotSaved       57: the change was made (the new data, the new name is in
//                  place) but flushing the folder failed (EIO): it may not be
//                  on the disk. FileCopy's says the new data is in place; a
//                  command tells the user exactly that and fails (exit 1),
//                  never "File was Restored".
//   CannotTell     the in-use check could not look (an I/O error, a
//                  wineserver whose open files may not be read): the
//                  operation does not go ahead, and the error, numbered
//                  after what the check met, says why. Never a file in use,
//                  never as if the file were free.
// In production: PosixFiles (posix/files.h), which maps them into the Wine
// prefix (wine/windows_paths.h); in the window wrapped by ProgressFiles
// (gui/progress_files.h), which runs long copies off the window's thread.
// In tests: FakeFiles (tests/fakes/fakes.h), files in memory, any operation
// of which can be told to fail.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "vb/datetime.h"

namespace ports {

// Told how far a copy has come: bytes done of bytes total. A copy reports
// between the chunks it copies, never going back, and ends at the total; a
// copy the file system does at once (a clone) reports only once. It is
// called on the thread that runs the copy.
using CopyProgress = std::function<void(uint64_t done, uint64_t total)>;

class Files {
public:
    virtual ~Files() = default;

    // The file's name (the last component) when a regular, non-hidden file
    // exists at Path, else the empty text. Folders, hidden and system files,
    // devices do not count. Never throws for a missing file or folder.
    virtual std::string Dir(const std::string& Path) = 0;

    // Last-modified date and time in local time. 53 when there is no file.
    virtual vb::DateTime FileDateTime(const std::string& Path) = 0;

    // The names of the files in Folder that Dir counts (regular files,
    // neither hidden nor system), as the folder spells them, in no order.
    // The folder is matched as any path is. Empty when there is no such
    // folder; 70 when it cannot be read.
    virtual std::vector<std::string> FilesIn(const std::string& Folder) = 0;

    // The size of the file in bytes. 53 when there is no file.
    virtual int64_t FileLen(const std::string& Path) = 0;

    // Moves the file to the user's trash, from where the desktop's file
    // manager can put it back; it is never deleted. 53 when there is no
    // file, 70 access denied, 74 when no trash on its own file system can
    // take it, 75/57 anything else.
    virtual void MoveToTrash(const std::string& Path) = 0;

    // Creates or overwrites Destination with a copy of Source; never leaves
    // Destination half-written (temporary file, flush, rename over it), keeps
    // the source's modification time, and the permissions (never more open)
    // and, where it may, the group of the file it replaces. 53 missing source, 76 missing folder,
    // 70 HeldByProgram when another program holds either file, 70 access
    // denied or a read-only Destination, 75 a Source that is Destination
    // itself, 61 disk full, 57 I/O error, 18 Stopped, 75 anything else. Once
    // the copy has taken Destination's place only NotSaved can follow.
    // Progress, when given, is told how far it has come.
    virtual void FileCopy(const std::string& Source, const std::string& Destination,
                          const CopyProgress& Progress = {}) = 0;

    // Renames OldPath to NewPath. 58 when NewPath exists (it is never
    // replaced), 70 when OldPath is held open (HeldByProgram) or access is
    // denied, 53 when OldPath is missing, 76 when a folder is missing, 18
    // Stopped while it copies across file systems (nothing moved). Once
    // the rename has taken effect only NotSaved can follow: the file then
    // has its new name.
    virtual void Name(const std::string& OldPath, const std::string& NewPath) = 0;

    // Undoes a move of the command's own: renames OldPath (the numbered
    // copy the live database was moved to) back to NewPath, never replacing
    // a file there (58). Unlike Name it asks no in-use question and looks at
    // nothing first: the rename is tried, and what it met thrown; NotSaved
    // when it is made but may not be on the disk.
    virtual void MoveBack(const std::string& OldPath, const std::string& NewPath) = 0;

    // Whether another program holds the file at Path (a record lock, a
    // wineserver handle), as FileCopy and Name ask before they change it;
    // false when there is no file. CannotTell when that cannot be told.
    virtual bool HeldOpen(const std::string& Path) = 0;

    // Gives the file at Path a second name, NewPath (a hard link): both
    // names then stand for the same file until one of them is given another
    // file. NewPath is never replaced: 58 when it exists. False, with
    // nothing changed, where the file system gives this file no second name
    // (no hard links, as it answers the attempt; CopyAside then). 53 when
    // Path is missing, 76 when a folder is missing, 70 access denied;
    // NotSaved when the second name is made but may not be on the disk
    // (RemoveExtraName takes it away again).
    virtual bool Link(const std::string& Path, const std::string& NewPath) = 0;

    // Gives NewPath, beside Path, a copy of the file at Path, for where Link
    // cannot give it a second name: written as FileCopy writes (a hidden
    // temporary file, flushed), with Path's modification time, permissions
    // and, where it may, group, then named NewPath, which is never replaced:
    // 58 when it exists. Path is only read. Errors as for FileCopy, 70
    // HeldByProgram when Path is held open; NotSaved once the copy has its
    // name (RemoveExtraName takes it away again). Progress, when given, is
    // told how far it has come.
    virtual void CopyAside(const std::string& Path, const std::string& NewPath,
                           const CopyProgress& Progress = {}) = 0;

    // Removes the name ExtraPath, but only while it stands for the same file
    // as Path, or for the copy CopyAside made of Path while Path is still
    // the file that was copied: so that no other data is ever deleted. False,
    // with nothing removed, when it does not (any more). Errors as for Name.
    virtual bool RemoveExtraName(const std::string& ExtraPath, const std::string& Path) = 0;

    // Whether Path and OtherPath name one file (a second name Link gave),
    // as the listing of numbered copies asks so as never to show one that is
    // still the live database. Writes nothing; false when either is missing
    // or cannot be looked at.
    virtual bool SameFile(const std::string& Path, const std::string& OtherPath) {
        (void)Path;
        (void)OtherPath;
        return false;
    }

    // Removes the temporary files that an interrupted FileCopy onto Path, or
    // CopyAside of Path, or WriteWhole of Path, left in Path's folder: only
    // files named as those name them, and only those no running copy holds.
    // Best effort: never throws.
    virtual void RemoveTemporaries(const std::string& Path) = 0;

    // A digest of the whole content of the file at Path (SHA-256, in hex),
    // so that two files can be told to hold the same data without either
    // being held in memory: Previous Versions marks the numbered copies that
    // are the same. None where the file cannot be read or this Files keeps
    // no digests. Writes nothing.
    virtual std::optional<std::string> ContentDigest(const std::string& Path) {
        (void)Path;
        return std::nullopt;
    }

    // The whole content of the small file at Path, hidden or not (the
    // program's own dotted files beside the data); none when there is no
    // such file. 70 access denied, 57 I/O error, 75 anything else (not a
    // regular file, larger than a small file can be).
    virtual std::optional<std::string> ReadWhole(const std::string& Path) = 0;

    // Makes Text the whole content of Path the way FileCopy writes: a hidden
    // temporary file beside it, flushed, renamed over Path; Path is never
    // half-written. The folder is left to its next flush (a power cut
    // before it leaves the old file, whole). Errors as for FileCopy.
    virtual void WriteWhole(const std::string& Path, const std::string& Text) = 0;
};

}  // namespace ports
