// The file service of the window: the real file service, with every copy
// made while a command runs kept off the window's thread, so that a long
// restore neither freezes the window nor looks like a hang.
//
// While a command runs (an Activity is alive), FileCopy runs the inner copy
// on a worker thread and waits for it in a local event loop: the window
// keeps repainting and answering the desktop, but every input event is
// swallowed, so nothing the user does can start another procedure or end
// the program halfway through a copy. A copy still running after about half
// a second brings up a small modal dialog naming what is copied, with a
// progress bar and no Cancel button. The dialog is gone before FileCopy
// returns or throws, so it has closed before the command's next message.
// CopyAside (the old data copied to its numbered name where the file system
// gives it no second name) runs the same way; then both copies say below
// the command's text which of the two is running, and the second copy's
// dialog comes at once where the first one's was up.
// Whatever the inner copy throws is thrown again, unchanged, on the calling
// thread: the copy line handles its errors as it always has.
//
// Why a worker thread rather than handling paint events between chunks: the
// longest silences of a copy come with no chunk boundary at all (a clone or
// a large copy_file_range on a slow USB stick or network share, and above
// all the flush to disk at the end, which alone can take seconds), and the
// inner copy would have to know about the window. On a worker, the window's
// thread turns its event loop the whole time, whatever the copy is doing.
//
// Outside an Activity (no command running), copies run on the calling
// thread, exactly as the inner service makes them.
#pragma once

#include <QString>
#include <functional>
#include <QWidget>

#include "ports/files.h"

namespace gui {

class ProgressFiles : public ports::Files {
public:
    // inner: the service that does the work; it must outlive this object.
    explicit ProgressFiles(ports::Files& inner) : inner_(inner) {}

    // What the user started, for the duration of one command: copies made
    // meanwhile hold back all input of the application and name what they
    // copy with `text` ("Restoring Backup 2 (Business)…") in a dialog over
    // `window`.
    class Activity {
    public:
        Activity(ProgressFiles& files, QWidget* window, QString text);
        ~Activity();
        Activity(const Activity&) = delete;
        Activity& operator=(const Activity&) = delete;

    private:
        friend class ProgressFiles;
        ProgressFiles& files_;
        Activity* outer_;
        QWidget* window_;
        QString text_;
        bool copiedAside_ = false;  // a CopyAside has run: copies say which one runs
        bool asideShown_ = false;  // and its dialog was up: the next copy's comes at once
    };

    // How long a copy runs before its dialog appears.
    static constexpr int kDialogAfterMs = 500;

    std::string Dir(const std::string& Path) override { return inner_.Dir(Path); }
    vb::DateTime FileDateTime(const std::string& Path) override { return inner_.FileDateTime(Path); }
    std::vector<std::string> FilesIn(const std::string& Folder) override { return inner_.FilesIn(Folder); }
    int64_t FileLen(const std::string& Path) override { return inner_.FileLen(Path); }
    void MoveToTrash(const std::string& Path) override { inner_.MoveToTrash(Path); }
    void FileCopy(const std::string& Source, const std::string& Destination,
                  const ports::CopyProgress& Progress = {}) override;
    void Name(const std::string& OldPath, const std::string& NewPath) override {
        inner_.Name(OldPath, NewPath);
    }
    void MoveBack(const std::string& OldPath, const std::string& NewPath) override {
        inner_.MoveBack(OldPath, NewPath);
    }
    bool HeldOpen(const std::string& Path) override { return inner_.HeldOpen(Path); }
    bool Link(const std::string& Path, const std::string& NewPath) override {
        return inner_.Link(Path, NewPath);
    }
    void CopyAside(const std::string& Path, const std::string& NewPath,
                   const ports::CopyProgress& Progress = {}) override;
    bool RemoveExtraName(const std::string& ExtraPath, const std::string& Path) override {
        return inner_.RemoveExtraName(ExtraPath, Path);
    }
    bool SameFile(const std::string& Path, const std::string& OtherPath) override {
        return inner_.SameFile(Path, OtherPath);
    }
    void RemoveTemporaries(const std::string& Path) override { inner_.RemoveTemporaries(Path); }
    std::optional<std::string> ReadWhole(const std::string& Path) override { return inner_.ReadWhole(Path); }
    std::optional<std::string> ContentDigest(const std::string& Path) override { return inner_.ContentDigest(Path); }
    void WriteWhole(const std::string& Path, const std::string& Text) override { inner_.WriteWhole(Path, Text); }

private:
    // Runs copy on a worker thread with the window alive, under a dialog
    // that names the activity and, when not empty, step; the dialog comes
    // after kDialogAfterMs, or at once. True when the dialog was up.
    bool CopyOnWorker(const Activity& activity, const QString& step, bool atOnce,
                      const std::function<void(const ports::CopyProgress&)>& copy,
                      const ports::CopyProgress& Progress);
    // Whether copies may go to a worker now: a command runs, no copy is
    // running, and this is the window's thread.
    bool OnWorker() const;

    ports::Files& inner_;
    Activity* activity_ = nullptr;  // the command running now, if any
    bool copying_ = false;
};

}  // namespace gui
