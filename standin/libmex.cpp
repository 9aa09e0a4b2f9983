// Stand-in libmex: name, printing and error report.
#include "standin.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

char functionName[4096] = "";
char printed[65536] = "";
std::size_t printedLength = 0;
StandinErrorHandler errorHandler = nullptr;

}  // namespace

extern "C" {

void standinSetFunctionName(const char* name)
{
    std::snprintf(functionName, sizeof functionName, "%s", name);
}

const char* standinPrinted(void) { return printed; }

void standinClearPrinted(void)
{
    printed[0] = '\0';
    printedLength = 0;
}

void standinSetErrorHandler(StandinErrorHandler handler)
{
    errorHandler = handler;
}

const char* mexFunctionName(void) { return functionName; }

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
int mexPrintf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const std::size_t room = sizeof printed - printedLength;
    const int written =
        std::vsnprintf(printed + printedLength, room, format, args);
    va_end(args);
    if (written > 0)
        printedLength += static_cast<std::size_t>(written) < room
                             ? static_cast<std::size_t>(written)
                             : room - 1;
    return written;
}

void mexErrMsgTxt(const char* message)
{
    if (errorHandler != nullptr) errorHandler(message);
    std::fprintf(stderr, "mexErrMsgTxt without a handler: %s", message);
    std::abort();
}

}  // extern "C"
