// The leak check that ends every test process, on a thread whose dynamic TLS
// block starts 16 bytes into a page, as LLVM's in Mesa's driver may
// (support/TestMain.cpp): the check survives it and still reaches what the
// block holds.
#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#define HYBRID_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HYBRID_ASAN 1
#endif
#endif

#ifdef HYBRID_ASAN
#include <sanitizer/lsan_interface.h>

#include <dlfcn.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <future>
#include <thread>
#endif

TEST(LeakCheck, SurvivesAndScansDynamicTlsSixteenBytesIntoAPage) {
#ifndef HYBRID_ASAN
    GTEST_SKIP() << "built without AddressSanitizer";
#else
    void* module = dlopen(HYBRID_DYNAMIC_TLS_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    auto slot = reinterpret_cast<void** (*)()>(dlsym(module, "dynamic_tls_slot"));
    ASSERT_NE(slot, nullptr);
    // Every new thread's block is a fresh allocation of one size class, one
    // in every few hundred of which starts 16 bytes into a page.
    bool checked = false;
    for (int attempt = 0; attempt < 4096 && !checked; ++attempt) {
        std::promise<void> release;
        std::atomic<uintptr_t> block{0};
        std::thread holder([&, released = release.get_future()] {
            void** held = slot();
            *held = std::malloc(64);  // reachable through the block only
            block = reinterpret_cast<uintptr_t>(held);
            released.wait();
            std::free(*slot());
        });
        while (block == 0) std::this_thread::yield();
        if (block % 4096 == 16) {
            EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
            checked = true;
        }
        release.set_value();
        holder.join();
    }
    EXPECT_TRUE(checked) << "no thread's block started 16 bytes into a page";
    dlclose(module);
#endif
}
