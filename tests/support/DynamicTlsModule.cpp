// Loaded with dlopen by the leak check test: its thread-local is then in a
// block that glibc mallocs for each thread on first use. It is the module's
// only one, so its address is the block's.
extern "C" void** dynamic_tls_slot() {
    thread_local void* slot = nullptr;
    return &slot;
}
