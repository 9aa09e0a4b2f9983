// Allocation failure: every allocation point of a call fails in turn.
//
//   arvel_alloc_failure MODULE CASES
//
// For every case of the table, the call is first made with nothing failing,
// which counts its allocation points: the calls of operator new (from
// anywhere during the call) and of malloc from the module itself (the
// kd-tree's node pool, and, where the module carries its own C++ runtime,
// the operator new inside it, which this program's does not replace). It is then made again with the n-th point failing,
// for n = 1, 2, ... until a call no longer reaches n. Operator new throws
// std::bad_alloc there and malloc returns null. Every call that met a
// failure must end through mexErrMsgTxt with "Out of memory\n", with no
// output slot written, no array created, nothing printed and no block of the
// module's heap left; the last call must end as the table says.
//
// The module's first call also fills its function table. So that those
// allocations fail in turn too, a few cases are run as the very first call
// of a fresh copy of the module, one copy for each n; after the failed call
// a second, unfailed call in the same copy must leave the table of the
// reference copy and nothing more.
//
// The module's worker threads allocate too, so the counts are atomic and
// the table of malloc blocks is locked; which allocation is the n-th then
// depends on the threads' timing, but every one of them fails in some run.
//
// This program replaces operator new and malloc for the whole process, so
// it is a program of its own, not part of the case runner.
#include "cases.h"
#include "standin.h"
#include "test_host.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <string>
#include <vector>

using arvel_test::Argument;
using arvel_test::Case;
using arvel_test::Outcome;

// ---- The heap -------------------------------------------------------------
extern "C" void* __libc_malloc(std::size_t size);
extern "C" void __libc_free(void* p);
extern "C" void* __libc_calloc(std::size_t count, std::size_t size);
extern "C" void* __libc_realloc(void* p, std::size_t size);

namespace {

// Set only around mexFunction.
std::atomic<bool> watching{false};
std::atomic<long> failAt{0};      // the allocation point to fail, or 0
std::atomic<long> points{0};      // allocation points met since the call began
std::atomic<long> newBlocks{0};   // live blocks of operator new

// Guards poolBlocks and poolCount; it allocates nothing.
std::atomic_flag poolLock = ATOMIC_FLAG_INIT;
struct PoolGuard {
    PoolGuard() { while (poolLock.test_and_set(std::memory_order_acquire)) {} }
    ~PoolGuard() { poolLock.clear(std::memory_order_release); }
};

// Live blocks the module took from malloc. They are known by address: a
// free reached by tail calls from the module (as the end of a catch frees
// the exception) would look like the module's own.
const int kMaxPoolBlocks = 4096;
void* poolBlocks[kMaxPoolBlocks];
int poolCount = 0;

std::uintptr_t moduleBegin = 0, moduleEnd = 0;

bool fromModule(const void* returnAddress)
{
    const std::uintptr_t a = reinterpret_cast<std::uintptr_t>(returnAddress);
    return a >= moduleBegin && a < moduleEnd;
}

// Whether this allocation point is the one to fail.
bool failHere()
{
    return ++points == failAt;
}

}  // namespace

extern "C" void* malloc(std::size_t size)
{
    if (watching && fromModule(__builtin_return_address(0))) {
        if (failHere()) {
            errno = ENOMEM;
            return nullptr;
        }
        void* p = __libc_malloc(size);
        if (p != nullptr) {
            PoolGuard guard;
            if (poolCount == kMaxPoolBlocks) std::abort();
            poolBlocks[poolCount++] = p;
        }
        return p;
    }
    return __libc_malloc(size);
}

extern "C" void free(void* p)
{
    PoolGuard guard;
    for (int i = 0; p != nullptr && i < poolCount; ++i)
        if (poolBlocks[i] == p) {
            poolBlocks[i] = poolBlocks[--poolCount];
            break;
        }
    __libc_free(p);
}

extern "C" void* calloc(std::size_t count, std::size_t size)
{
    return __libc_calloc(count, size);
}

extern "C" void* realloc(void* p, std::size_t size)
{
    return __libc_realloc(p, size);
}

void* operator new(std::size_t size)
{
    if (watching && failHere()) throw std::bad_alloc();
    void* p = __libc_malloc(size ? size : 1);
    if (p == nullptr) throw std::bad_alloc();
    ++newBlocks;
    return p;
}
void operator delete(void* p) noexcept
{
    if (p != nullptr) {
        --newBlocks;
        __libc_free(p);
    }
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }

namespace {

long moduleHeap() { return newBlocks + poolCount; }

// ---- The module -----------------------------------------------------------
using MexFunction = void (*)(int, mxArray*[], int, const mxArray*[]);

struct Module {
    MexFunction mexFunction = nullptr;
    std::uintptr_t begin = 0, end = 0;
};

int findSegments(dl_phdr_info* info, std::size_t, void* data)
{
    Module& m = *static_cast<Module*>(data);
    const std::uintptr_t base = info->dlpi_addr;
    const std::uintptr_t probe = reinterpret_cast<std::uintptr_t>(
        reinterpret_cast<void*>(m.mexFunction));
    std::uintptr_t lo = UINTPTR_MAX, hi = 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_LOAD) continue;
        lo = std::min<std::uintptr_t>(lo, base + ph.p_vaddr);
        hi = std::max<std::uintptr_t>(hi, base + ph.p_vaddr + ph.p_memsz);
    }
    if (probe < lo || probe >= hi) return 0;
    m.begin = lo;
    m.end = hi;
    return 1;
}

bool load(const std::string& path, Module& m)
{
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", path.c_str(), dlerror());
        return false;
    }
    m.mexFunction = reinterpret_cast<MexFunction>(dlsym(handle, "mexFunction"));
    if (m.mexFunction == nullptr || dl_iterate_phdr(&findSegments, &m) == 0) {
        std::fprintf(stderr, "no mexFunction in %s\n", path.c_str());
        return false;
    }
    return true;
}

// A fresh copy of the module file, so that loading it gives a module that
// has never been called.
std::string copyModule(const std::string& from, const std::string& folder,
                       int number)
{
    const std::string to = folder + "/first" + std::to_string(number) +
                           ".mexa64";
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary);
    out << in.rdbuf();
    return to;
}

// ---- One call -------------------------------------------------------------
using arvel_test::HostError;

struct Result {
    long points = 0;  // allocation points met
    long heapLeft = 0;
    bool raised = false;
    std::string message;
    std::string printed;
    int arraysMade = 0;
    bool otherSlotWritten = false;
    bool hasValue = false;
    double value = 0.0;
};

// Calls the case with allocation point `failPoint` failing (0: none).
Result call(const Module& m, const Case& c, long failPoint)
{
    std::vector<mxArray*> inputs;
    for (const Argument& a : c.arguments)
        inputs.push_back(standinCreateArray(
            a.m, a.n, a.classId, a.complex, a.sparse,
            a.claimsOnly ? nullptr : a.values.data()));
    static char sentinel;
    mxArray* const unset = reinterpret_cast<mxArray*>(&sentinel);
    mxArray* outputs[4] = {unset, unset, unset, unset};
    const mxArray** prhs = const_cast<const mxArray**>(inputs.data());

    standinSetFunctionName(c.invoked.c_str());
    standinClearPrinted();
    Result r;
    HostError error{};
    const int arraysBefore = standinCreatedCount();
    const long heapBefore = moduleHeap();
    moduleBegin = m.begin;
    moduleEnd = m.end;
    points = 0;
    failAt = failPoint;
    watching = true;
    try {
        m.mexFunction(c.outputs, outputs, static_cast<int>(inputs.size()),
                      prhs);
    } catch (const HostError& e) {
        r.raised = true;
        error = e;
    }
    watching = false;
    r.points = points;
    r.heapLeft = moduleHeap() - heapBefore;
    r.message = error.message;
    r.printed = standinPrinted();
    r.arraysMade = standinCreatedCount() - arraysBefore;
    for (int slot = 1; slot < 4; ++slot)
        r.otherSlotWritten = r.otherSlotWritten || outputs[slot] != unset;
    if (outputs[0] != unset && standinWasCreated(outputs[0])) {
        r.hasValue = mxGetM(outputs[0]) == 1 && mxGetN(outputs[0]) == 1;
        if (r.hasValue) r.value = mxGetPr(outputs[0])[0];
        standinDestroyArray(outputs[0]);
    }
    for (mxArray* a : inputs) standinDestroyArray(a);
    return r;
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, 8) == 0; }

// Problems of a call that met its failing allocation point.
std::string failedCallProblems(const Result& r, bool countHeap)
{
    std::string p;
    if (!r.raised) p += " no error raised;";
    else if (r.message != "Out of memory\n")
        p += " message \"" + r.message + "\";";
    if (!r.printed.empty()) p += " printed \"" + r.printed + "\";";
    if (r.arraysMade != 0) p += " an array was created;";
    if (r.otherSlotWritten) p += " a slot past the first was written;";
    if (countHeap && r.heapLeft != 0)
        p += " " + std::to_string(r.heapLeft) + " heap block(s) left;";
    return p;
}

// Problems of a call that ended as it would with nothing failing.
std::string completedCallProblems(const Result& r, const Case& c,
                                  const Result& reference, bool countHeap)
{
    std::string p;
    if (r.otherSlotWritten) p += " a slot past the first was written;";
    if (countHeap && r.heapLeft != 0)
        p += " " + std::to_string(r.heapLeft) + " heap block(s) left;";
    switch (c.outcome) {
    case Outcome::value:
        if (r.raised) p += " error \"" + r.message + "\";";
        else if (!r.hasValue || r.arraysMade != 1) p += " no 1 x 1 result;";
        else if (!sameBits(r.value, reference.value))
            p += " another value than the unfailed call's;";
        break;
    case Outcome::error:
        if (!r.raised || r.message != c.message)
            p += " not the case's error;";
        if (r.arraysMade != 0) p += " an array was created;";
        break;
    case Outcome::notFound:
        if (r.raised || r.printed.empty() || r.arraysMade != 0)
            p += " not the not-found line;";
        break;
    }
    return p;
}

int failures = 0;

void report(const Case& c, const std::string& when, const std::string& what)
{
    if (what.empty()) return;
    ++failures;
    std::printf("FAIL line %d: %s [%s]%s:%s\n", c.line, c.name.c_str(),
                c.invoked.c_str(), when.c_str(), what.c_str());
}

// Fails every allocation point of one case in turn, in a module whose table
// is already filled. Returns the number of points.
long everyPoint(const Module& m, const Case& c)
{
    const Result reference = call(m, c, 0);
    report(c, " unfailed",
           completedCallProblems(reference, c, reference, true));
    long n = 1;
    for (;; ++n) {
        const Result r = call(m, c, n);
        if (r.points < n) {
            report(c, "", completedCallProblems(r, c, reference, true));
            break;
        }
        report(c, " point " + std::to_string(n), failedCallProblems(r, true));
        if (n > reference.points + 1) {
            report(c, "", " more allocation points than the unfailed call's");
            break;
        }
    }
    return n - 1;
}

// The same as the very first call of fresh copies of the module.
long everyPointOfFirstCall(const std::string& path, const std::string& folder,
                           const Case& c, const Case& second, int& copies)
{
    // The reference: a fresh copy, the call unfailed, then the second call.
    Module m;
    if (!load(copyModule(path, folder, copies++), m)) std::exit(2);
    const Result reference = call(m, c, 0);
    report(c, " first call, unfailed",
           completedCallProblems(reference, c, reference, false));
    const long table = reference.heapLeft + call(m, second, 0).heapLeft;

    long n = 1;
    for (;; ++n) {
        Module fresh;
        if (!load(copyModule(path, folder, copies++), fresh)) std::exit(2);
        const Result r = call(fresh, c, n);
        const bool reached = r.points >= n;
        if (reached)
            report(c, " first call, point " + std::to_string(n),
                   failedCallProblems(r, false));
        else
            report(c, " first call",
                   completedCallProblems(r, c, reference, false));
        const Result after = call(fresh, second, 0);
        if (after.raised)
            report(second, " after a failed first call", " " + after.message);
        const long kept = r.heapLeft + after.heapLeft;
        if (kept != table)
            report(c, " first call, point " + std::to_string(n),
                   " the module keeps " + std::to_string(kept) +
                       " blocks after the next call, not " +
                       std::to_string(table));
        if (!reached || n > reference.points + 1) break;
    }
    return n - 1;
}

const Case* findCase(const std::vector<Case>& cases, const std::string& name)
{
    for (const Case& c : cases)
        if (c.name == name) return &c;
    std::fprintf(stderr, "no case \"%s\" in the table\n", name.c_str());
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s MODULE CASES\n", argv[0]);
        return 2;
    }
    std::vector<Case> cases;
    std::string problem;
    if (!arvel_test::readCases(argv[2], cases, problem)) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 2;
    }
    standinSetErrorHandler(&arvel_test::throwHostError);

    char folder[] = "/tmp/arvel_alloc_failure_XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        return 2;
    }
    int copies = 0;

    // The first call of a module, for each kind of call: its table is
    // filled before the handler runs, and a name of more than 15 characters
    // takes a heap block as the lookup key.
    const Case& entropy = *findCase(cases, "entropy");
    const char* const firstCalls[] = {"entropy", "mikl k given",
                                      "63-character name", "k = 0"};
    for (const char* name : firstCalls) {
        const Case& c = *findCase(cases, name);
        const long n = everyPointOfFirstCall(argv[1], folder, c, entropy,
                                             copies);
        std::printf("first call, %-22s %2ld allocation points\n", name, n);
    }

    Module m;
    if (!load(argv[1], m)) return 2;
    call(m, entropy, 0);  // fills the table
    int withPoints = 0, withoutPoints = 0, skipped = 0;
    for (const Case& c : cases) {
        if (!c.skipped.empty()) {
            ++skipped;
            continue;
        }
        const long n = everyPoint(m, c);
        if (n == 0) {
            ++withoutPoints;
            continue;
        }
        ++withPoints;
        std::printf("line %3d %-30s %2ld allocation points\n", c.line,
                    c.name.c_str(), n);
    }
    for (int i = 0; i < copies; ++i)
        unlink((std::string(folder) + "/first" + std::to_string(i) + ".mexa64")
                   .c_str());
    rmdir(folder);

    std::printf("%d cases allocate, each allocation failed in turn; %d "
                "allocate nothing; %d skipped\n",
                withPoints, withoutPoints, skipped);
    std::printf("%d failures\n", failures);
    return failures == 0 ? 0 : 1;
}
