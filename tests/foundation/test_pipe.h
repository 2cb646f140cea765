#pragma once

#include <string>

#include "foundation/pipe_input.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace testing_support {

// An anonymous pipe: the read end goes to the code under test, the test
// writes into the other end.
class TestPipe {
public:
    TestPipe() {
#ifdef _WIN32
        HANDLE readEnd, writeEnd;
        CreatePipe(&readEnd, &writeEnd, nullptr, 0);
        readEnd_ = reinterpret_cast<cpp::platform::PipeHandle>(readEnd);
        writeEnd_ = reinterpret_cast<cpp::platform::PipeHandle>(writeEnd);
#else
        int ends[2];
        if (::pipe(ends) == 0) {
            readEnd_ = ends[0];
            writeEnd_ = ends[1];
        }
#endif
    }
    ~TestPipe() { closeWriteEnd(); }

    cpp::platform::PipeHandle readEnd() const { return readEnd_; }

    bool write(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
#ifdef _WIN32
            DWORD put = 0;
            if (!WriteFile(reinterpret_cast<HANDLE>(writeEnd_), bytes.data() + done,
                           static_cast<DWORD>(bytes.size() - done), &put, nullptr))
                return false;
#else
            const ssize_t put = ::write(static_cast<int>(writeEnd_), bytes.data() + done, bytes.size() - done);
            if (put <= 0) return false;
#endif
            done += static_cast<std::size_t>(put);
        }
        return true;
    }

    void closeWriteEnd() {
        if (writeEnd_ == -1) return;
#ifdef _WIN32
        CloseHandle(reinterpret_cast<HANDLE>(writeEnd_));
#else
        ::close(static_cast<int>(writeEnd_));
#endif
        writeEnd_ = -1;
    }

private:
    cpp::platform::PipeHandle readEnd_ = -1;
    cpp::platform::PipeHandle writeEnd_ = -1;
};

}  // namespace testing_support
