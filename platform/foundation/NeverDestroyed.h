#pragma once
// Storage for a process-wide object that is built on first use and never
// destroyed.
//
// At exit the C++ runtime destroys function-local statics in the reverse
// order of their construction, while worker threads and the destructors of
// other statics (a window's view tree, a camera screen stopping its stream)
// may still reach them. An object held here outlives every such caller: its
// destructor never runs and its memory stays valid until the process is gone.
// The sanitizers' leak check sees the object through this static storage, so
// nothing it owns is reported as leaked.
//
//     Registry& registry() {
//         static NeverDestroyed<Registry> instance;
//         return *instance;
//     }

#include <new>
#include <utility>

namespace platform {

template <typename T>
class NeverDestroyed {
public:
    template <typename... Args>
    explicit NeverDestroyed(Args&&... args) {
        ::new (static_cast<void*>(storage_)) T(std::forward<Args>(args)...);
    }
    NeverDestroyed(const NeverDestroyed&) = delete;
    NeverDestroyed& operator=(const NeverDestroyed&) = delete;
    ~NeverDestroyed() = default;

    T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }
    T& operator*() { return get(); }
    T* operator->() { return &get(); }

private:
    alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace platform
