#pragma once

#include <cstdint>
#include <memory>

#include "foundation/file_path.h"

namespace cpp {

// Another program started by this one. If its owner lets go of it while it
// still runs and it was not detached, it is ended.
class Process {
public:
    // Runs "\"PROGRAM\" ARGUMENTS" in `workingDirectory`, or in the program's
    // own folder when that is empty. The program is the file at that full
    // path, never one found by a search. Throws windows::Exception on failure.
    static Process start(const FilePath& program, const String& arguments, const FilePath& workingDirectory);

    // Lets the process run on unobserved.
    void detach();
    // The command line the process was started with.
    const String& commandLine() const;

private:
    struct Detail;
    explicit Process(std::shared_ptr<Detail> detail) : detail_(std::move(detail)) {}
    std::shared_ptr<Detail> detail_;
};

}  // namespace cpp
