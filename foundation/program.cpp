#include "foundation/program.h"

#include <atomic>

#include "foundation/platform_files.h"

namespace cpp::Program {

namespace {

std::atomic<Standard*> processProgram{nullptr};
thread_local Standard* threadProgram = nullptr;

}  // namespace

Standard::Standard(const String& commandLine)
    : logger_(std::make_unique<Logger>()), bus_(0, String("Bus")) {
    CommandLine::fillProperties(properties_, commandLine);
    // An unknown name stays empty; it never becomes the working folder.
    const String own = platform::programFile();
    if (!own.empty()) programFile_ = FilePath(own);
    workingDirectory_ = FilePath::workingDirectory();
    Standard* none = nullptr;
    processProgram.compare_exchange_strong(none, this);
    if (threadProgram == nullptr) threadProgram = this;
}

Standard::~Standard() {
    bus_.resize(0);
    Standard* self = this;
    processProgram.compare_exchange_strong(self, nullptr);
    if (threadProgram == this) threadProgram = nullptr;
}

const FilePath& Standard::programFile() const {
    if (programFile_.empty()) throw IOException(String("The program's own file name cannot be read"));
    return programFile_;
}

bool Standard::runPending() {
    bus_.runMain();
    return running_;
}

Standard* current() { return threadProgram != nullptr ? threadProgram : processProgram.load(); }

}  // namespace cpp::Program
