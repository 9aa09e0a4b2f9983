// The neighbour statistic on several threads: the same bits for every
// thread count, and the thread count read from the environment.
#include "utilFunctions.h"
#include "workers.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#if defined(__linux__)
#include <sched.h>
#endif

using arvel::CMatrix;
using arvel::calculateMlogRho;

namespace {

// Sets where a fault of the threaded path would show: Gaussian, enough
// that the tree's build forks; mostly one point, where searches stop early
// and chunks take very different times; extreme magnitudes, searched
// scaled; and five dimensions, the run-time dimension's search.
struct Set {
    const char* name;
    int n, d;
    double scale;      // of Gaussian samples
    double duplicate;  // share of rows that are one point
};

void makeSet(const Set& s, CMatrix& m, std::uint64_t seed)
{
    arvel_test::fillGauss(m, s.n, s.d, seed);
    const int equal = static_cast<int>(s.duplicate * s.n);
    for (int i = 0; i < s.n * s.d; ++i) {
        m.data[i] *= s.scale;
        if (i % s.n < equal) m.data[i] = 0.5 * s.scale;
    }
}

}  // namespace

TEST(Threads, SameBitsForEveryThreadCount)
{
    const Set sets[] = {
        {"gauss 2-D", 70000, 2, 1.0, 0.0},
        {"90% one point", 50000, 3, 1.0, 0.9},
        {"extreme magnitude", 40000, 1, 1e300, 0.0},
        {"tiny magnitude", 20000, 2, 1e-300, 0.2},
        {"five dimensions", 20000, 5, 1.0, 0.0},
    };
    std::uint64_t seed = 40;
    for (const Set& s : sets) {
        CMatrix m;
        makeSet(s, m, seed++);
        for (int k : {1, 4}) {
            const double one = calculateMlogRho(m, k, 1);
            for (unsigned threads : {2u, 3u, 8u}) {
                SCOPED_TRACE(testing::Message() << s.name << " k " << k
                                                << " threads " << threads);
                EXPECT_TRUE(arvel_test::sameBits(calculateMlogRho(m, k, threads), one));
            }
        }
    }
}

TEST(Threads, CountFromTheEnvironment)
{
    unsigned cpus = 0;
#if defined(__linux__)
    cpu_set_t set;
    ASSERT_EQ(sched_getaffinity(0, sizeof set, &set), 0);
    cpus = static_cast<unsigned>(CPU_COUNT(&set));
#endif
    const std::size_t many = 1 << 24;
    const struct {
        const char* arvel;  // nullptr: unset
        const char* omp;
        std::size_t n;
        unsigned want;      // 0: the CPUs this process may use
    } cases[] = {
        {"4", nullptr, many, 4},
        {"1", "6", many, 1},
        {"3", "6", many, 3},
        {nullptr, "6", many, 6},
        {"0", "5", many, 5},
        {"-2", "5", many, 5},
        {"2.5", "5", many, 5},
        {"4 ", "5", many, 5},
        {"", "5", many, 5},
        {"abc", "4,2", many, 0},
        {nullptr, nullptr, many, 0},
        {"100000000000000000000", nullptr, many, 256},
        {"8", nullptr, 100, 1},
        {"8", nullptr, 2 * arvel::kSamplesPerThread - 1, 1},
        {"8", nullptr, 3 * arvel::kSamplesPerThread, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "ARVEL_NUM_THREADS "
                     << (c.arvel ? c.arvel : "unset") << " OMP_NUM_THREADS "
                     << (c.omp ? c.omp : "unset") << " n " << c.n);
        if (c.arvel) setenv("ARVEL_NUM_THREADS", c.arvel, 1);
        else unsetenv("ARVEL_NUM_THREADS");
        if (c.omp) setenv("OMP_NUM_THREADS", c.omp, 1);
        else unsetenv("OMP_NUM_THREADS");
        const unsigned got = arvel::threadCount(c.n);
        if (c.want != 0)
            EXPECT_EQ(got, c.want);
        else if (cpus != 0)
            EXPECT_EQ(got, cpus);
        else
            EXPECT_GE(got, 1u);
    }
    unsetenv("ARVEL_NUM_THREADS");
    unsetenv("OMP_NUM_THREADS");
}
