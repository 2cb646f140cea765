#include "document/file_follower.h"

#include "foundation/logger.h"
#include "foundation/time.h"

namespace data {

cpp::ByteRange FileFollower::read(cpp::ByteRange range, cpp::Duration timeout) {
    const cpp::Duration pace = cpp::Duration::milliseconds(paceMilliseconds);
    cpp::Time start;
    bool waited = false;
    while (open_) {
        std::size_t got = 0;
        bool failed = false;
        try {
            got = file_->readAt(position_, range);
            // Shorter than what was read: truncated. Said at once, before the
            // writer can grow it past this point again and hide it.
            if (got == 0 && !shrunk_ && file_->size() < position_) shrunk_ = true;
            if (failing_) {
                cpp::logInfo(cpp::String::substitute("Reading % again", file_->path()));
                failing_ = false;
            }
        } catch (const cpp::IOException& e) {
            // A share that hiccups, a region locked for a moment: nothing to
            // read now, and nothing concluded of it. The reads go on at the pace.
            if (!failing_) cpp::logError(cpp::String::substitute("FileFollower::read() : %", e.what()));
            failing_ = true;
            failed = true;
        }
        if (got > 0) {
            position_ += got;
            return cpp::ByteRange{range.data, got};
        }
        if (shrunk_) break;
        if (!waited && !failed) {
            waited = true;
            atEnd_();
            // A pause in there is no silence of the file: the rest of a line
            // written meanwhile must still join it.
            start = cpp::Time();
            continue;
        }
        const cpp::Duration remaining = timeout - (cpp::Time() - start);
        if (remaining <= cpp::Duration::zero()) break;
        cpp::sleep(remaining < pace ? remaining : pace);
    }
    return cpp::ByteRange{range.data, 0};
}

}  // namespace data
