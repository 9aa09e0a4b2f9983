// Speed and memory of the estimators, printed as figures and ratios.
//
//   arvel_bench [grid] [--quick | --all]
//       Entropy and mutual information of seeded Gaussian and uniform
//       samples, n = 10^4, 10^5, 10^6, d = 1, 2, 3, 5, 10, k = 1, 4, 10:
//       per case the wall time (best of several runs), the peak memory
//       above the input and the estimate. Each case runs in a process of
//       its own, so that no heap freed by another case is counted or
//       reused. The cases that take minutes (10^6 samples in 10 dimensions,
//       mutual information in 5 or more dimensions at 10^6 and in 10 at
//       10^5) run with --all only; --quick stops at 10^5 samples.
//   arvel_bench order
//       Searching in the tree's leaf order against the plain loop in sample
//       order: the same bits, and the speed-up.
//   arvel_bench duplicates
//       Half a million points, most of them one point, against as many
//       distinct points: the search stops at k + 1 exact duplicates.
//   arvel_bench case H|I gauss|uniform n d k [repeats] [file]
//       One case, as the grid runs it, printed as one line of seconds,
//       peak bytes, estimate, and the estimate less its neighbour statistic
//       (the constant log(n - 1) - psi(k) + log V_d; for I its combination
//       over the three entropies). With a file name, the samples are also
//       written to file.x (and file.y for I) as n * d raw doubles, column
//       after column, for the comparison with other tools.
//   arvel_bench ksg n dx dy dz k [repeats] [file]
//       The KSG estimate of I(X;Y) (dz = 0) or of I(X;Y|Z), on all threads
//       and on one, printed as one line: seconds, seconds on one thread,
//       the estimate. Z is Gaussian, X Gaussian plus Z's first column, and
//       Y = 0.6 X + 0.8 E column by column (X's columns in turn). With a
//       file name, the joined matrix X | Y | Z is written to file.xyz as
//       n * (dx + dy + dz) raw doubles, column after column.
//
// Peak memory is the resident size's high-water mark above the resident
// size once the input is in memory. The input is the sample matrix X (for
// I, X and Y); the mutual information also counts the joined matrix X | Y
// that its caller builds, as the plug-in does.
#include "hest_continuous.h"
#include "ksg.h"
#include "mi_continuous.h"
#include "utilFunctions.h"
#include "workers.h"
#include "test_util.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#if defined(__linux__)
#include <sys/wait.h>
#include <unistd.h>
#endif

using arvel::CMatrix;

namespace {

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

// Fixed-seed samples: standard Gaussian, or uniform on [0, 1)^d.
void sample(CMatrix& m, bool gauss, int n, int d, std::uint64_t seed)
{
    arvel_test::Rng rng(seed);
    m.resize(n, d);
    for (int p = 0; p < n * d; ++p) m.data[p] = gauss ? rng.gauss() : rng.uniform();
}

#if defined(__linux__)
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

// Writing 5 to clear_refs resets the high-water mark VmHWM to VmRSS.
long resetPeak()
{
    FILE* clear = std::fopen("/proc/self/clear_refs", "w");
    if (clear != nullptr) {
        std::fputs("5", clear);
        std::fclose(clear);
    }
    return statusKb("VmRSS:");
}
long peakAbove(long baseKb) { return (statusKb("VmHWM:") - baseKb) * 1024; }
#else
long resetPeak() { return 0; }
long peakAbove(long) { return -1; }
#endif

void writeRaw(const std::string& name, const CMatrix& m)
{
    FILE* f = std::fopen(name.c_str(), "wb");
    const std::size_t count =
        static_cast<std::size_t>(m.rows()) * static_cast<std::size_t>(m.cols());
    if (f == nullptr || std::fwrite(m.data, sizeof(double), count, f) != count) {
        std::fprintf(stderr, "cannot write %s\n", name.c_str());
        std::exit(1);
    }
    std::fclose(f);
}

struct CaseResult {
    double seconds, estimate, constant;
    long peakBytes;
};

// One entropy (mutual = false) or mutual-information case.
CaseResult runCase(bool mutual, bool gauss, int n, int d, int k, int repeats,
                   const char* file)
{
    CMatrix x, y;
    sample(x, gauss, n, d, 42);
    if (mutual) {
        // Y = 0.6 X + 0.8 E: correlated, each coordinate with its partner.
        sample(y, gauss, n, d, 43);
        for (int p = 0; p < n * d; ++p) y.data[p] = 0.6 * x.data[p] + 0.8 * y.data[p];
    }
    if (file != nullptr) {
        writeRaw(std::string(file) + ".x", x);
        if (mutual) writeRaw(std::string(file) + ".y", y);
    }
    // The first run alone is measured for memory: later runs would also
    // count what the allocator keeps of the earlier ones.
    CaseResult r{};
    CMatrix xy;
    const auto estimate = [&] {
        if (!mutual) return arvel::entkl(x, k);
        arvel_test::join(x, y, xy);
        const double i = arvel::mikl(x, y, xy, k);
        xy.resize(0, 0);
        return i;
    };
    const long base = resetPeak();
    r.seconds = seconds([&] { r.estimate = estimate(); });
    r.peakBytes = peakAbove(base);
    // Runs of more than a second vary less than they take; one will do.
    if (repeats > 1 && r.seconds < 1.0)
        r.seconds = std::min(r.seconds, seconds(estimate, repeats - 1));
    if (mutual) {
        arvel_test::join(x, y, xy);
        r.constant = r.estimate - (arvel::calculateMlogRho(x, k) +
                                   arvel::calculateMlogRho(y, k) -
                                   arvel::calculateMlogRho(xy, k));
    } else {
        r.constant = r.estimate - arvel::calculateMlogRho(x, k);
    }
    return r;
}

// Runs one case in a child process and reads its result from a pipe.
bool runIsolated(bool mutual, bool gauss, int n, int d, int k, int repeats,
                 CaseResult& out)
{
#if defined(__linux__)
    int fds[2];
    if (pipe(fds) != 0) return false;
    std::fflush(stdout);
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        close(fds[0]);
        const CaseResult r = runCase(mutual, gauss, n, d, k, repeats, nullptr);
        const ssize_t w = write(fds[1], &r, sizeof r);
        _exit(w == static_cast<ssize_t>(sizeof r) ? 0 : 1);
    }
    close(fds[1]);
    const ssize_t got = read(fds[0], &out, sizeof out);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return got == static_cast<ssize_t>(sizeof out) && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
#else
    out = runCase(mutual, gauss, n, d, k, repeats, nullptr);
    return true;
#endif
}

double analytic(bool mutual, bool gauss, int d)
{
    const double pi = 3.141592653589793;
    if (mutual) return gauss ? -0.5 * d * std::log(1.0 - 0.36) : std::nan("");
    return gauss ? 0.5 * d * (1.0 + std::log(2.0 * pi)) : 0.0;
}

int grid(bool quick, bool all)
{
    std::printf("Entropy H and mutual information I (Y = 0.6 X + 0.8 E, per "
                "coordinate), best of 3 runs (1 where a run takes over a "
                "second)\n");
    std::printf("peak: memory above the input at the estimate's peak; bound: "
                "8nd + 40n bytes for H, 32nd + 40n for I\n\n");
    std::printf("%-2s %-7s %8s %3s %3s %10s %10s %10s %9s %9s %6s\n", "", "samples",
                "n", "d", "k", "estimate", "analytic", "seconds", "ns/sample",
                "peak MB", "/bound");
    const int top = quick ? 100000 : 1000000;
    int failures = 0;
    for (const bool mutual : {false, true})
        for (const bool gauss : {true, false})
            for (int n = 10000; n <= top; n *= 10)
                for (const int d : {1, 2, 3, 5, 10})
                    for (const int k : {1, 4, 10}) {
                        const bool slow = (n >= 1000000 && (d >= 10 || (mutual && d >= 5))) ||
                                          (n >= 100000 && mutual && d >= 10);
                        if (slow && !all) continue;
                        CaseResult r{};
                        const int repeats = 3;
                        if (!runIsolated(mutual, gauss, n, d, k, repeats, r)) {
                            std::printf("case failed\n");
                            ++failures;
                            continue;
                        }
                        const double nd = static_cast<double>(n) * d;
                        const double bound = (mutual ? 32.0 : 8.0) * nd + 40.0 * n;
                        std::printf("%-2s %-7s %8d %3d %3d %10.4f %10.4f %10.3f "
                                    "%9.0f %9.1f %6.2f\n",
                                    mutual ? "I" : "H", gauss ? "gauss" : "uniform",
                                    n, d, k, r.estimate, analytic(mutual, gauss, d),
                                    r.seconds, r.seconds / n * 1e9,
                                    static_cast<double>(r.peakBytes) / 1e6,
                                    static_cast<double>(r.peakBytes) / bound);
                    }
    if (!all)
        std::printf("\n(10^6 samples in 10 dimensions, I in 5 or more at "
                    "10^6 and I in 10 at 10^5 run with --all)\n");
    return failures == 0 ? 0 : 1;
}

int order(bool quick)
{
    const int n = quick ? 100000 : 1000000;
    std::printf("Leaf order against sample order, n = %d, k = 4\n", n);
    std::printf("   %2s %12s %12s %8s %10s\n", "d", "plain s", "leaf s",
                "speedup", "same bits");
    int failures = 0;
    for (int d : {1, 2, 3, 5}) {
        // The library's loop is the reference only where its tree and
        // distances are sound and the same as Arvel's.
        if (!arvel_test::libraryLoopComparable(d)) {
            std::printf("   %2d   (the library's loop is not comparable with "
                        "this nanoflann release)\n", d);
            continue;
        }
        CMatrix x;
        sample(x, true, n, d, 9);
        double a = 0.0, b = 0.0;
        const double sp = seconds([&] { a = arvel_test::libraryLoop(x, 4); });
        const double sl = seconds([&] { b = arvel::calculateMlogRho(x, 4); }, 3);
        const bool same = std::memcmp(&a, &b, 8) == 0;
        failures += same ? 0 : 1;
        std::printf("   %2d %12.3f %12.3f %8.2f %10s\n", d, sp, sl, sp / sl,
                    same ? "yes" : "NO");
    }
    return failures == 0 ? 0 : 1;
}

int duplicates(bool quick)
{
    const int half = quick ? 100000 : 500000;
    std::printf("%d points in 2-D, k = 1 and k = 4\n", half);
    std::printf("   %-28s %8s %8s %9s\n", "points", "k=1 s", "k=4 s", "ratio");
    double distinct = 0.0;
    for (double share : {0.0, 0.9, 0.99, 0.999, 1.0}) {
        CMatrix x;
        sample(x, true, half, 2, 5);
        const int equal = static_cast<int>(share * half);
        for (int i = 0; i < equal; ++i) {
            x.data[i] = 0.25;
            x.data[i + half] = -0.5;
        }
        const double s1 = seconds([&] { arvel::entkl(x, 1); });
        const double s4 = seconds([&] { arvel::entkl(x, 4); });
        if (share == 0.0) distinct = s1 + s4;
        char label[64];
        std::snprintf(label, sizeof label, "%5.1f%% one point", 100 * share);
        std::printf("   %-28s %8.3f %8.3f %9.2f\n",
                    share == 0.0 ? "all distinct" : label, s1, s4,
                    (s1 + s4) / distinct);
    }
    // The library's own result set searches on through every duplicate.
    if (!arvel_test::libraryLoopComparable(2)) return 0;
    const int m = 20000;
    CMatrix x;
    sample(x, true, m, 2, 5);
    for (int i = 0; i < m - 20; ++i) {
        x.data[i] = 0.25;
        x.data[i + m] = -0.5;
    }
    double a = 0.0, b = 0.0;
    const double sp = seconds([&] { a = arvel_test::libraryLoop(x, 1); });
    const double so = seconds([&] { b = arvel::calculateMlogRho(x, 1); });
    const bool same = std::memcmp(&a, &b, 8) == 0;
    std::printf("   %d points, all but 20 one point: plain search %.3f s, "
                "stopping search %.4f s (%.0f times faster), same bits: %s\n",
                m, sp, so, sp / so, same ? "yes" : "NO");
    return same ? 0 : 1;
}

// One thread, uniform samples in d dimensions: each way of finding the
// k + 1-th nearest distance for each k, the same bits from all of them,
// and the automatic choice. A method whose time would exceed a minute
// (about n^2 distances) is skipped with "-".
int methods(int n, int d, const std::vector<int>& ks)
{
    using arvel::NeighbourSearch;
    std::printf("n = %d, d = %d, one thread (seconds)\n", n, d);
    std::printf("   %7s %10s %10s %10s %10s %6s\n", "k", "sorted", "selected",
                "scan", "automatic", "same");
    int failures = 0;
    CMatrix x;
    sample(x, false, n, d, 11);
    for (int k : ks) {
        if (k < 1 || k >= n) continue;
        const NeighbourSearch all[] = {NeighbourSearch::sortedSlots,
                                       NeighbourSearch::selectedSlots,
                                       NeighbourSearch::scan,
                                       NeighbourSearch::automatic};
        double t[4], v[4];
        bool ran[4];
        for (int m = 0; m < 4; ++m) {
            const double cost = static_cast<double>(m == 0 ? k : 1) * n;
            ran[m] = m == 3 || (m == 2 ? static_cast<double>(n) * n < 2e9 : cost * 200 < 3e10);
            t[m] = ran[m] ? seconds([&] { v[m] = arvel::calculateMlogRho(x, k, 1, all[m]); }) : 0.0;
        }
        bool same = true;
        for (int m = 0; m < 3; ++m)
            if (ran[m]) same = same && std::memcmp(&v[m], &v[3], 8) == 0;
        failures += same ? 0 : 1;
        std::printf("   %7d", k);
        for (int m = 0; m < 4; ++m)
            if (ran[m]) std::printf(" %10.3f", t[m]); else std::printf(" %10s", "-");
        std::printf(" %6s\n", same ? "yes" : "NO");
    }
    return failures == 0 ? 0 : 1;
}

// The KSG case of "arvel_bench ksg".
int ksgCase(int n, int dx, int dy, int dz, int k, int repeats, const char* file)
{
    const int d = dx + dy + dz;
    CMatrix m, x, y, z;
    arvel_test::fillGauss(x, n, dx, 42);
    arvel_test::fillGauss(y, n, dy, 43);
    arvel_test::fillGauss(z, n, dz > 0 ? dz : 1, 44);
    m.resize(n, d);
    const std::size_t rows = static_cast<std::size_t>(n);
    const auto at = [rows](CMatrix& c, std::size_t i, int j) -> double& {
        return c.data[i + static_cast<std::size_t>(j) * rows];
    };
    for (std::size_t i = 0; i < rows; ++i) {
        for (int j = 0; j < dx; ++j)
            at(m, i, j) = at(x, i, j) + (dz > 0 ? at(z, i, 0) : 0.0);
        for (int j = 0; j < dy; ++j)
            at(m, i, dx + j) = 0.6 * at(m, i, j % dx) + 0.8 * at(y, i, j);
        for (int j = 0; j < dz; ++j) at(m, i, dx + dy + j) = at(z, i, j);
    }
    if (file != nullptr) writeRaw(std::string(file) + ".xyz", m);
    const unsigned all = arvel::threadCount(rows);
    double value = 0.0, one = 0.0;
    const auto run = [&](unsigned threads) {
        return dz > 0 ? arvel::cmiksg(m, dx, dy, k, threads)
                      : arvel::miksg(m, dx, k, threads);
    };
    const double t = seconds([&] { value = run(all); }, repeats);
    const double t1 = seconds([&] { one = run(1); }, repeats);
    std::printf("%.6f %.6f %.17g\n", t, t1, value);
    return value == one || (std::isnan(value) && std::isnan(one)) ? 0 : 1;
}

int usage()
{
    std::fprintf(stderr,
                 "usage: arvel_bench [grid] [--quick|--all]\n"
                 "       arvel_bench order|duplicates [--quick]\n"
                 "       arvel_bench methods n d k...\n"
                 "       arvel_bench case H|I gauss|uniform n d k [repeats] [file]\n"
                 "       arvel_bench ksg n dx dy dz k [repeats] [file]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 && argv[1][0] != '-' ? argv[1] : "";
    bool quick = false, all = false;
    for (int a = 1; a < argc; ++a) {
        quick = quick || std::strcmp(argv[a], "--quick") == 0;
        all = all || std::strcmp(argv[a], "--all") == 0;
    }
    if (mode == "methods") {
        if (argc < 5) return usage();
        std::vector<int> ks;
        for (int a = 4; a < argc; ++a) ks.push_back(std::atoi(argv[a]));
        return methods(std::atoi(argv[2]), std::atoi(argv[3]), ks);
    }
    if (mode == "case") {
        if (argc < 7) return usage();
        const bool mutual = std::strcmp(argv[2], "I") == 0;
        const bool gauss = std::strcmp(argv[3], "gauss") == 0;
        const int n = std::atoi(argv[4]), d = std::atoi(argv[5]), k = std::atoi(argv[6]);
        const int repeats = argc > 7 ? std::atoi(argv[7]) : 3;
        if (n < 2 || d < 1 || k < 1 || k >= n || repeats < 1) return usage();
        const CaseResult r =
            runCase(mutual, gauss, n, d, k, repeats, argc > 8 ? argv[8] : nullptr);
        std::printf("%.6f %ld %.17g %.17g\n", r.seconds, r.peakBytes, r.estimate,
                    r.constant);
        return 0;
    }
    if (mode == "ksg") {
        if (argc < 7) return usage();
        const int n = std::atoi(argv[2]), dx = std::atoi(argv[3]),
                  dy = std::atoi(argv[4]), dz = std::atoi(argv[5]),
                  k = std::atoi(argv[6]);
        const int repeats = argc > 7 ? std::atoi(argv[7]) : 3;
        if (n < 2 || dx < 1 || dy < 1 || dz < 0 || k < 1 || k >= n || repeats < 1)
            return usage();
        return ksgCase(n, dx, dy, dz, k, repeats, argc > 8 ? argv[8] : nullptr);
    }
    if (mode == "order") return order(quick);
    if (mode == "duplicates") return duplicates(quick);
    if (mode == "grid") return grid(quick, all);
    if (!mode.empty()) return usage();
    int status = grid(quick, all);
    std::printf("\n");
    status |= order(quick);
    std::printf("\n");
    status |= duplicates(quick);
    return status;
}
