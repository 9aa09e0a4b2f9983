// The texts of the plug-in's error reports, each with its newline: the
// gateway raises them, and the fuzz target checks that nothing else is
// raised.
#ifndef ARVEL_MESSAGES_H
#define ARVEL_MESSAGES_H

namespace arvel {
namespace msg {

const char* const kEntklCount = "Number of parameters must be 1 or 2\n";
const char* const kMiklCount = "Number of parameters must be 2 or 3\n";
const char* const kCmiksgCount = "Number of parameters must be 3 or 4\n";
const char* const kSizeDiffers = "Size of matrices must be the same\n";
const char* const kRowsDiffer =
    "Matrices must have the same number of rows\n";
const char* const kKTooLarge =
    "Nearest neighbour must be lower than sample size\n";
const char* const kKBelowOne = "Nearest neighbour must be at least 1\n";
const char* const kKNotANumber = "Nearest neighbour must be a number\n";
const char* const kNotRealDouble =
    "Inputs must be real full double matrices\n";
const char* const kNoColumns =
    "Sample matrices must have at least one column\n";
const char* const kTooLarge = "Sample matrices are too large\n";
const char* const kOutOfMemory = "Out of memory\n";

// Every message above, for a check that a report is one of them.
const char* const kAll[] = {kEntklCount,  kMiklCount,     kCmiksgCount,
                            kSizeDiffers, kRowsDiffer,    kKTooLarge,
                            kKBelowOne,   kKNotANumber,   kNotRealDouble,
                            kNoColumns,   kTooLarge,      kOutOfMemory};

}  // namespace msg
}  // namespace arvel

#endif
