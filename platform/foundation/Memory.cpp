#include "platform/foundation/Memory.h"

#include <cstdlib>  // brings in <features.h>, which says whether this is glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace platform {

void releaseFreeMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

}  // namespace platform
