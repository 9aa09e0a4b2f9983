// Runs the plug-in's case table against the built module on the stand-in
// host: loads the module as a host does, sets the invoked name, calls
// mexFunction and checks, for every case, the outcome, that only the first
// output slot was written, that the inputs were only read, and that nothing
// was left behind: no array but the result, and (where the module shares
// this program's heap) no block of its own.
//
//   arvel_host_tests MODULE CASES [VALUES_OUT] [PASSES]
//
// VALUES_OUT receives every value case's result ("name<TAB>%.17g"), for the
// Octave tests to compare with. The table is run PASSES times (default 3)
// in one loaded module; the first case of the first pass is the module's
// first call.
#include "cases.h"
#include "standin.h"
#include "test_host.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

using arvel_test::Argument;
using arvel_test::Case;
using arvel_test::HostError;
using arvel_test::Outcome;

// ---- Heap of the module ---------------------------------------------------
// On ELF hosts the module's operator new and delete resolve to this
// program's, so live blocks can be counted around a call. (A Windows DLL
// carries its own; there only the host's arrays are counted.)
#if !defined(_WIN32) && !defined(ARVEL_NO_HEAP_COUNT)
#define ARVEL_HEAP_COUNT 1
namespace {
long liveBlocks = 0;
}
void* operator new(std::size_t size)
{
    void* p = std::malloc(size ? size : 1);
    if (p == nullptr) throw std::bad_alloc();
    ++liveBlocks;
    return p;
}
void operator delete(void* p) noexcept
{
    if (p != nullptr) {
        --liveBlocks;
        std::free(p);
    }
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }
static long heapBlocks() { return liveBlocks; }
#else
static long heapBlocks() { return 0; }
#endif

namespace {

using MexFunction = void (*)(int, mxArray*[], int, const mxArray*[]);


MexFunction loadModule(const char* path)
{
#if defined(_WIN32)
    HMODULE module = LoadLibraryA(path);
    if (module == nullptr) {
        std::fprintf(stderr, "cannot load %s (error %lu)\n", path,
                     GetLastError());
        return nullptr;
    }
    return reinterpret_cast<MexFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, "mexFunction")));
#else
    void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
        return nullptr;
    }
    return reinterpret_cast<MexFunction>(dlsym(module, "mexFunction"));
#endif
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, 8) == 0; }

std::string show(double v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

// The core's estimate for a value case, from the same samples.
double expectedValue(const Case& c)
{
    const Argument& x = c.arguments[0];
    const std::size_t sets = c.invoked == "miksg_internal"    ? 2
                             : c.invoked == "cmiksg_internal" ? 3
                                                              : 0;
    if (sets > 0) {
        std::vector<const std::vector<double>*> values;
        std::vector<std::size_t> columns;
        for (std::size_t s = 0; s < sets; ++s) {
            values.push_back(&c.arguments[s].values);
            columns.push_back(c.arguments[s].n);
        }
        return arvel_test::coreKsg(values, columns, x.m, c.k);
    }
    const bool mi = c.invoked != "entkl_internal";
    return arvel_test::coreEstimate(x.values,
                                    mi ? &c.arguments[1].values : nullptr,
                                    x.m, x.n, c.k);
}

mxArray* makeInput(const Argument& a)
{
    return standinCreateArray(a.m, a.n, a.classId, a.complex, a.sparse,
                              a.claimsOnly ? nullptr : a.values.data());
}

bool inputUnchanged(const mxArray* array, const Argument& a)
{
    if (a.claimsOnly || a.classId != mxDOUBLE_CLASS || a.sparse) return true;
    const double* pr = mxGetPr(array);
    return a.values.empty() ||
           std::memcmp(pr, a.values.data(), 8 * a.values.size()) == 0;
}

// Runs one case; returns the failures' descriptions (empty when it passed).
// The module's first call fills its function table, which lives as long as
// the module; its heap is counted from the second call on.
std::vector<std::string> runCase(MexFunction mexFunction, const Case& c,
                                 double expected, double& got,
                                 bool countHeap)
{
    std::vector<std::string> failures;
    auto check = [&](bool ok, const std::string& what) {
        if (!ok) failures.push_back(what);
    };

    std::vector<mxArray*> inputs;
    for (const Argument& a : c.arguments) inputs.push_back(makeInput(a));
    static char sentinel;
    mxArray* const unset = reinterpret_cast<mxArray*>(&sentinel);
    mxArray* outputs[4] = {unset, unset, unset, unset};
    const mxArray** prhs = const_cast<const mxArray**>(inputs.data());

    standinSetFunctionName(c.invoked.c_str());
    standinClearPrinted();
    const int arraysBefore = standinCreatedCount();
    const long blocksBefore = heapBlocks();
    bool raised = false;
    HostError error{};
    try {
        mexFunction(c.outputs, outputs, static_cast<int>(inputs.size()), prhs);
    } catch (const HostError& e) {
        raised = true;
        error = e;
    }
    const long blocksAfter = heapBlocks();
    const int arraysMade = standinCreatedCount() - arraysBefore;
    const std::string printed = standinPrinted();

    check(!countHeap || blocksAfter == blocksBefore,
          "the module kept " + std::to_string(blocksAfter - blocksBefore) +
              " heap block(s)");
    for (int slot = 1; slot < 4; ++slot)
        check(outputs[slot] == unset,
              "output slot " + std::to_string(slot) + " was written");
    for (std::size_t i = 0; i < inputs.size(); ++i)
        check(inputUnchanged(inputs[i], c.arguments[i]),
              "input " + std::to_string(i + 1) + " was changed");

    switch (c.outcome) {
    case Outcome::value: {
        check(!raised, std::string("error raised: ") + error.message);
        check(printed.empty(), "printed: " + printed);
        check(arraysMade == 1,
              std::to_string(arraysMade) + " arrays created, not 1");
        const mxArray* r = outputs[0];
        if (r == unset || !standinWasCreated(r)) {
            check(false, "no result in the first output slot");
            break;
        }
        check(standinClassOf(r) == mxDOUBLE_CLASS && !mxIsComplex(r) &&
                  mxGetM(r) == 1 && mxGetN(r) == 1,
              "the result is not a 1 x 1 real double");
        got = mxGetPr(r)[0];
        check(sameBits(got, expected),
              "value " + show(got) + ", core " + show(expected));
        break;
    }
    case Outcome::error:
        check(raised, "no error raised");
        if (raised)
            check(c.message == error.message,
                  std::string("message \"") + error.message + "\"");
        check(printed.empty(), "printed: " + printed);
        check(arraysMade == 0 && outputs[0] == unset, "an output was set");
        break;
    case Outcome::notFound: {
        const std::string want =
            "Function '" + c.invoked + "' not found in mex file\n";
        check(!raised, std::string("error raised: ") + error.message);
        check(printed == want, "printed \"" + printed + "\"");
        check(arraysMade == 0 && outputs[0] == unset, "an output was set");
        break;
    }
    }

    if (outputs[0] != unset && standinWasCreated(outputs[0]))
        standinDestroyArray(outputs[0]);
    for (mxArray* a : inputs) standinDestroyArray(a);
    return failures;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: %s MODULE CASES [VALUES_OUT] [PASSES]\n", argv[0]);
        return 2;
    }
    std::vector<Case> cases;
    std::string problem;
    if (!arvel_test::readCases(argv[2], cases, problem)) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 2;
    }
    const MexFunction mexFunction = loadModule(argv[1]);
    if (mexFunction == nullptr) {
        std::fprintf(stderr, "no mexFunction in %s\n", argv[1]);
        return 2;
    }
    standinSetErrorHandler(&arvel_test::throwHostError);
    const int passes = argc > 4 ? std::atoi(argv[4]) : 3;

    std::vector<double> expected(cases.size(), 0.0);
    int skipped = 0;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        if (!c.skipped.empty()) {
            ++skipped;
            std::printf("SKIP line %d: %s: %s\n", c.line, c.name.c_str(),
                        c.skipped.c_str());
        } else if (c.outcome == Outcome::value) {
            expected[i] = expectedValue(c);
        }
    }

    FILE* values = argc > 3 ? std::fopen(argv[3], "w") : nullptr;
    int failed = 0, run = 0;
    for (int pass = 0; pass < passes; ++pass)
        for (std::size_t i = 0; i < cases.size(); ++i) {
            const Case& c = cases[i];
            if (!c.skipped.empty()) continue;
            double got = 0.0;
            const std::vector<std::string> failures =
                runCase(mexFunction, c, expected[i], got, run > 0);
            ++run;
            if (!failures.empty()) {
                ++failed;
                std::printf("FAIL pass %d, line %d: %s [%s(%s)]\n", pass + 1,
                            c.line, c.name.c_str(), c.invoked.c_str(),
                            c.argumentText.c_str());
                for (const std::string& f : failures)
                    std::printf("     %s\n", f.c_str());
            }
            if (values != nullptr && pass == 0 && c.outcome == Outcome::value)
                std::fprintf(values, "%s\t%s\n", c.name.c_str(),
                             show(got).c_str());
        }
    if (values != nullptr) std::fclose(values);
    std::printf("%d of %d calls passed (%zu cases, %d passes)\n", run - failed,
                run, cases.size(), passes);
    if (skipped > 0)
        std::printf("%d cases skipped: they cannot be made on this host\n",
                    skipped);
    return failed == 0 ? 0 : 1;
}
