// The host API the plug-in uses.
//
// Built for Octave, or against MATLAB's own headers, the host's mex.h is used
// (ARVEL_HOST_MEX_H is then defined). Otherwise these declarations stand in
// for MATLAB's: the functions the plug-in imports from libmex and libmx,
// under the names of MATLAB's separate-complex API, with MATLAB's types and
// class numbers.
#ifndef ARVEL_MEXAPI_H
#define ARVEL_MEXAPI_H

#if defined(ARVEL_HOST_MEX_H)
#include <mex.h>
#else
#include <cstddef>

extern "C" {

typedef struct mxArray_tag mxArray;

typedef enum {
    mxUNKNOWN_CLASS = 0,
    mxCELL_CLASS,
    mxSTRUCT_CLASS,
    mxLOGICAL_CLASS,
    mxCHAR_CLASS,
    mxVOID_CLASS,
    mxDOUBLE_CLASS,
    mxSINGLE_CLASS,
    mxINT8_CLASS,
    mxUINT8_CLASS,
    mxINT16_CLASS,
    mxUINT16_CLASS,
    mxINT32_CLASS,
    mxUINT32_CLASS,
    mxINT64_CLASS,
    mxUINT64_CLASS,
    mxFUNCTION_CLASS
} mxClassID;

typedef enum { mxREAL = 0, mxCOMPLEX } mxComplexity;

// libmex
const char* mexFunctionName(void);
int mexPrintf(const char* format, ...);
void mexErrMsgTxt(const char* message);

// libmx
std::size_t mxGetM(const mxArray* array);
std::size_t mxGetN(const mxArray* array);
double* mxGetPr(const mxArray* array);
bool mxIsDouble(const mxArray* array);
bool mxIsComplex(const mxArray* array);
bool mxIsSparse(const mxArray* array);
mxArray* mxCreateNumericMatrix_730(std::size_t m, std::size_t n,
                                   mxClassID classid, mxComplexity flag);

}  // extern "C"

#define mxCreateNumericMatrix mxCreateNumericMatrix_730
#endif

#endif
