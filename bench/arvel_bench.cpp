// Speed and memory of the estimators, printed as figures and ratios.
//
//   arvel_bench [--quick]
//
// 1. Entropy of Gaussian samples from 10^4 to 10^6 samples: seconds and
//    the cost per sample relative to the smallest n (n log n shows as a
//    slow rise).
// 2. Searching in the tree's leaf order against the plain sample order:
//    the same bits, and the speed-up.
// 3. Half a million points, most of them one point, against as many
//    distinct points: the search stops at k + 1 exact duplicates, so the
//    ratio stays near 1 where a plain search would be quadratic.
// 4. Peak memory of one estimate of 10^6 samples, in bytes per sample
//    beyond the samples themselves.
#include "hest_continuous.h"
#include "mi_continuous.h"
#include "utilFunctions.h"
#include "test_util.h"

#include <nanoflann.hpp>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <functional>
#include <vector>

#if defined(__linux__)
#include <cstdlib>
#include <unistd.h>
#endif

using arvel::CMatrix;

namespace {

// Fixed-seed Gaussian samples, as in the tests.
void gaussian(CMatrix& m, int n, int d, std::uint64_t seed)
{
    arvel_test::fillGauss(m, n, d, seed);
}

template <class F>
double seconds(F f, int repeats = 1)
{
    double best = 1e300;
    for (int r = 0; r < repeats; ++r) {
        const auto t = std::chrono::steady_clock::now();
        f();
        const std::chrono::duration<double> s =
            std::chrono::steady_clock::now() - t;
        if (s.count() < best) best = s.count();
    }
    return best;
}

// One search per sample in sample order.
double plainOrder(CMatrix& m, int k)
{
    using Tree =
        nanoflann::KDTreeEigenMatrixAdaptor<CMatrix, -1, nanoflann::metric_L2>;
    const int n = m.rows(), d = m.cols();
    const Tree tree(d, std::cref(m), 10);
    std::vector<std::size_t> idx(static_cast<std::size_t>(k) + 1);
    std::vector<double> dist(static_cast<std::size_t>(k) + 1);
    std::vector<double> query(static_cast<std::size_t>(d));
    nanoflann::KNNResultSet<double, std::size_t, std::size_t> rs(
        static_cast<std::size_t>(k) + 1);
    double S = 0.0;
    for (int i = 0; i < n; ++i) {
        rs.init(idx.data(), dist.data());
        for (int j = 0; j < d; ++j) query[static_cast<std::size_t>(j)] = m.coeff(i, j);
        tree.index->findNeighbors(rs, query.data(),
                                  nanoflann::SearchParams(10, 0.0f, true));
        const double x = dist[static_cast<std::size_t>(k)];
        S = S + (x == 0.0 ? 0.0 : std::log(x));
    }
    return ((static_cast<double>(d) * S) / static_cast<double>(n)) * 0.5;
}

#if defined(__linux__)
// Writing 5 to clear_refs resets the peak resident size, VmHWM.
long statusKb(const char* field)
{
    FILE* f = std::fopen("/proc/self/status", "r");
    char line[256];
    long kb = -1;
    while (f != nullptr && std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, std::strlen(field)) == 0)
            kb = std::atol(line + std::strlen(field) + 1);
    if (f != nullptr) std::fclose(f);
    return kb;
}

int measureMemory(int n)
{
    CMatrix x;
    gaussian(x, n, 2, 3);
    FILE* clear = std::fopen("/proc/self/clear_refs", "w");
    if (clear == nullptr) return 1;
    std::fputs("5", clear);
    std::fclose(clear);
    const long before = statusKb("VmRSS:");
    arvel::entkl(x, 3);
    const double extra = static_cast<double>(statusKb("VmHWM:") - before) * 1024.0;
    std::printf("   samples %.0f MB; the estimate adds %.1f MB at its peak, "
                "%.1f bytes per sample\n", 16.0 * n / 1e6, extra / 1e6, extra / n);
    return 0;
}
#endif

}  // namespace

int main(int argc, char** argv)
{
#if defined(__linux__)
    if (argc > 2 && std::strcmp(argv[1], "--memory") == 0)
        return measureMemory(std::atoi(argv[2]));
#endif
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int top = quick ? 100000 : 1000000;
    const double e = 1.0 + std::log(2.0 * 3.141592653589793);

    std::printf("1. Entropy of n Gaussian samples, k = 3\n");
    std::printf("   %9s %2s %10s %10s %9s %12s %7s\n", "n", "d", "estimate",
                "analytic", "seconds", "ns/sample", "ratio");
    for (int d : {1, 2, 3, 5}) {
        double base = 0.0;
        for (int n = 10000; n <= top; n *= 10) {
            CMatrix x;
            gaussian(x, n, d, 42);
            double h = 0.0;
            const double s = seconds([&] { h = arvel::entkl(x, 3); },
                                     n < 1000000 ? 3 : 1);
            const double per = s / n * 1e9;
            if (n == 10000) base = per;
            std::printf("   %9d %2d %10.4f %10.4f %9.3f %12.0f %7.2f\n", n, d, h,
                        0.5 * d * e, s, per, per / base);
        }
    }
    {
        CMatrix x, y, xy;
        gaussian(x, top, 1, 7);
        gaussian(y, top, 1, 8);
        for (int i = 0; i < top; ++i) y.data[i] = 0.6 * x.data[i] + 0.8 * y.data[i];
        xy.resize(top, 2);
        std::memcpy(xy.data, x.data, sizeof(double) * static_cast<std::size_t>(top));
        std::memcpy(xy.data + top, y.data, sizeof(double) * static_cast<std::size_t>(top));
        double i = 0.0;
        const double s = seconds([&] { i = arvel::mikl(x, y, xy, 3); });
        std::printf("   mutual information, n = %d, rho = 0.6: %.4f (analytic "
                    "%.4f), %.3f s\n", top, i, -0.5 * std::log(1 - 0.36), s);
    }

    std::printf("\n2. Leaf order against sample order, n = %d, k = 3\n", top);
    std::printf("   %2s %12s %12s %8s %10s\n", "d", "plain s", "leaf s",
                "speedup", "same bits");
    for (int d : {2, 3, 5}) {
        CMatrix x;
        gaussian(x, top, d, 9);
        double a = 0.0, b = 0.0;
        const double sp = seconds([&] { a = plainOrder(x, 3); });
        const double sl = seconds([&] { b = arvel::calculateMlogRho(x, 3); });
        std::printf("   %2d %12.3f %12.3f %8.2f %10s\n", d, sp, sl, sp / sl,
                    std::memcmp(&a, &b, 8) == 0 ? "yes" : "NO");
    }

    const int half = quick ? 100000 : 500000;
    std::printf("\n3. %d points in 2-D, k = 1 and k = 3\n", half);
    std::printf("   %-28s %8s %8s %9s\n", "points", "k=1 s", "k=3 s", "ratio");
    double distinct1 = 0.0, distinct3 = 0.0;
    for (double share : {0.0, 0.9, 0.99, 0.999, 1.0}) {
        CMatrix x;
        gaussian(x, half, 2, 5);
        const int equal = static_cast<int>(share * half);
        for (int i = 0; i < equal; ++i) {
            x.data[i] = 0.25;
            x.data[i + half] = -0.5;
        }
        const double s1 = seconds([&] { arvel::entkl(x, 1); });
        const double s3 = seconds([&] { arvel::entkl(x, 3); });
        if (share == 0.0) {
            distinct1 = s1;
            distinct3 = s3;
        }
        char label[64];
        std::snprintf(label, sizeof label, "%5.1f%% one point", 100 * share);
        std::printf("   %-28s %8.3f %8.3f %9.2f\n",
                    share == 0.0 ? "all distinct" : label, s1, s3,
                    (s1 + s3) / (distinct1 + distinct3));
    }

    {
        // The library's own result set searches on through every duplicate.
        const int m = 20000;
        CMatrix x;
        gaussian(x, m, 2, 5);
        for (int i = 0; i < m - 20; ++i) {
            x.data[i] = 0.25;
            x.data[i + m] = -0.5;
        }
        double a = 0.0, b = 0.0;
        const double sp = seconds([&] { a = plainOrder(x, 1); });
        const double so = seconds([&] { b = arvel::calculateMlogRho(x, 1); });
        std::printf("   %d points, all but 20 one point: plain search %.3f s, "
                    "stopping search %.4f s (%.0f times faster), same bits: %s\n",
                    m, sp, so, sp / so, std::memcmp(&a, &b, 8) == 0 ? "yes" : "NO");
    }

#if defined(__linux__)
    // In a fresh process, so that no heap freed by the runs above is reused.
    std::printf("\n4. Peak memory of one entropy estimate, n = %d, d = 2\n", top);
    std::fflush(stdout);
    char self[4096] = "";
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string command = std::string(self, length > 0 ? static_cast<std::size_t>(length) : 0) +
                                " --memory " + std::to_string(top);
    if (length <= 0 || std::system(command.c_str()) != 0)
        std::printf("   not measured\n");
#endif
    return 0;
}
