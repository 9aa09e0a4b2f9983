// A small stand-in for MATLAB's MEX and matrix libraries, for running the
// built plug-in without MATLAB. libmex and libmx implement the host
// functions the plug-in imports (declared in src/mex/mexApi.h) and, beside
// them, the calls a test host makes: it sets the invoked name, reads what
// was printed, makes input arrays of any class and shape, and sees every
// array the plug-in created. Nothing here allocates with operator new, so a
// test host can count the plug-in's own heap around a call.
#ifndef ARVEL_STANDIN_H
#define ARVEL_STANDIN_H

#include "mexApi.h"

#include <cstddef>

#if defined(_WIN32)
#if defined(ARVEL_STANDIN_BUILD_MEX) || defined(ARVEL_STANDIN_BUILD_MX)
#define ARVEL_STANDIN_EXPORT __declspec(dllexport)
#else
#define ARVEL_STANDIN_EXPORT __declspec(dllimport)
#endif
#else
#define ARVEL_STANDIN_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

// libmex: the invoked name, the printed text and the error report.

ARVEL_STANDIN_EXPORT void standinSetFunctionName(const char* name);
// Everything mexPrintf wrote since the last standinClearPrinted (at most
// 64 KiB is kept).
ARVEL_STANDIN_EXPORT const char* standinPrinted(void);
ARVEL_STANDIN_EXPORT void standinClearPrinted(void);
// mexErrMsgTxt passes its message to this handler, which must not return
// (a test host throws from it, so that the report unwinds through the
// plug-in as in Octave). Without a handler the process aborts.
typedef void (*StandinErrorHandler)(const char* message);
ARVEL_STANDIN_EXPORT void standinSetErrorHandler(StandinErrorHandler handler);

// libmx: arrays.

// A test's input array of m x n elements. For real full double arrays
// `values` holds the m * n doubles (copied); other classes get a buffer of
// their own element size, sparse arrays one element per column, so that
// reading them as m * n doubles runs past their data. `values` may be null
// to claim a shape without data (its data pointer is then null).
ARVEL_STANDIN_EXPORT mxArray* standinCreateArray(std::size_t m, std::size_t n,
                                                 mxClassID classId,
                                                 bool complex, bool sparse,
                                                 const double* values);
// Releases any array, whoever created it.
ARVEL_STANDIN_EXPORT void standinDestroyArray(mxArray* array);
// Arrays created by mxCreateNumericMatrix_730 and not yet destroyed.
ARVEL_STANDIN_EXPORT int standinCreatedCount(void);
ARVEL_STANDIN_EXPORT bool standinWasCreated(const mxArray* array);
ARVEL_STANDIN_EXPORT mxClassID standinClassOf(const mxArray* array);

}  // extern "C"

#endif
