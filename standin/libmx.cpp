// Stand-in libmx: arrays, kept in a fixed table so that every array the
// plug-in creates is seen by the test host.
#include "standin.h"

#include <cstdlib>
#include <cstring>

struct mxArray_tag {
    std::size_t m, n;
    mxClassID classId;
    bool complex, sparse;
    bool createdByPlugin;
    double* pr;  // real data (of the class's element size), or null
    double* pi;  // imaginary data, or null
};

namespace {

const int kMaxArrays = 4096;
mxArray* live[kMaxArrays];
int liveCount = 0;

std::size_t elementSize(mxClassID c)
{
    switch (c) {
    case mxDOUBLE_CLASS: case mxINT64_CLASS: case mxUINT64_CLASS: return 8;
    case mxSINGLE_CLASS: case mxINT32_CLASS: case mxUINT32_CLASS: return 4;
    case mxINT16_CLASS: case mxUINT16_CLASS: case mxCHAR_CLASS: return 2;
    default: return 1;
    }
}

void* allocate(std::size_t bytes)
{
    void* p = std::calloc(bytes ? bytes : 1, 1);
    if (p == nullptr) std::abort();
    return p;
}

mxArray* track(mxArray* a)
{
    if (liveCount == kMaxArrays) std::abort();
    live[liveCount++] = a;
    return a;
}

}  // namespace

extern "C" {

mxArray* standinCreateArray(std::size_t m, std::size_t n, mxClassID classId,
                            bool complex, bool sparse, const double* values)
{
    mxArray* a = static_cast<mxArray*>(allocate(sizeof(mxArray)));
    a->m = m;
    a->n = n;
    a->classId = classId;
    a->complex = complex;
    a->sparse = sparse;
    a->createdByPlugin = false;
    if (values != nullptr) {
        const std::size_t count = sparse ? n : m * n;
        const std::size_t bytes = count * elementSize(classId);
        a->pr = static_cast<double*>(allocate(bytes));
        if (classId == mxDOUBLE_CLASS)
            std::memcpy(a->pr, values, bytes);
        if (complex) a->pi = static_cast<double*>(allocate(bytes));
    }
    return track(a);
}

void standinDestroyArray(mxArray* array)
{
    for (int i = 0; i < liveCount; ++i)
        if (live[i] == array) {
            live[i] = live[--liveCount];
            std::free(array->pr);
            std::free(array->pi);
            std::free(array);
            return;
        }
    std::abort();  // not an array of this host
}

int standinCreatedCount(void)
{
    int count = 0;
    for (int i = 0; i < liveCount; ++i) count += live[i]->createdByPlugin;
    return count;
}

bool standinWasCreated(const mxArray* array)
{
    for (int i = 0; i < liveCount; ++i)
        if (live[i] == array) return array->createdByPlugin;
    return false;
}

mxClassID standinClassOf(const mxArray* array) { return array->classId; }

std::size_t mxGetM(const mxArray* array) { return array->m; }
std::size_t mxGetN(const mxArray* array) { return array->n; }
double* mxGetPr(const mxArray* array) { return array->pr; }
bool mxIsDouble(const mxArray* array)
{
    return array->classId == mxDOUBLE_CLASS;
}
bool mxIsComplex(const mxArray* array) { return array->complex; }
bool mxIsSparse(const mxArray* array) { return array->sparse; }

mxArray* mxCreateNumericMatrix_730(std::size_t m, std::size_t n,
                                   mxClassID classid, mxComplexity flag)
{
    mxArray* a = static_cast<mxArray*>(allocate(sizeof(mxArray)));
    a->m = m;
    a->n = n;
    a->classId = classid;
    a->complex = flag == mxCOMPLEX;
    a->sparse = false;
    a->createdByPlugin = true;
    a->pr = static_cast<double*>(allocate(m * n * elementSize(classid)));
    if (a->complex)
        a->pi = static_cast<double*>(allocate(m * n * elementSize(classid)));
    return track(a);
}

}  // extern "C"
