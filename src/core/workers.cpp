#include "workers.h"

#include <cstdlib>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#elif defined(__linux__)
#include <sched.h>
#endif

namespace arvel {

namespace {

// Threads beyond this many would only add their start-up.
const unsigned kMostThreads = 256;

// The variable's value if it is a positive whole number (digits alone),
// else 0. On Windows the process's environment block is read, which the
// host's setenv changes, rather than the C runtime's copy of it.
unsigned fromEnvironment(const char* name)
{
#if defined(_WIN32)
    char text[32];
    const DWORD length = GetEnvironmentVariableA(name, text, sizeof text);
    if (length == 0 || length >= sizeof text) return 0;
    const char* value = text;
#else
    const char* value = std::getenv(name);
    if (value == nullptr) return 0;
#endif
    unsigned long count = 0;
    const char* c = value;
    for (; *c >= '0' && *c <= '9'; ++c) {
        count = count * 10 + static_cast<unsigned long>(*c - '0');
        if (count > kMostThreads) count = kMostThreads;
    }
    if (c == value || *c != '\0') return 0;
    return static_cast<unsigned>(count);
}

unsigned cpuCount()
{
#if defined(__linux__)
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        const int count = CPU_COUNT(&set);
        if (count > 0) return static_cast<unsigned>(count);
    }
#elif defined(_WIN32)
    DWORD_PTR process = 0, system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) {
        unsigned count = 0;
        for (; process != 0; process &= process - 1) ++count;
        if (count > 0) return count;
    }
#endif
#ifndef ARVEL_NO_THREADS
    const unsigned count = std::thread::hardware_concurrency();
    if (count > 0) return count;
#endif
    return 1;
}

}  // namespace

unsigned threadCount(std::size_t n)
{
#ifdef ARVEL_NO_THREADS
    (void)n;
    return 1;
#else
    unsigned wanted = fromEnvironment("ARVEL_NUM_THREADS");
    if (wanted == 0) wanted = fromEnvironment("OMP_NUM_THREADS");
    if (wanted == 0) wanted = cpuCount();
    if (wanted > kMostThreads) wanted = kMostThreads;
    const std::size_t useful = n / kSamplesPerThread;
    if (useful < wanted) wanted = useful == 0 ? 1 : static_cast<unsigned>(useful);
    return wanted;
#endif
}

}  // namespace arvel
