// The plug-in's gateway and its four entry points.
//
// The host calls mexFunction for every call of a function the module
// provides; the invoked name picks the handler from funcMap. The handlers
// check every argument before they allocate anything, so that an error
// report, which never returns, leaves nothing of theirs behind; they then
// copy the samples, estimate, and return one 1 x 1 real double.
#include "CMatrix.h"
#include "hest_continuous.h"
#include "ksg.h"
#include "messages.h"
#include "mexApi.h"
#include "mi_continuous.h"
#include "mxHelper.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <map>
#include <new>
#include <string>

#if defined(_WIN32)
#define ARVEL_EXPORT __declspec(dllexport)
#else
#define ARVEL_EXPORT __attribute__((visibility("default")))
#endif

namespace arvel {

using Handler = void (*)(int nlhs, mxArray* plhs[], int nrhs,
                         const mxArray* prhs[]);

// Function name -> handler. The only state that outlives a call.
std::map<std::string, Handler> funcMap;

namespace {

using namespace msg;

// The conversion reads M x N doubles from the array's real data, which only
// a real, full double array holds.
bool isRealFullDouble(const mxArray* a)
{
    return mxIsDouble(a) && !mxIsComplex(a) && !mxIsSparse(a);
}

const char* checkClasses(int nrhs, const mxArray* prhs[])
{
    for (int i = 0; i < nrhs; ++i)
        if (!isRealFullDouble(prhs[i])) return kNotRealDouble;
    return nullptr;
}

// Rows and columns of a sample array, refused when they or the element
// count of a matrix of `joined` times its columns exceed the int range.
const char* sampleShape(const mxArray* a, int joined, int& rows, int& cols)
{
    const std::size_t m = mxGetM(a);
    const std::size_t n = mxGetN(a);
    if (m > static_cast<std::size_t>(INT_MAX) ||
        n > static_cast<std::size_t>(INT_MAX / joined))
        return kTooLarge;
    rows = static_cast<int>(m);
    cols = static_cast<int>(n);
    if (cols == 0) return kNoColumns;
    if (static_cast<long long>(rows) * cols * joined > INT_MAX)
        return kTooLarge;
    return nullptr;
}

// k from the first element of its array, truncated toward zero; it must
// lie in 1 ... rows - 1.
const char* readK(const mxArray* a, int rows, int& k)
{
    if (mxGetM(a) == 0 || mxGetN(a) == 0) return kKNotANumber;
    const double v = mxGetPr(a)[0];
    if (std::isnan(v)) return kKNotANumber;
    if (!(v >= 1.0)) return kKBelowOne;             // truncates below 1
    if (!(v < 2147483648.0)) return kKTooLarge;     // beyond any row count
    k = static_cast<int>(v);
    if (k >= rows) return kKTooLarge;
    return nullptr;
}

// The shapes of the sample arrays of the KSG entry points, count of them
// side by side: refused as too large when a row or column count, the
// joined column count, or the joined matrix's elements (of the largest row
// count) exceed the int range, which is checked before the row counts are
// compared, so that a truncated count cannot pass as equal.
const char* jointShape(const mxArray* const* arrays, int count, int& rows)
{
    unsigned long long columns = 0, most = 0;
    for (int a = 0; a < count; ++a) {
        const std::size_t m = mxGetM(arrays[a]);
        const std::size_t n = mxGetN(arrays[a]);
        if (m > static_cast<std::size_t>(INT_MAX) ||
            n > static_cast<std::size_t>(INT_MAX))
            return kTooLarge;
        columns += n;
        if (m > most) most = m;
    }
    if (columns > INT_MAX || most * columns > INT_MAX) return kTooLarge;
    for (int a = 1; a < count; ++a)
        if (mxGetM(arrays[a]) != mxGetM(arrays[0])) return kRowsDiffer;
    rows = static_cast<int>(mxGetM(arrays[0]));
    return nullptr;
}

// Runs estimate(), which copies the samples into matrices of its own and
// estimates, and hands the result to the host as a new 1 x 1 real double
// array in the first output slot. No exception of ours may leave the
// plug-in: the matrices are released as estimate() unwinds, and the failure
// is reported after the exception is gone. The host's own error report is
// not raised in here.
template <class Estimate>
void estimateAndReturn(mxArray* plhs[], Estimate estimate)
{
    double value = 0.0;
    char failure[256] = "";
    try {
        value = estimate();
    } catch (const std::bad_alloc&) {
        std::snprintf(failure, sizeof failure, "%s", kOutOfMemory);
    } catch (const std::exception& e) {
        std::snprintf(failure, sizeof failure, "Estimation failed: %s\n",
                      e.what());
    }
    if (failure[0] != '\0') {
        mexErrMsgTxt(failure);
        return;
    }
    mxArray* result = mxCreateNumericMatrix(1, 1, mxDOUBLE_CLASS, mxREAL);
    plhs[0] = result;
    mxGetPr(result)[0] = value;
}

}  // namespace

// entkl_internal(X) or entkl_internal(X, k)
void mexFunction_entkl(int /*nlhs*/, mxArray* plhs[], int nrhs,
                       const mxArray* prhs[])
{
    if (nrhs < 1 || nrhs > 2) {
        mexErrMsgTxt(kEntklCount);
        return;
    }
    int n = 0, d = 0, k = 1;
    const char* fault = checkClasses(nrhs, prhs);
    if (!fault) fault = sampleShape(prhs[0], 1, n, d);
    if (!fault && nrhs == 2) fault = readK(prhs[1], n, k);
    if (!fault && nrhs == 1 && n < 2) fault = kKTooLarge;
    if (fault) {
        mexErrMsgTxt(fault);
        return;
    }

    estimateAndReturn(plhs, [&] {
        CMatrix X;
        mxToCMatrix(prhs[0], X);
        return entkl(X, k);
    });
}

// mikl_internal(X, Y) or mikl_internal(X, Y, k)
void mexFunction_mikl(int /*nlhs*/, mxArray* plhs[], int nrhs,
                      const mxArray* prhs[])
{
    if (nrhs < 2 || nrhs > 3) {
        mexErrMsgTxt(kMiklCount);
        return;
    }
    // The shapes come first, as the counts are read alike for every class.
    // Counts that do not fit an int are refused before they are compared,
    // so that a truncated count cannot pass as equal.
    int n = 0, d = 0, k = 1, yRows = 0, yCols = 0;
    const char* xShape = sampleShape(prhs[0], 2, n, d);
    const char* yShape = sampleShape(prhs[1], 2, yRows, yCols);
    const char* fault = nullptr;
    if (xShape == kTooLarge || yShape == kTooLarge)
        fault = kTooLarge;
    else if (n != yRows || d != yCols)
        fault = kSizeDiffers;
    if (!fault) fault = checkClasses(nrhs, prhs);
    if (!fault) fault = xShape;  // no columns
    if (!fault && nrhs == 3) fault = readK(prhs[2], n, k);
    if (!fault && nrhs == 2 && n < 2) fault = kKTooLarge;
    if (fault) {
        mexErrMsgTxt(fault);
        return;
    }

    estimateAndReturn(plhs, [&] {
        CMatrix X, Y, XY;
        mxToCMatrix(prhs[0], X);
        mxToCMatrix(prhs[1], Y);
        mxToCMatrix(prhs[0], prhs[1], XY);
        return mikl(X, Y, XY, k);
    });
}

namespace {

// The checks of the KSG entry points, over `sets` sample arrays and an
// optional k (3 by default): the number of inputs, the shapes, the classes,
// columns in every set, then k. Returns the first fault, or null.
const char* checkKsg(int nrhs, const mxArray* prhs[], int sets,
                     const char* countMessage, int& k)
{
    if (nrhs < sets || nrhs > sets + 1) return countMessage;
    int n = 0;
    const char* fault = jointShape(prhs, sets, n);
    if (!fault) fault = checkClasses(nrhs, prhs);
    for (int a = 0; !fault && a < sets; ++a)
        if (mxGetN(prhs[a]) == 0) fault = kNoColumns;
    k = 3;
    if (!fault && nrhs == sets + 1) fault = readK(prhs[sets], n, k);
    if (!fault && nrhs == sets && k >= n) fault = kKTooLarge;
    return fault;
}

}  // namespace

// miksg_internal(X, Y) or miksg_internal(X, Y, k)
void mexFunction_miksg(int /*nlhs*/, mxArray* plhs[], int nrhs,
                       const mxArray* prhs[])
{
    int k = 3;
    const char* fault = checkKsg(nrhs, prhs, 2, kMiklCount, k);
    if (fault) {
        mexErrMsgTxt(fault);
        return;
    }
    estimateAndReturn(plhs, [&] {
        CMatrix XY;
        mxJoinColumns(prhs, 2, XY);
        return miksg(XY, static_cast<int>(mxGetN(prhs[0])), k);
    });
}

// cmiksg_internal(X, Y, Z) or cmiksg_internal(X, Y, Z, k)
void mexFunction_cmiksg(int /*nlhs*/, mxArray* plhs[], int nrhs,
                        const mxArray* prhs[])
{
    int k = 3;
    const char* fault = checkKsg(nrhs, prhs, 3, kCmiksgCount, k);
    if (fault) {
        mexErrMsgTxt(fault);
        return;
    }
    estimateAndReturn(plhs, [&] {
        CMatrix XYZ;
        mxJoinColumns(prhs, 3, XYZ);
        return cmiksg(XYZ, static_cast<int>(mxGetN(prhs[0])),
                      static_cast<int>(mxGetN(prhs[1])), k);
    });
}

}  // namespace arvel

// The gateway. A name the module does not provide is printed, not raised.
extern "C" ARVEL_EXPORT void mexFunction(int nlhs, mxArray* plhs[], int nrhs,
                                         const mxArray* prhs[])
{
    using arvel::funcMap;

    // Holds every name the host can call (63 characters) and its zero. A
    // longer name is never copied; no key is that long, so it is not found.
    char name[64];
    const char* invoked = mexFunctionName();
    if (invoked == nullptr) invoked = "";
    const std::size_t length = strnlen(invoked, sizeof name);
    const bool fits = length < sizeof name;
    if (fits) std::memcpy(name, invoked, length + 1);

    arvel::Handler handler = nullptr;
    bool outOfMemory = false;
    try {
        // Unique insertions: only the first call changes the table.
        funcMap.try_emplace(std::string("entkl_internal"),
                            &arvel::mexFunction_entkl);
        funcMap.try_emplace(std::string("mikl_internal"),
                            &arvel::mexFunction_mikl);
        funcMap.try_emplace(std::string("miksg_internal"),
                            &arvel::mexFunction_miksg);
        funcMap.try_emplace(std::string("cmiksg_internal"),
                            &arvel::mexFunction_cmiksg);
        if (fits) {
            const auto found = funcMap.find(std::string(name));
            if (found != funcMap.end()) handler = found->second;
        }
    } catch (const std::bad_alloc&) {
        outOfMemory = true;
    }
    if (outOfMemory) {
        mexErrMsgTxt(arvel::msg::kOutOfMemory);
        return;
    }
    if (handler == nullptr) {
        mexPrintf("Function '%s' not found in mex file\n",
                  fits ? name : invoked);
        return;
    }
    handler(nlhs, plhs, nrhs, prhs);
}
