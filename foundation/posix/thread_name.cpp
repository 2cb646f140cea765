#include "foundation/thread_name.h"

#include <pthread.h>

namespace cpp::platform {

void announceThreadName(const String& name) {
    // Linux keeps 15 bytes of a thread name.
    pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
}

}  // namespace cpp::platform
