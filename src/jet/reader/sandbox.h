// The reader child's sandbox (main.cpp): what libmdb may do once
// it parses a file that someone else wrote. Set up once, before the first
// request is read, and kept for the life of the process:
//   - no new privileges (PR_SET_NO_NEW_PRIVS), which the other two need;
//   - a Landlock ruleset that allows reading files and folders and nothing
//     else (where the kernel offers Landlock);
//   - a seccomp allow-list (libseccomp) of what reading files and answering
//     on the socket needs. Writes go only to descriptors 1 and 2 (libmdb's
//     output, an in-memory file) and 3 (the socket); files open read-only;
//     nothing creates, removes or renames files, executes a program, starts
//     a process or thread, opens a socket or changes a resource limit.
//     Anything else fails with EPERM.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/reader_protocol.h"

namespace jet::reader {

struct SandboxState {
    uint32_t bits = 0;          // Sandbox flags of what is in force
    uint32_t landlockAbi = 0;   // the kernel's Landlock ABI, 0 when it has none
    bool complete = false;      // everything the kernel offers is in force
};

// Sets the sandbox up. Call after descriptors 0 to 3 are as they will stay.
// What the kernel does not offer is left out; the result says what is in
// force, and whether something the kernel offers could not be set up (then
// the reader must not read a database).
SandboxState EnterSandbox();

// Tries what the sandbox forbids, inside `folder`, which holds a file named
// "existing": opening that file for writing, creating "created" beside it,
// removing "existing", executing /bin/sh and opening a socket. Whatever
// succeeds is undone where it can be (a created file is removed again); an
// execution that succeeds replaces the reader, which the caller sees as a
// reader that died.
std::vector<ProbeOutcome> Probe(const std::string& folder);

}  // namespace jet::reader
