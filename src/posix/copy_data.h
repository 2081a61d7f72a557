// The data of one copy, from an open source file into a new open file: a
// clone where the file system shares extents (btrfs, XFS), else the kernel's
// copy in large chunks, else a buffer loop through this process. Progress
// is told between chunks; a clone tells it once.
#pragma once

#include <cstdint>

#include "posix/file_steps.h"
#include "ports/files.h"

namespace posix {

// Copies total bytes of source (read from its current offset) into out.
// write: the write step of the buffer loop; when given, the data goes
// through the buffer loop only, never by the kernel. Each chunk is a
// FileStep::CopyChunk of steps. Failures are thrown as vb::Error; a stop
// signal noted for the command is acted on before each chunk
// (Steps::StopPoint, vb::Stopped()).
void CopyData(int source, int out, uint64_t total, const ports::CopyProgress& progress, const Steps& steps,
              const WriteStep& write);

}  // namespace posix
