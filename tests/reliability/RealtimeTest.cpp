// Heap and lock traffic on the audio path. This test program replaces the C
// allocation functions, the C++ allocation operators and the pthread lock calls
// with versions that count the calls of any thread that has asked to be
// watched, then forward to the C library. The audio block (where notes start
// and voices are taken over), the MIDI intake and parameter changes run on a
// watched thread and must make no such call, with the editor open or closed.
// Linux builds without sanitizers only: sanitizers replace the same functions.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <random>
#include <thread>
#include <vector>

#include "editor/win32/Win32Api.h"
#include "tests/reliability/PanelPlug.h"

extern "C" {
void* __libc_malloc(std::size_t);
void __libc_free(void*);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
}

namespace {

thread_local bool watching = false;
std::atomic<long> allocations{0}, releases{0}, locks{0};

inline void count(std::atomic<long>& counter) {
    if (watching) counter.fetch_add(1, std::memory_order_relaxed);
}

// The C library's own function of that name, looked up on first use (locks
// are taken before any static initialiser of this file could run).
template <typename Function>
Function next(Function& cached, const char* name) {
    if (!cached) cached = reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
    return cached;
}
using MutexCall = int (*)(pthread_mutex_t*);
using RwlockCall = int (*)(pthread_rwlock_t*);
MutexCall realMutexLock, realMutexTrylock;
RwlockCall realReadLock, realWriteLock;

}  // namespace

extern "C" {
void* malloc(std::size_t size) {
    count(allocations);
    return __libc_malloc(size);
}
void free(void* p) {
    if (p) count(releases);
    __libc_free(p);
}
void* calloc(std::size_t n, std::size_t size) {
    count(allocations);
    return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t size) {
    count(allocations);
    return __libc_realloc(p, size);
}
void* memalign(std::size_t alignment, std::size_t size) {
    count(allocations);
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
    count(allocations);
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    count(allocations);
    void* p = __libc_memalign(alignment, size);
    if (!p) return ENOMEM;
    *out = p;
    return 0;
}
int pthread_mutex_lock(pthread_mutex_t* m) {
    count(locks);
    return next(realMutexLock, "pthread_mutex_lock")(m);
}
int pthread_mutex_trylock(pthread_mutex_t* m) {
    count(locks);
    return next(realMutexTrylock, "pthread_mutex_trylock")(m);
}
int pthread_rwlock_rdlock(pthread_rwlock_t* l) {
    count(locks);
    return next(realReadLock, "pthread_rwlock_rdlock")(l);
}
int pthread_rwlock_wrlock(pthread_rwlock_t* l) {
    count(locks);
    return next(realWriteLock, "pthread_rwlock_wrlock")(l);
}
}

// The C++ operators go through the counted malloc and free.
void* operator new(std::size_t size) {
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

struct Traffic {
    long allocations = 0, releases = 0, locks = 0;
    bool none() const { return allocations == 0 && releases == 0 && locks == 0; }
};

// Runs work on a fresh thread that is watched for its whole run.
template <typename Work>
Traffic watched(Work work) {
    allocations = 0;
    releases = 0;
    locks = 0;
    std::thread thread([&] {
        watching = true;
        work();
        watching = false;
    });
    thread.join();
    return {allocations.load(), releases.load(), locks.load()};
}

std::ostream& operator<<(std::ostream& out, const Traffic& t) {
    return out << t.allocations << " allocations, " << t.releases << " releases, " << t.locks << " lock calls";
}

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// MIDI for one block, built before the watched section.
struct EventBlock {
    std::vector<VstMidiEvent> midi;
    std::vector<unsigned char> storage;

    EventBlock(std::mt19937& random, int count, int frames) : midi(static_cast<std::size_t>(count)) {
        storage.assign(sizeof(VstEvents) + sizeof(VstEvent*) * midi.size(), 0);
        auto* events = reinterpret_cast<VstEvents*>(storage.data());
        events->numEvents = count;
        static const unsigned char kinds[] = {0x90, 0x90, 0x90, 0x90, 0x80, 0xE0, 0xB0};
        for (std::size_t i = 0; i < midi.size(); ++i) {
            VstMidiEvent& e = midi[i];
            e.type = kVstMidiType;
            e.byteSize = sizeof(VstMidiEvent);
            e.deltaFrames = static_cast<VstInt32>(random() % static_cast<unsigned>(frames + 10)) - 5;
            const unsigned char kind = kinds[random() % 7];
            e.midiData[0] = static_cast<char>(kind | (random() % 16));
            e.midiData[1] = static_cast<char>(kind == 0xB0 ? (random() % 2 ? 123 : 7) : random() % 128);
            e.midiData[2] = static_cast<char>(random() % 128);
            events->events[i] = reinterpret_cast<VstEvent*>(&e);
        }
    }
    VstEvents* events() { return reinterpret_cast<VstEvents*>(storage.data()); }
};

bool sanitized() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

volatile void* sink;

}  // namespace

TEST(Realtime, TheCountersSeeAllocationsAndLocks) {
    if (sanitized()) GTEST_SKIP() << "the sanitizer owns the allocation functions";
    std::mutex mutex;
    const Traffic traffic = watched([&] {
        std::vector<int>* v = new std::vector<int>(100);
        sink = v;
        delete v;
        mutex.lock();
        mutex.unlock();
    });
    EXPECT_GE(traffic.allocations, 2);
    EXPECT_GE(traffic.releases, 2);
    EXPECT_GE(traffic.locks, 1);

    // The plug-in's own locks are seen too: a program switch serialises with
    // other host threads (which is why it never runs on the audio path).
    VSTPlug plug(&host);
    AEffect* e = plug.getAeffect();
    const Traffic switching = watched([&] { e->dispatcher(e, effSetProgram, 0, 3, nullptr, 0.0f); });
    EXPECT_GE(switching.locks, 1);
}

TEST(Realtime, AudioBlocksEventsAndParameterChangesNeitherAllocateNorLock) {
    if (sanitized()) GTEST_SKIP() << "the sanitizer owns the allocation functions";
    std::mt19937 random(99);
    auto* plug = newPlugWithPanel(&host);
    AEffect* e = plug->getAeffect();
    e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    e->dispatcher(e, effSetBlockSize, 0, 256, nullptr, 0.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);

    // The editor open in a host window on this thread, so that parameter changes
    // reach its knobs; the watched thread is not the window's.
    WNDCLASSA wc{};
    wc.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); };
    wc.lpszClassName = "Hammerlyn2RealtimeFrame";
    RegisterClassA(&wc);
    HWND frame = CreateWindowExA(0, wc.lpszClassName, "host", WS_POPUP, 0, 0, 512, 272, nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(e->dispatcher(e, effEditOpen, 0, 0, frame, 0.0f), 1);

    constexpr int kBlocks = 400;
    std::vector<EventBlock> blocks;
    for (int b = 0; b < kBlocks; ++b) blocks.emplace_back(random, b % 25 == 0 ? 200 : static_cast<int>(random() % 12), 256);
    std::vector<float> left(1024), right(1024);
    float* outputs[2] = {left.data(), right.data()};
    const float odd[] = {std::numeric_limits<float>::quiet_NaN(), -1.0f, 2.0f, 0.0f, 1.0f};
    bool finite = true;

    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass == 0 ? "editor open" : "editor closed");
        const Traffic traffic = watched([&] {
            for (int b = 0; b < kBlocks; ++b) {
                e->dispatcher(e, effProcessEvents, 0, 0, blocks[static_cast<std::size_t>(b)].events(), 0.0f);
                for (VstInt32 i = 0; i < 16; ++i) {
                    const float v = b % 7 == 0 ? odd[(b + i) % 5] : static_cast<float>((b * 31 + i * 17) % 1000) / 999.0f;
                    e->setParameter(e, i, v);
                    e->setParameter(e, i, v);  // unchanged
                }
                e->setParameter(e, 99, 0.5f);
                e->setParameter(e, -1, 0.5f);
                // Blocks of the announced size, shorter ones, and now and then
                // one four times as long that is rendered in pieces.
                const VstInt32 frames = b % 11 == 0 ? 1024 : (b % 3 == 0 ? 1 + b % 256 : 256);
                e->processReplacing(e, nullptr, outputs, frames);
                for (VstInt32 i = 0; i < frames; ++i) finite = finite && std::isfinite(left[i]) && std::isfinite(right[i]);
            }
        });
        EXPECT_TRUE(traffic.none()) << traffic;
        e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.0f);
    }
    EXPECT_TRUE(finite);

    // Settings handed over from other threads are picked up at the next block
    // start without either.
    e->dispatcher(e, effSetProgram, 0, 6, nullptr, 0.0f);
    std::vector<unsigned char> bank(704);
    {
        void* data = nullptr;
        const auto size = e->dispatcher(e, effGetChunk, 0, 0, &data, 0.0f);
        ASSERT_EQ(size, 704);
        std::memcpy(bank.data(), data, 704);
    }
    e->dispatcher(e, effSetChunk, 0, 704, bank.data(), 0.0f);
    const Traffic pickUp = watched([&] { e->processReplacing(e, nullptr, outputs, 256); });
    EXPECT_TRUE(pickUp.none()) << pickUp;

    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    DestroyWindow(frame);
}
