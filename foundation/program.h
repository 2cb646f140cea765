#pragma once

#include <memory>

#include "foundation/bus.h"
#include "foundation/command_line.h"
#include "foundation/file_path.h"
#include "foundation/logger.h"

namespace cpp::Program {

// The platform-neutral process object: command-line properties, paths, the
// Logger and the Bus. Windows, callbacks and tasks reach it through current().
class Standard {
public:
    explicit Standard(const String& commandLine);
    virtual ~Standard();
    Standard(const Standard&) = delete;
    Standard& operator=(const Standard&) = delete;

    // One pass of the main loop: serve the main-thread Bus queue. False means
    // the program is to end.
    virtual bool runPending();

    const Properties& properties() const { return properties_; }
    // The value, or the absent range when the property is missing.
    TextRef property(const String& key) const { return CommandLine::lookup(properties_, key); }
    bool hasProperty(const String& key) const { return !property(key).isAbsent(); }

    // Throws IOException when the system could not name it.
    const FilePath& programFile() const;
    const FilePath& workingDirectory() const { return workingDirectory_; }
    Logger& logger() { return *logger_; }
    Bus& bus() { return bus_; }

protected:
    // Set false when the main loop receives the quit message.
    bool running_ = true;

private:
    Properties properties_;
    FilePath programFile_;
    FilePath workingDirectory_;
    std::unique_ptr<Logger> logger_;
    Bus bus_;
};

// The calling thread's program if it has one, else the process's; null
// before a program exists.
Standard* current();

}  // namespace cpp::Program
