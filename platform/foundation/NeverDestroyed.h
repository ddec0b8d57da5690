#pragma once
// Storage for a process-wide object that is built on first use and never
// destroyed, and that may name how it is put back to its first state.
//
// At exit the C++ runtime destroys function-local statics in the reverse
// order of their construction, while worker threads and the destructors of
// other statics (a window's view tree, a camera screen stopping its stream)
// may still reach them. An object held here outlives every such caller: its
// destructor never runs and its memory stays valid until the process is gone.
// The sanitizers' leak check sees the object through this static storage, so
// nothing it owns is reported as leaked.
//
// An object whose state a run can change names its reset where it is
// declared, with the stage at which it runs:
//
//     Registry& registry() {
//         static NeverDestroyed<Registry> instance{ResetStage::Foundation, [](Registry& r) { r.reset(); }};
//         return *instance;
//     }
//
// resetAllProcessWideState() runs every reset of an object built so far:
// stage by stage in the order of ResetStage, and within a stage newest object
// first. Objects never built are still in their first state and need none.
// It is for the main thread while no other thread works on these objects (the
// test runner calls it around every test); production code never calls it.
// Objects without a reset are ones whose state no run changes (a mutex, a
// table filled once) or that must not be reset while threads use them.

#include <new>
#include <type_traits>
#include <utility>

namespace platform {

// The order in which process-wide objects are put back: objects first, then
// what their resets may still reach.
enum class ResetStage {
    // The main run loop's queued tasks and timers, dropped before anything
    // they hold is reset (and again at the end, for what the resets queued).
    PendingWork,
    // The app's own layers: push client, card scanner, plugins, container.
    Application,
    // The UI application and its windows; their view controllers may still
    // reach the device, the screen and the services below as they go.
    Windows,
    // Device, screen, keyboard, pickers, layers and drawing state.
    Interface,
    // Location, reachability, camera, photo library.
    Services,
    // Where files live: the home folder and the main bundle.
    Locations,
    // User defaults, read again from the restored bundle and home.
    Preferences,
    // Notifications, URL protocols and caches, the clock, the log.
    Foundation,
};

namespace process_wide {
// Adds `reset(object)` to the process's resets; `reset` is a plain function
// so that registering allocates nothing the object does not already own.
void registerReset(ResetStage stage, void (*reset)(void*), void* object);
}  // namespace process_wide

// Puts every process-wide object built so far back to its first state.
void resetAllProcessWideState();

namespace process_wide {
template <typename... Args>
struct StartsWithStage : std::false_type {};
template <typename First, typename... Rest>
struct StartsWithStage<First, Rest...> : std::is_same<std::remove_cvref_t<First>, ResetStage> {};
}  // namespace process_wide

template <typename T>
class NeverDestroyed {
public:
    using Reset = void (*)(T&);

    // No reset: the object's state is not changed by a run, or must survive
    // one (see the declaration's comment).
    // (Not constrained on T's constructors: a class may befriend this one to
    // keep its own constructor private.)
    template <typename... Args>
        requires(!process_wide::StartsWithStage<Args...>::value)
    explicit NeverDestroyed(Args&&... args) {
        ::new (static_cast<void*>(storage_)) T(std::forward<Args>(args)...);
    }

    template <typename... Args>
    NeverDestroyed(ResetStage stage, Reset reset, Args&&... args) : reset_(reset) {
        ::new (static_cast<void*>(storage_)) T(std::forward<Args>(args)...);
        process_wide::registerReset(stage, &NeverDestroyed::runReset, this);
    }

    NeverDestroyed(const NeverDestroyed&) = delete;
    NeverDestroyed& operator=(const NeverDestroyed&) = delete;
    ~NeverDestroyed() = default;

    T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }
    T& operator*() { return get(); }
    T* operator->() { return &get(); }
    const T& get() const { return *std::launder(reinterpret_cast<const T*>(storage_)); }
    const T& operator*() const { return get(); }
    const T* operator->() const { return &get(); }

private:
    static void runReset(void* self) {
        auto* holder = static_cast<NeverDestroyed*>(self);
        holder->reset_(holder->get());
    }

    alignas(T) unsigned char storage_[sizeof(T)];
    Reset reset_ = nullptr;
};

}  // namespace platform
