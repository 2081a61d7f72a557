#include "wine/wineserver.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "host/host_files.h"

namespace wine {

namespace {

bool IsWineServer(int procFd, const char* pid) {
    std::string comm;
    {
        host::Fd file(openat(procFd, (std::string(pid) + "/comm").c_str(), O_RDONLY | O_CLOEXEC));
        char buffer[64];
        ssize_t n = file ? read(file.get(), buffer, sizeof buffer) : -1;
        if (n > 0) comm.assign(buffer, static_cast<size_t>(n));
        while (!comm.empty() && comm.back() == '\n') comm.pop_back();
    }
    if (comm == "wineserver" || comm == "wineserver64") return true;
    char target[4096];
    ssize_t n = readlinkat(procFd, (std::string(pid) + "/exe").c_str(), target, sizeof target - 1);
    if (n <= 0) return false;
    std::string exe(target, static_cast<size_t>(n));
    const std::string deleted = " (deleted)";
    if (exe.size() > deleted.size() && exe.ends_with(deleted)) exe.resize(exe.size() - deleted.size());
    std::string name = host::BaseName(exe);
    return name == "wineserver" || name == "wineserver64";
}

}  // namespace

bool OpenInWineServer(dev_t device, ino_t inode) {
    host::Fd proc(open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!proc) return false;
    DIR* processes = fdopendir(dup(proc.get()));
    if (!processes) return false;
    const uid_t me = geteuid();
    const std::string self = std::to_string(getpid());
    bool found = false;
    while (!found) {
        dirent* entry = readdir(processes);
        if (!entry) break;
        std::string_view pid = entry->d_name;
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string_view::npos || pid == self) continue;
        struct stat owner{};
        if (fstatat(proc.get(), entry->d_name, &owner, 0) != 0 || owner.st_uid != me) continue;
        if (!IsWineServer(proc.get(), entry->d_name)) continue;
        std::string fdFolder = "/proc/" + std::string(pid) + "/fd";
        DIR* fds = opendir(fdFolder.c_str());
        if (!fds) continue;
        while (dirent* fdEntry = readdir(fds)) {
            if (fdEntry->d_name[0] == '.') continue;
            struct stat open{};
            if (stat((fdFolder + "/" + fdEntry->d_name).c_str(), &open) == 0 && open.st_dev == device &&
                open.st_ino == inode) {
                found = true;
                break;
            }
        }
        closedir(fds);
    }
    closedir(processes);
    return found;
}

}  // namespace wine
