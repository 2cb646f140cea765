#pragma once

#include <cstddef>

#include "foundation/pipe_input.h"

// Blocking pipe calls, which differ between Windows and POSIX.
namespace cpp::platform {

// The standard-input handle, or -1 when the process has none.
PipeHandle standardInputHandle();
bool standardInputIsPipe();
// Blocks until bytes arrive; 0 at the end of the pipe, -1 on error.
long readPipe(PipeHandle handle, char* target, std::size_t size);
void closePipe(PipeHandle handle);

}  // namespace cpp::platform
