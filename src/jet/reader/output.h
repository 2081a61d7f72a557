// The reader child's two outputs: the answer frames on the protocol
// descriptor (reader_protocol.h), and whatever libmdb prints, which is kept
// away from any terminal and counted against the request.
#pragma once

#include <sys/types.h>

#include <string>

namespace jet::reader {

// Frames for the window's process, written in blocks of about 64 KiB.
class Output {
public:
    void Frame(char tag, const std::string& payload);
    // Writes what is buffered; ends the process when the window's side has
    // gone away.
    void Flush();

private:
    std::string buf_;
};

// libmdb prints warnings and dumps to stdout and stderr; both go to one
// in-memory file whose size is capped by RLIMIT_FSIZE (a flood ends the
// process). Anything added to it during a request means libmdb met
// something it did not expect.
class Noise {
public:
    void Capture();
    // From here on, output counts against the request.
    void Begin();
    bool Grew();
    // Fails the request as damaged when libmdb printed anything since Begin.
    void Check();

private:
    static off_t Size();
    off_t start_ = 0;
};

}  // namespace jet::reader
