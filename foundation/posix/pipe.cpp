#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/platform_pipe.h"

namespace cpp::platform {

PipeHandle standardInputHandle() {
    struct stat status;
    return ::fstat(0, &status) == 0 ? 0 : -1;
}

bool standardInputIsPipe() {
    struct stat status;
    return ::fstat(0, &status) == 0 && S_ISFIFO(status.st_mode);
}

long readPipe(PipeHandle handle, char* target, std::size_t size) {
    for (;;) {
        const ssize_t got = ::read(static_cast<int>(handle), target, size);
        if (got >= 0) return static_cast<long>(got);
        if (errno != EINTR) return -1;
    }
}

void closePipe(PipeHandle handle) { ::close(static_cast<int>(handle)); }

}  // namespace cpp::platform
