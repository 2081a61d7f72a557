// A small FAT or exFAT file system in an image file, mounted through FUSE
// at a folder for as long as the object lives, as a user's USB stick would
// hold their Wine data. It needs mkfs.vfat and fusefat (FAT), or mkfs.exfat,
// mount.exfat-fuse and a free loop device (exFAT); where any of them is
// missing or refuses, Mounted() is false and Why() says what failed, so
// that the test can skip.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace test_support {

class MountedImage {
public:
    enum class Kind { Fat, ExFat };

    // image: the file to make (size bytes); folder: an existing, empty
    // folder to mount it at.
    MountedImage(Kind kind, const std::string& image, const std::string& folder, off_t size)
        : image_(image), folder_(folder) {
        const int fd = open(image.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0 || ftruncate(fd, size) != 0) {
            why_ = "cannot make the image file";
            if (fd >= 0) close(fd);
            return;
        }
        close(fd);
        if (access("/dev/fuse", R_OK | W_OK) != 0) {
            why_ = "no usable /dev/fuse";
            return;
        }
        if (kind == Kind::Fat) {
            if (!Run("mkfs.vfat -n ROLVANE " + Quoted(image))) return;
            mounted_ = Run("fusefat -o rw+ " + Quoted(image) + " " + Quoted(folder));
            return;
        }
        if (!Run("mkfs.exfat -L ROLVANE " + Quoted(image))) return;
        // exfat-fuse mounts block devices only.
        loop_ = Output("losetup -f --show " + Quoted(image));
        if (loop_.empty()) {
            why_ = "no free loop device (losetup -f --show)";
            return;
        }
        mounted_ = Run("mount.exfat-fuse " + Quoted(loop_) + " " + Quoted(folder));
    }
    ~MountedImage() {
        if (mounted_) Run("fusermount -u " + Quoted(folder_) + " || umount " + Quoted(folder_));
        if (!loop_.empty()) Run("losetup -d " + Quoted(loop_));
        unlink(image_.c_str());
    }
    MountedImage(const MountedImage&) = delete;
    MountedImage& operator=(const MountedImage&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& Why() const { return why_; }

private:
    static std::string Quoted(const std::string& text) {
        std::string quoted = "'";
        for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return quoted + "'";
    }
    // Runs a shell command, quietly; false (with why_ set) when it fails.
    bool Run(const std::string& command) {
        if (std::system((command + " >/dev/null 2>&1").c_str()) == 0) return true;
        why_ = "failed: " + command;
        return false;
    }
    // The first line a command prints, empty when it fails.
    static std::string Output(const std::string& command) {
        FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
        if (!pipe) return "";
        std::array<char, 256> line{};
        std::string out = fgets(line.data(), line.size(), pipe) ? line.data() : "";
        if (pclose(pipe) != 0) return "";
        while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
        return out;
    }

    std::string image_, folder_, loop_, why_;
    bool mounted_ = false;
};

}  // namespace test_support
