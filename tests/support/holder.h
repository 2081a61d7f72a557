// A child process that holds a file the way the served application does
// under Wine: a record lock (Jet locks bytes, Wine turns LockFile into POSIX
// locks), or an open descriptor inside a process that holds the lock of a
// Wine server folder of its own, as a wineserver does, under whatever name
// it is given. The child says over a pipe when it holds the file;
// Release() closes the other pipe, which lets it go, and waits for it. No
// sleeps anywhere.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

namespace test_support {

enum class Hold { PosixWriteLock, PosixReadLockBeyondEnd, OfdLock, OpenInWineServer };

class Holder {
public:
    // serverName: the process's name with Hold::OpenInWineServer.
    Holder(const std::string& path, Hold how, const std::string& serverName = "rolvane-holder") {
        // The server folder, as Debian's Wine names it (/tmp/wine-XXXXXX/
        // server-DEV-INODE, a folder of its own that no Wine shares), named
        // before the fork: the child only makes system calls.
        char folder[] = "/tmp/wine-XXXXXX";
        if (how == Hold::OpenInWineServer && !mkdtemp(folder)) throw std::runtime_error("mkdtemp");
        const std::string server = std::string(folder) + "/server-fe01-2a";
        const std::string lockFile = server + "/lock";
        int ready[2], release[2];
        if (pipe(ready) != 0 || pipe(release) != 0) throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            close(release[1]);
            int ok = 1;
            if (how == Hold::OpenInWineServer) {
                prctl(PR_SET_NAME, serverName.c_str(), 0, 0, 0);
                // As a wineserver holds its server folder's lock file while it runs.
                ok = mkdir(server.c_str(), 0700) == 0;
                const int lockFd = ok ? open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600) : -1;
                struct flock serverLock{};
                serverLock.l_type = F_WRLCK;
                serverLock.l_whence = SEEK_SET;
                serverLock.l_len = 1;
                ok = lockFd >= 0 && fcntl(lockFd, F_SETLK, &serverLock) == 0;
            }
            int fd = open(path.c_str(), O_RDWR);
            struct flock lock{};
            lock.l_whence = SEEK_SET;
            lock.l_type = how == Hold::PosixReadLockBeyondEnd ? F_RDLCK : F_WRLCK;
            // Jet locks bytes far beyond the end of the file.
            lock.l_start = how == Hold::PosixReadLockBeyondEnd ? 0x10000000 : 0;
            lock.l_len = 1;
            ok = ok && fd >= 0;
            if (ok && how == Hold::OfdLock) ok = fcntl(fd, F_OFD_SETLK, &lock) == 0;
            if (ok && (how == Hold::PosixWriteLock || how == Hold::PosixReadLockBeyondEnd))
                ok = fcntl(fd, F_SETLK, &lock) == 0;
            char status = ok ? 'y' : 'n';
            if (write(ready[1], &status, 1) != 1) _exit(2);
            char ignored;
            while (read(release[0], &ignored, 1) > 0) {
            }
            if (how == Hold::OpenInWineServer) {
                unlink(lockFile.c_str());
                rmdir(server.c_str());
                rmdir(folder);
            }
            _exit(0);
        }
        close(ready[1]);
        close(release[0]);
        release_ = release[1];
        char status = 'n';
        bool held = read(ready[0], &status, 1) == 1 && status == 'y';
        close(ready[0]);
        if (!held) {
            Release();
            throw std::runtime_error("the child could not hold " + path);
        }
    }
    ~Holder() { Release(); }
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;

    void Release() {
        if (release_ < 0) return;
        close(release_);
        release_ = -1;
        int status = 0;
        waitpid(pid_, &status, 0);
    }

private:
    pid_t pid_ = -1;
    int release_ = -1;
};

}  // namespace test_support
