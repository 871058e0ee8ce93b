// processReplacing allocates nothing: malloc and its relatives (and the
// global operator new) are replaced for this whole test program and count
// the calls made while a flag is up.
//
// The plug-in carries its own static C++ runtime with hidden symbols, so its
// operator new is not ours; it still ends in malloc, which the loader binds
// to the definitions below (this executable exports them).
#include "chain/chain_support.h"
#include "effect/direct_core.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

// The sanitizers bring their own allocator; counting is for plain builds.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VORLA_COUNT_ALLOCATIONS 0
#else
#define VORLA_COUNT_ALLOCATIONS 1
#endif

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

inline void note()
{
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
}

} // namespace

#if VORLA_COUNT_ALLOCATIONS

extern "C"
{
    void* __libc_malloc(std::size_t);
    void* __libc_calloc(std::size_t, std::size_t);
    void* __libc_realloc(void*, std::size_t);
    void __libc_free(void*);
    void* __libc_memalign(std::size_t, std::size_t);
}

extern "C"
{

    __attribute__((visibility("default"))) void* malloc(std::size_t size)
    {
        note();
        return __libc_malloc(size);
    }

    __attribute__((visibility("default"))) void* calloc(std::size_t count, std::size_t size)
    {
        note();
        return __libc_calloc(count, size);
    }

    __attribute__((visibility("default"))) void* realloc(void* pointer, std::size_t size)
    {
        note();
        return __libc_realloc(pointer, size);
    }

    __attribute__((visibility("default"))) void free(void* pointer)
    {
        if (pointer != nullptr)
            note();
        __libc_free(pointer);
    }

    __attribute__((visibility("default"))) void* aligned_alloc(std::size_t alignment,
                                                               std::size_t size)
    {
        note();
        return __libc_memalign(alignment, size);
    }

    __attribute__((visibility("default"))) void* memalign(std::size_t alignment, std::size_t size)
    {
        note();
        return __libc_memalign(alignment, size);
    }

    __attribute__((visibility("default"))) int posix_memalign(void** out, std::size_t alignment,
                                                              std::size_t size)
    {
        note();
        void* p = __libc_memalign(alignment, size);
        if (p == nullptr)
            return ENOMEM;
        *out = p;
        return 0;
    }

} // extern "C"

void* operator new(std::size_t size)
{
    note();
    if (void* p = __libc_malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* pointer) noexcept
{
    if (pointer != nullptr)
        note();
    __libc_free(pointer);
}

void operator delete(void* pointer, std::size_t) noexcept
{
    operator delete(pointer);
}

#endif // VORLA_COUNT_ALLOCATIONS

namespace {

using namespace vorla::test;

/// Counts the allocations made by `work`.
template <class Work> long countAllocations(Work&& work)
{
    allocations.store(0);
    counting.store(true);
    work();
    counting.store(false);
    return allocations.load();
}

#define SKIP_UNLESS_COUNTING()                                                                     \
    if (!VORLA_COUNT_ALLOCATIONS)                                                                  \
    GTEST_SKIP() << "allocation counting needs a build without sanitizers"

TEST(Allocation, TheCounterSeesThePluginsAllocations)
{
    SKIP_UNLESS_COUNTING();
    // Creating an effect allocates inside the plug-in: the count proves our
    // malloc is the one the plug-in calls.
    (void)pluginLibrary();
    std::unique_ptr<vorla::host::PluginInstance> fx;
    EXPECT_GT(countAllocations([&] { fx = createEffect(); }), 0);
    EXPECT_GT(countAllocations([&] { std::free(std::malloc(16)); }), 0);
}

/// Blocks of every size class in every mode, with knob and switch changes
/// between blocks (the tone stack recomputes inside the audio path).
template <class Process, class Set>
void exerciseAudioPath(Process&& process, Set&& set, long& counted)
{
    std::vector<float> in1 = guitarSignal(4096, 44100.0f, 0);
    std::vector<float> in2 = guitarSignal(4096, 44100.0f, 1);
    std::vector<float> out1(4096);
    std::vector<float> out2(4096);
    float* inputs[2] = {in1.data(), in2.data()};
    float* outputs[2] = {out1.data(), out2.data()};
    for (float quality : {0.0f, 1.0f})
        for (float stereo : {0.0f, 1.0f})
            for (int voicing = 0; voicing < 3; ++voicing)
            {
                set(kQuality, quality);
                set(kMonoStereo, stereo);
                set(kChannel, voicing == 2 ? 1.0f : 0.0f);
                set(kCleanCrunch, voicing == 1 ? 1.0f : 0.0f);
                set(kLow, 0.1f * static_cast<float>(voicing + 1));
                set(kBright, stereo);
                for (int32_t frames : {1, 7, 64, 512, 4096})
                    counted += countAllocations([&] { process(inputs, outputs, frames); });
            }
}

TEST(Allocation, ProcessReplacingThroughTheEntryAllocatesNothing)
{
    SKIP_UNLESS_COUNTING();
    auto fx = createEffect();
    long counted = 0;
    exerciseAudioPath([&](float** in, float** out, int32_t n) { fx->processReplacing(in, out, n); },
                      [&](int32_t index, float value) { fx->setParameter(index, value); }, counted);
    EXPECT_EQ(counted, 0);
}

TEST(Allocation, TheEffectCoresBlockCallAllocatesNothing)
{
    SKIP_UNLESS_COUNTING();
    auto fx = makeCore();
    long counted = 0;
    exerciseAudioPath([&](float** in, float** out, int32_t n) { fx->process(in, out, n); },
                      [&](int32_t index, float value) { fx->setParameter(index, value); }, counted);
    EXPECT_EQ(counted, 0);
}

} // namespace
