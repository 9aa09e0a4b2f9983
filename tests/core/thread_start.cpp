// Threads that cannot be started: pthread_create is replaced for this
// program and refuses every thread after the first `allowed`. The work then
// falls to the threads that did start, down to the calling thread alone,
// with the same result and no error.
#include "utilFunctions.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>

namespace {

std::atomic<int> allowed{1 << 30};
std::atomic<int> refused{0};

}  // namespace

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr,
                              void* (*start)(void*), void* arg)
{
    using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*),
                           void*);
    static const Create real =
        reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
    if (allowed.fetch_sub(1) <= 0) {
        ++refused;
        return EAGAIN;
    }
    return real(thread, attr, start, arg);
}

TEST(ThreadStart, RefusedThreadsLeaveTheirWorkToTheOthers)
{
    arvel::CMatrix m;
    arvel_test::fillGauss(m, 70000, 2, 77);
    const double one = arvel::calculateMlogRho(m, 4, 1);
    for (int started : {0, 1, 2, 5}) {
        SCOPED_TRACE(testing::Message() << started << " threads start");
        allowed = started;
        refused = 0;
        const double got = arvel::calculateMlogRho(m, 4, 8);
        allowed = 1 << 30;
        EXPECT_TRUE(arvel_test::sameBits(got, one));
        EXPECT_GT(refused.load(), 0);
    }
}
