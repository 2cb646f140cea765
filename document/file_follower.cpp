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
        try {
            got = file_->readAt(position_, range);
        } catch (const cpp::IOException& e) {
            cpp::logInfo(cpp::String("Reading % stopped: %", file_->path(), e.what()));
            open_ = false;
            break;
        }
        if (got > 0) {
            position_ += got;
            return cpp::ByteRange{range.data, got};
        }
        // Shorter than what was read: truncated. Said at once, before the
        // writer can grow it past this point again and hide it.
        if (shrunk_ || file_->size() < position_) {
            shrunk_ = true;
            break;
        }
        if (!waited) {
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
