// Coverage-guided fuzz target of the plug-in's gateway on the stand-in host.
//
// Each input is decoded into one call of mexFunction: the invoked name, the
// numbers of inputs and outputs, and every input's class, complexity,
// sparsity, shape and values. The outcome the call must have follows from
// those arguments alone (expectedCall), and the call must end that way:
//   - a value: a 1 x 1 real double in the first output slot, the only array
//     created, nothing printed, and equal bit for bit to the core's estimate
//     of the same samples with the same k;
//   - an error: exactly the plug-in's message for the first fault of the
//     arguments, through mexErrMsgTxt, with no array created;
//   - a name the module does not provide: its not-found line printed.
// In every case no slot but the first is written, the inputs are unchanged,
// nothing but the host's error leaves mexFunction, and (under
// AddressSanitizer) no heap block allocated during the call outlives it.
// A breach prints what happened and aborts, which libFuzzer reports.
//
// Input bytes (reading past the end gives 0):
//   name       see pickName; a name of the input's own takes a length byte
//              and that many bytes
//   counts     nrhs = c % 6, nlhs = c / 6 % 4
//   per input  class, flags (complex: 3 of bits 0-1, sparse: 3 of bits 2-3),
//              rows, columns (see pickCount), then a value mode and its
//              bytes (see fillValues)
// Arrays hold at most kMaxElements values. A sample array whose shape must
// be refused as too large for an int is made as a claim without data, as a
// host could never hand over its data; other oversized shapes are cut down.
// Calls whose search would be slow (rows * (k + 1) above kMaxWork) are
// skipped, so that executions stay fast.
#include "messages.h"
#include "standin.h"
#include "test_host.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>
#include <string>
#include <vector>

#if defined(ARVEL_FUZZ_REPLAY)
#include <filesystem>
#include <fstream>
#include <iterator>
#endif

extern "C" void mexFunction(int nlhs, mxArray* plhs[], int nrhs,
                            const mxArray* prhs[]);

#if defined(__SANITIZE_ADDRESS__)
#define ARVEL_FUZZ_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ARVEL_FUZZ_HEAP 1
#endif
#endif

#if defined(ARVEL_FUZZ_HEAP)
extern "C" int __sanitizer_install_malloc_and_free_hooks(
    void (*mallocHook)(const volatile void*, std::size_t),
    void (*freeHook)(const volatile void*));
#endif

namespace {

const std::size_t kMaxElements = 4096;
const std::size_t kMaxWork = 65536;

using namespace arvel::msg;

// ---- Heap blocks of a call --------------------------------------------------
#if defined(ARVEL_FUZZ_HEAP)
thread_local bool counting = false;
long netBlocks = 0;
void onMalloc(const volatile void*, std::size_t)
{
    if (counting) ++netBlocks;
}
void onFree(const volatile void*)
{
    if (counting) --netBlocks;
}
#endif

void startCounting()
{
#if defined(ARVEL_FUZZ_HEAP)
    netBlocks = 0;
    counting = true;
#endif
}

// Blocks allocated and not freed since startCounting.
long stopCounting()
{
#if defined(ARVEL_FUZZ_HEAP)
    counting = false;
    return netBlocks;
#else
    return 0;
#endif
}

// ---- Decoding ---------------------------------------------------------------
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size)
        : p_(data), end_(data + size)
    {
    }
    unsigned byte() { return p_ < end_ ? *p_++ : 0u; }
    unsigned u16()
    {
        const unsigned hi = byte();
        return (hi << 8) | byte();
    }
    std::uint32_t u32()
    {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | byte();
        return v;
    }
    double f64()
    {
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits = (bits << 8) | byte();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }

private:
    const std::uint8_t* p_;
    const std::uint8_t* end_;
};

std::string padded(const char* head, std::size_t length)
{
    std::string s(head);
    s.resize(length, 'x');
    return s;
}

// Mostly the four keys; otherwise a near miss, a name around the gateway's
// 64-byte buffer or the key's small-string limit, a name longer than the
// host keeps, or the input's own bytes.
std::string pickName(Reader& in)
{
    const unsigned s = in.byte();
    if (s < 56) return "entkl_internal";
    if (s < 112) return "mikl_internal";
    if (s < 152) return "miksg_internal";
    if (s < 192) return "cmiksg_internal";
    switch (s % 16) {
    case 0: return "";
    case 1: return "Arvel";
    case 2: return "ENTKL_internal";
    case 3: return "entkl_interna";
    case 4: return "entkl_internalx";
    case 5: return "xmikl_internal";
    case 6: return "mikl_internal ";
    case 7: return s < 224 ? "mikl" : "cmiksg_internal_";
    case 8: return "entkl_internal_";
    case 9: return s < 224 ? "mikl_internal_xyz" : "miksg";
    case 10: return padded("entkl_internal", 63);
    case 11: return padded("entkl_internal", 64);
    case 12: return padded("mikl_internal", 65);
    case 13: return padded("mikl_internal", 4095);
    case 14: return padded("entkl_internal", 5000);
    default: {
        const unsigned length = in.byte();
        std::string name;
        for (unsigned i = 0; i < length; ++i)
            name.push_back(static_cast<char>(in.byte()));
        return name;
    }
    }
}

// A row or column count: small, a 16-bit count, or one at or beyond the
// limits of a 32-bit count.
std::size_t pickCount(Reader& in)
{
    static const std::uint64_t big[16] = {
        2147483647u,          2147483648u,         2147483649u,
        4294967295u,          4294967296u,         4294967297u,
        4294967306u,          8589934592u,         65536u,
        32768u,               46341u,              1073741824u,
        3221225472u,          4611686018427387904u, 9223372036854775808u,
        UINT64_MAX};
    const unsigned s = in.byte();
    if (s < 0xE0) return s;
    if (s < 0xF0) return in.u16();
    // A host's counts are size_t: on a 32-bit host the largest is its own.
    return static_cast<std::size_t>(
        std::min<std::uint64_t>(big[s - 0xF0], SIZE_MAX));
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
const double kDenorm = std::numeric_limits<double>::denorm_min();

double special(unsigned b)
{
    static const double table[32] = {
        kNaN,     -kNaN,      kInf,    -kInf,   0.0,     -0.0,
        kDenorm,  -kDenorm,   DBL_MIN, DBL_MIN / 3.0,    DBL_MAX,
        -DBL_MAX, 1e300,      -1e300,  1e-300,  1e154,   1e-162,
        1.0,      -1.0,       0.5,     9007199254740992.0,
        9007199254740994.0,   1e15,    3.0,     7.0,     0.1,
        3.141592653589793,    1e-12,   -5.0,    1e308,   2.0,
        1.0000000000000002};
    return table[b % 32];
}

// Values around the bounds of k for `rows` samples.
double kValue(unsigned b, std::size_t rows)
{
    const double n = static_cast<double>(rows);
    switch (b % 32) {
    case 0: return kNaN;
    case 1: return kInf;
    case 2: return -kInf;
    case 3: return -1.0;
    case 4: return 0.0;
    case 5: return -0.0;
    case 6: return 0.5;
    case 7: return 0.9999999999999999;
    case 8: return 1.0;
    case 9: return 1.5;
    case 10: return 2.0;
    case 11: return 2.9;
    case 12: return 3.0;
    case 13: return n - 2.0;
    case 14: return n - 1.0;
    case 15: return n - 0.5;
    case 16: return n;
    case 17: return n + 1.0;
    case 18: return 2147483647.0;
    case 19: return 2147483648.0;
    case 20: return 2147483647.5;
    case 21: return 4294967297.0;
    case 22: return -2147483648.0;
    case 23: return -2147483649.0;
    case 24: return 1e300;
    case 25: return -1e300;
    case 26: return DBL_MIN;
    case 27: return kDenorm;
    case 28: return 9007199254740992.0;
    case 29: return DBL_MAX;
    case 30: return 4.0;
    default: return n - 1.0 + 0.999;
    }
}

// The fixed-seed uniform stream of the case table's U(m, n, seed).
std::vector<double> uniform(std::size_t count, std::uint32_t seed)
{
    std::vector<double> v(count);
    std::uint64_t state = seed;
    for (double& x : v) {
        state = (69069u * state + 1u) % 4294967296u;
        x = static_cast<double>(state) / 4294967296.0;
    }
    return v;
}

// m x n values, column-major, in one of ten kinds: uniform, raw bit
// patterns, special values, a small palette (exact duplicates), uniform with
// special values sprinkled in, an integer grid (duplicates and ties), scaled
// and offset uniform (huge, tiny and rounded-together magnitudes), constant
// columns, values around the bounds of k, and denormals.
std::vector<double> fillValues(Reader& in, std::size_t m, std::size_t n,
                               std::size_t sampleRows)
{
    const std::size_t count = m * n;
    std::vector<double> v;
    const unsigned mode = in.byte() % 10;
    if (count == 0) return v;  // n may be huge when m is 0
    switch (mode) {
    case 0:
        v = uniform(count, in.u32());
        break;
    case 1:
        for (std::size_t i = 0; i < count; ++i) v.push_back(in.f64());
        break;
    case 2:
        for (std::size_t i = 0; i < count; ++i) v.push_back(special(in.byte()));
        break;
    case 3: {
        const unsigned size = 1 + in.byte() % 4;
        std::vector<double> palette;
        for (unsigned i = 0; i < size; ++i)
            palette.push_back(special(in.byte()));
        for (std::size_t i = 0; i < count; ++i)
            v.push_back(palette[in.byte() % size]);
        break;
    }
    case 4: {
        v = uniform(count, in.u32());
        const unsigned sprinkled = in.byte() % 8;
        for (unsigned i = 0; i < sprinkled && count > 0; ++i) {
            const std::size_t at = in.u16() % count;
            v[at] = special(in.byte());
        }
        break;
    }
    case 5: {
        const double grid = 2.0 + static_cast<double>(in.byte() % 7);
        v = uniform(count, in.u32());
        for (double& x : v) x = std::floor(x * grid);
        break;
    }
    case 6: {
        static const double offsets[5] = {0.0, 1.0, 1e15, -1e300,
                                          4503599627370496.0};
        const int exponent = static_cast<int>(in.byte() % 250) * 5 / 2 - 312;
        const double offset = offsets[in.byte() % 5];
        v = uniform(count, in.u32());
        const double scale = std::pow(10.0, exponent);
        for (double& x : v) x = offset + x * scale;
        break;
    }
    case 7:
        v.resize(count);
        for (std::size_t j = 0; j < n; ++j) {
            const double c = special(in.byte());
            for (std::size_t i = 0; i < m; ++i) v[i + j * m] = c;
        }
        break;
    case 8:
        for (std::size_t i = 0; i < count; ++i)
            v.push_back(kValue(in.byte(), sampleRows));
        break;
    default: {
        const int scale = static_cast<int>(in.byte() % 52);
        v = uniform(count, in.u32());
        for (double& x : v)
            x = std::ldexp(std::floor(x * 16.0), scale) * kDenorm;
        break;
    }
    }
    return v;
}

struct Input {
    mxClassID classId = mxDOUBLE_CLASS;
    bool complex = false;
    bool sparse = false;
    bool claimsOnly = false;
    std::size_t m = 0, n = 0;
    std::vector<double> values;  // m * n, column-major (padded for sparse)
};

mxClassID pickClass(unsigned b)
{
    static const mxClassID others[] = {
        mxSINGLE_CLASS, mxINT32_CLASS,  mxLOGICAL_CLASS, mxCHAR_CLASS,
        mxUINT8_CLASS,  mxINT64_CLASS,  mxCELL_CLASS,    mxSTRUCT_CLASS,
        mxFUNCTION_CLASS, mxUNKNOWN_CLASS, mxUINT64_CLASS, mxINT8_CLASS};
    if (b % 16 < 10) return mxDOUBLE_CLASS;
    return others[(b / 16) % 12];
}

// Whether the m x n shape exceeds what a sample matrix may be: a count
// beyond the int range, or more than INT_MAX elements once `joined` copies
// of it sit side by side.
bool beyondInt(std::size_t m, std::size_t n, std::size_t joined)
{
    const std::uint64_t limit = INT_MAX;
    return m > limit || n > limit / joined ||
           std::uint64_t{m} * n * joined > limit;
}

Input makeInput(Reader& in, bool samplePosition, std::size_t joined,
                std::size_t sampleRows)
{
    Input a;
    a.classId = pickClass(in.byte());
    const unsigned flags = in.byte();
    a.complex = (flags & 3u) == 3u;
    a.sparse = (flags & 12u) == 12u;
    a.m = pickCount(in);
    a.n = pickCount(in);
    // The stand-in gives a sparse array one element per column.
    const bool fits = (a.m == 0 || a.n <= kMaxElements / a.m) &&
                      (!a.sparse || a.n <= kMaxElements);
    if (!fits) {
        // A sparse array is refused by its class before it is read.
        if (a.sparse || (samplePosition && beyondInt(a.m, a.n, joined))) {
            a.claimsOnly = true;
            return a;
        }
        a.m = std::min(a.m, kMaxElements);
        a.n = std::min(a.n, kMaxElements / std::max<std::size_t>(a.m, 1));
    }
    a.values = fillValues(in, a.m, a.n, samplePosition ? a.m : sampleRows);
    if (a.sparse && a.values.size() < a.n) a.values.resize(a.n, 0.0);
    return a;
}

// ---- The outcome the arguments call for -------------------------------------
enum class Kind { value, error, notFound };

struct Expected {
    Kind kind = Kind::value;
    const char* message = nullptr;
    int k = 1;
};

Expected refused(const char* message)
{
    Expected e;
    e.kind = Kind::error;
    e.message = message;
    return e;
}

// The number of sample arrays of a KSG entry point, or 0.
std::size_t ksgSets(const std::string& name)
{
    if (name == "miksg_internal") return 2;
    if (name == "cmiksg_internal") return 3;
    return 0;
}

// The first fault of a KSG call: the number of inputs; the shapes (a count
// beyond the int range, the joined columns or elements beyond it, then
// unequal row counts); the classes; a set without columns; k, 3 by default.
Expected expectedKsg(std::size_t sets, const std::vector<Input>& in)
{
    Expected e;
    const std::size_t nrhs = in.size();
    if (nrhs < sets || nrhs > sets + 1)
        return refused(sets == 2 ? kMiklCount : kCmiksgCount);
    const std::uint64_t limit = INT_MAX;
    std::uint64_t columns = 0, most = 0;
    for (std::size_t s = 0; s < sets; ++s) {
        if (in[s].m > limit || in[s].n > limit) return refused(kTooLarge);
        columns += in[s].n;
        most = std::max<std::uint64_t>(most, in[s].m);
    }
    if (columns > limit || most * columns > limit) return refused(kTooLarge);
    for (std::size_t s = 1; s < sets; ++s)
        if (in[s].m != in[0].m) return refused(kRowsDiffer);
    for (const Input& a : in)
        if (a.classId != mxDOUBLE_CLASS || a.complex || a.sparse)
            return refused(kNotRealDouble);
    for (std::size_t s = 0; s < sets; ++s)
        if (in[s].n == 0) return refused(kNoColumns);
    const std::size_t rows = in[0].m;
    e.k = 3;
    if (nrhs == sets + 1) {
        const Input& kArg = in.back();
        if (kArg.m == 0 || kArg.n == 0) return refused(kKNotANumber);
        const double v = kArg.values[0];
        if (std::isnan(v)) return refused(kKNotANumber);
        if (v < 1.0) return refused(kKBelowOne);
        if (v >= 2147483648.0) return refused(kKTooLarge);
        e.k = static_cast<int>(v);
    }
    if (static_cast<std::size_t>(e.k) >= rows) return refused(kKTooLarge);
    return e;
}

// The first fault, in the order the plug-in checks: the number of inputs;
// for entropy the classes, then the sample shape (too large, no columns);
// for mutual information the shapes (too large, unequal), then the
// classes, then no columns; k (a number, at least 1, below the row count);
// and without k at least two samples.
Expected expectedCall(const std::string& name, const std::vector<Input>& in)
{
    Expected e;
    if (const std::size_t sets = ksgSets(name)) return expectedKsg(sets, in);
    const bool mi = name == "mikl_internal";
    if (!mi && name != "entkl_internal") {
        e.kind = Kind::notFound;
        return e;
    }
    const std::size_t nrhs = in.size();
    if (!mi && (nrhs < 1 || nrhs > 2)) return refused(kEntklCount);
    if (mi && (nrhs < 2 || nrhs > 3)) return refused(kMiklCount);
    const std::size_t joined = mi ? 2 : 1;
    auto classesFault = [&]() {
        for (const Input& a : in)
            if (a.classId != mxDOUBLE_CLASS || a.complex || a.sparse)
                return true;
        return false;
    };
    if (!mi && classesFault()) return refused(kNotRealDouble);
    if (beyondInt(in[0].m, in[0].n, joined) ||
        (mi && beyondInt(in[1].m, in[1].n, joined)))
        return refused(kTooLarge);
    if (mi && (in[0].m != in[1].m || in[0].n != in[1].n))
        return refused(kSizeDiffers);
    if (mi && classesFault()) return refused(kNotRealDouble);
    if (in[0].n == 0) return refused(kNoColumns);
    const std::size_t rows = in[0].m;
    if (nrhs == joined + 1) {
        const Input& kArg = in.back();
        if (kArg.m == 0 || kArg.n == 0) return refused(kKNotANumber);
        const double v = kArg.values[0];
        if (std::isnan(v)) return refused(kKNotANumber);
        if (v < 1.0) return refused(kKBelowOne);
        if (v >= 2147483648.0) return refused(kKTooLarge);
        e.k = static_cast<int>(v);
        if (static_cast<std::size_t>(e.k) >= rows) return refused(kKTooLarge);
    } else if (rows < 2) {
        return refused(kKTooLarge);
    }
    return e;
}

// The core's estimate of the same samples.
double coreValue(const std::string& name, const std::vector<Input>& in, int k)
{
    if (const std::size_t sets = ksgSets(name)) {
        std::vector<const std::vector<double>*> values;
        std::vector<std::size_t> columns;
        for (std::size_t s = 0; s < sets; ++s) {
            values.push_back(&in[s].values);
            columns.push_back(in[s].n);
        }
        return arvel_test::coreKsg(values, columns, in[0].m, k);
    }
    const bool mi = name == "mikl_internal";
    return arvel_test::coreEstimate(in[0].values, mi ? &in[1].values : nullptr,
                                    in[0].m, in[0].n, k);
}

// ---- The call ---------------------------------------------------------------
using arvel_test::HostError;

struct Call {
    std::string name;
    int nlhs = 0;
    const std::vector<Input>* inputs = nullptr;
};

[[noreturn]] void fail(const Call& c, const std::string& what)
{
    std::fprintf(stderr,
                 "FUZZ FINDING: %s\n  call: '%.80s'%s, nlhs %d, nrhs %zu\n",
                 what.c_str(), c.name.c_str(),
                 c.name.size() > 80 ? "..." : "", c.nlhs, c.inputs->size());
    for (const Input& a : *c.inputs)
        std::fprintf(stderr,
                     "  input: class %d%s%s %zu x %zu%s, first value %.17g\n",
                     static_cast<int>(a.classId), a.complex ? " complex" : "",
                     a.sparse ? " sparse" : "", a.m, a.n,
                     a.claimsOnly ? " (no data)" : "",
                     a.values.empty() ? 0.0 : a.values[0]);
    std::abort();
}

bool isMessage(const char* text)
{
    for (const char* m : kAll)
        if (std::strcmp(text, m) == 0) return true;
    return false;
}

bool sameValue(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, 8) == 0;
}

// What a call did, seen from the host.
struct Observed {
    bool raised = false;
    HostError error{};
    std::string printed;
    int arraysMade = 0;
    bool slotWritten[4] = {false, false, false, false};
    bool resultSound = false;  // a 1 x 1 real double of the module's
    double value = 0.0;
    long leftBlocks = 0;
};

Observed callModule(const Call& c, const mxArray** prhs)
{
    static char sentinel;
    mxArray* const unset = reinterpret_cast<mxArray*>(&sentinel);
    mxArray* plhs[4] = {unset, unset, unset, unset};
    Observed o;
    standinClearPrinted();
    const int arraysBefore = standinCreatedCount();

    startCounting();
    try {
        mexFunction(c.nlhs, plhs, static_cast<int>(c.inputs->size()), prhs);
    } catch (const HostError& e) {
        o.raised = true;
        o.error = e;
    } catch (const std::exception& e) {
        stopCounting();
        fail(c, std::string("an exception left mexFunction: ") + e.what());
    } catch (...) {
        stopCounting();
        fail(c, "an unknown exception left mexFunction");
    }
    o.arraysMade = standinCreatedCount() - arraysBefore;
    for (int i = 0; i < 4; ++i) o.slotWritten[i] = plhs[i] != unset;
    mxArray* result = plhs[0];
    if (result != unset && standinWasCreated(result)) {
        o.resultSound = standinClassOf(result) == mxDOUBLE_CLASS &&
                        !mxIsComplex(result) && !mxIsSparse(result) &&
                        mxGetM(result) == 1 && mxGetN(result) == 1;
        if (o.resultSound) o.value = mxGetPr(result)[0];
        standinDestroyArray(result);
    }
    o.leftBlocks = stopCounting();
    o.printed = standinPrinted();
    return o;
}

const char* describe(const Expected& e)
{
    if (e.kind == Kind::value) return "a value";
    if (e.kind == Kind::notFound) return "the not-found line";
    return e.message;
}

void check(const Call& c, const Expected& want, const Observed& o,
           const std::vector<mxArray*>& arrays)
{
    const std::vector<Input>& inputs = *c.inputs;
    for (int i = 1; i < 4; ++i)
        if (o.slotWritten[i])
            fail(c, "output slot " + std::to_string(i + 1) + " was written");
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const Input& a = inputs[i];
        if (a.classId != mxDOUBLE_CLASS || a.sparse || a.claimsOnly ||
            a.values.empty())
            continue;
        if (std::memcmp(mxGetPr(arrays[i]), a.values.data(),
                        8 * a.values.size()) != 0)
            fail(c, "input " + std::to_string(i + 1) + " was changed");
    }
    if (o.leftBlocks != 0)
        fail(c, std::to_string(o.leftBlocks) +
                    " heap blocks allocated during the call outlived it");

    if (o.raised) {
        if (!isMessage(o.error.message))
            fail(c, std::string("not a message of the plug-in: ") +
                        o.error.message);
        if (want.kind != Kind::error ||
            std::strcmp(o.error.message, want.message) != 0)
            fail(c, std::string("error \"") + o.error.message +
                        "\" where the arguments call for " + describe(want));
        if (o.arraysMade != 0 || o.slotWritten[0])
            fail(c, "an error left an output");
        if (!o.printed.empty()) fail(c, "an error also printed: " + o.printed);
        return;
    }
    if (want.kind == Kind::notFound) {
        const std::string line =
            "Function '" + c.name + "' not found in mex file\n";
        if (o.printed != line) fail(c, "printed \"" + o.printed + "\"");
        if (o.arraysMade != 0 || o.slotWritten[0])
            fail(c, "not-found left an output");
        return;
    }
    if (want.kind == Kind::error)
        fail(c, std::string("returned where the arguments call for ") +
                    describe(want));
    if (!o.printed.empty()) fail(c, "a value call printed: " + o.printed);
    if (o.arraysMade != 1)
        fail(c, std::to_string(o.arraysMade) + " arrays created, not 1");
    if (!o.resultSound) fail(c, "no 1 x 1 real double in the first slot");
    const double expected =
        coreValue(c.name, inputs, want.k);
    if (!sameValue(o.value, expected)) {
        char text[128];
        std::snprintf(text, sizeof text, "value %.17g, core %.17g (k %d)",
                      o.value, expected, want.k);
        fail(c, text);
    }
}

void warmUp()
{
    // The heap blocks of a call are counted on the calling thread, where a
    // worker thread's start leaves blocks that the thread library keeps
    // for later threads, and where the worker's own blocks are not seen:
    // the calls run on the calling thread alone. The threaded path is the
    // sanitizer builds' and the allocation-failure test's.
    setenv("ARVEL_NUM_THREADS", "1", 1);
    // The module's first call fills its function table, which lives as long
    // as the module; later calls must leave no block behind.
    standinSetErrorHandler(&arvel_test::throwHostError);
    standinSetFunctionName("");
    mexFunction(1, nullptr, 0, nullptr);
    standinClearPrinted();
#if defined(ARVEL_FUZZ_HEAP)
    __sanitizer_install_malloc_and_free_hooks(&onMalloc, &onFree);
#endif
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    warmUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size)
{
    Reader in(data, size);
    Call c;
    c.name = pickName(in);
    const unsigned counts = in.byte();
    const std::size_t nrhs = counts % 6;
    c.nlhs = static_cast<int>(counts / 6 % 4);

    // The host keeps at most 4095 characters of a name, up to its first 0;
    // the module sees that.
    standinSetFunctionName(c.name.c_str());
    c.name = mexFunctionName();

    // The sample arrays of the call, and how many copies of an array's
    // shape the too-large check joins: for KSG an array refused by its own
    // elements is refused whatever the others are.
    const std::size_t sets = ksgSets(c.name);
    const std::size_t samples = sets > 0 ? sets : c.name == "mikl_internal" ? 2 : 1;
    const std::size_t joined = sets > 0 ? 1 : samples;
    std::vector<Input> inputs;
    for (std::size_t i = 0; i < nrhs; ++i)
        inputs.push_back(makeInput(in, i < samples, joined,
                                   inputs.empty() ? 0 : inputs[0].m));
    c.inputs = &inputs;

    const Expected want = expectedCall(c.name, inputs);
    if (want.kind == Kind::value &&
        inputs[0].m * (static_cast<std::size_t>(want.k) + 1) > kMaxWork)
        return 0;

    std::vector<mxArray*> arrays;
    for (const Input& a : inputs)
        arrays.push_back(standinCreateArray(
            a.m, a.n, a.classId, a.complex, a.sparse,
            a.claimsOnly || a.values.empty() ? nullptr : a.values.data()));
    // Exactly nrhs pointers, so that a read past them is caught.
    std::vector<const mxArray*> prhsStore(arrays.begin(), arrays.end());
    const mxArray** prhs = prhsStore.data();

    const Observed seen = callModule(c, prhs);
    check(c, want, seen, arrays);

    for (mxArray* a : arrays) standinDestroyArray(a);
    return 0;
}

#if defined(ARVEL_FUZZ_REPLAY)
// Without libFuzzer: runs every file named, or found in a folder named, once.
int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    warmUp();
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        const fs::path p(argv[i]);
        if (fs::is_directory(p)) {
            for (const auto& entry : fs::directory_iterator(p))
                if (entry.is_regular_file()) files.push_back(entry.path());
        } else {
            files.push_back(p);
        }
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& p : files) {
        std::ifstream f(p, std::ios::binary);
        if (!f) {
            std::fprintf(stderr, "cannot read %s\n", p.c_str());
            return 2;
        }
        const std::vector<char> bytes((std::istreambuf_iterator<char>(f)),
                                      std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(
            reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("%zu inputs replayed, no finding\n", files.size());
    return files.empty() ? 1 : 0;
}
#endif
