#pragma once
// The process's memory allocator. Each worker thread allocates from an arena
// of its own, and what a burst of work there leaves behind, once freed, stays
// in that arena: the next burst may land on another worker, and the process
// grows by a burst's worth each time. Thread-safe.

namespace platform {

// Hands the allocator's free pages back to the system. It walks every
// arena (a few milliseconds for hundreds of megabytes): for after a large
// burst of work, not for every call.
void releaseFreeMemory();

}  // namespace platform
