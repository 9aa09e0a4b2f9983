"""Arvel against the two tools a user would otherwise pick, in one run.

    /usr/bin/python3 bench/compare.py BUILD_DIR [--quick] [--large-k]
                                                [--before OLD_BUILD_DIR]

--large-k runs only the cases of large k (without FNN, which takes minutes
there) and one of k = 4; --before times an earlier build's arvel_bench on
one thread beside ours on the cases of k = 4.

For every case, arvel_bench draws the samples, times the estimate with the
default number of threads and with ARVEL_NUM_THREADS=1, and writes the
samples to files; the same matrices are then timed with scipy's cKDTree
(the same formula on top of a query of k + 1 neighbours) with one worker
and with every core (workers=-1), and with R's FNN::entropy (kd-tree, one
thread). Mutual information is the
sum of three entropies for every tool. Then one end-to-end figure through
Octave: entkl_internal on the 10^6 x 3 matrix against the core alone.
Every tool runs in turn, in three rounds, and keeps its best time, so that
a slow spell of the machine weighs on all of them alike.

Peak memory is checked against its bound from 10^5 samples on; at 10^4 a
fixed overhead of about 0.1 MB (pages, the allocator) is the larger part.

Agreement: against the scipy formula, relative to the estimate, within
1e-12 (the formula takes the estimator's own digamma series, whose offset
from the exact psi, about 5e-11 below it for k up to 6, the core tests pin);
against FNN after adding log(n - 1) - psi(n), where FNN's constant differs
(FNN's psi(k) is the exact one, so about 5e-11 remains).

KSG: miksg and cmiksg against the same estimator on scipy (cKDTree(p=inf)
k-th neighbour in the joint space, query_ball_point(p=inf,
return_length=True) at the largest double below eps for the strict counts,
scipy's digamma), with every core (workers=-1), values within 1e-12
relative; and scikit-learn's mutual_info_regression on 10^5 samples of one
feature, timed beside miksg for the record (it adds noise and rescales, so
only its time is compared).
"""
import math
import os
import subprocess
import sys
import tempfile
import time

import numpy as np
from scipy.spatial import cKDTree
from scipy.special import digamma

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def arvel_digamma(x):
    """The estimator's digamma: recurrence up to 7, then the series at x - 1/2."""
    s = 0.0
    while x < 7.0:
        s = s - 1.0 / x
        x = x + 1.0
    x = x - 0.5
    t = 1.0 / x
    t2 = t * t
    t4 = t2 * t2
    p = math.log(x) + 0.041666666666666664 * t2
    p = p - 0.007291666666666667 * t4
    p = p + (0.0038442460317460315 * t4) * t2
    p = p - (0.004134114583333333 * t4) * t4
    return s + p


def log_unit_ball(d):
    return math.log(2.0 * math.pi ** (d / 2.0) / (d * math.gamma(d / 2.0)))


def scipy_entropy(x, k, workers=1):
    """Kozachenko-Leonenko entropy over cKDTree; returns (estimate, seconds)."""
    n, d = x.shape
    start = time.perf_counter()
    tree = cKDTree(x)
    dist, _ = tree.query(x, k=k + 1, workers=workers)
    r = dist[:, k]
    logs = np.log(r, out=np.zeros_like(r), where=r > 0)
    h = (d * math.fsum(logs) / n + math.log(n - 1) - arvel_digamma(k)
         + log_unit_ball(d))
    return h, time.perf_counter() - start


ROUNDS = 3


def read(path, n, d):
    return np.ascontiguousarray(np.fromfile(path, dtype=np.float64).reshape(d, n).T)


FNN_SCRIPT = r"""
suppressMessages(library(FNN))
a <- commandArgs(TRUE)
n <- as.integer(a[2]); k <- as.integer(a[3]); repeats <- as.integer(a[4])
files <- strsplit(a[1], ",")[[1]]
dims <- as.integer(strsplit(a[5], ",")[[1]])
read <- function(f, d) {
  con <- file(f, "rb"); v <- readBin(con, "double", n * d); close(con)
  matrix(v, nrow = n, ncol = d)
}
mats <- list()
for (i in seq_along(files)) mats[[i]] <- read(files[i], dims[i])
if (length(mats) == 2) mats[[3]] <- cbind(mats[[1]], mats[[2]])
signs <- if (length(mats) == 3) c(1, 1, -1) else 1
t <- Inf
for (r in seq_len(repeats)) {
  s <- 0
  start <- proc.time()[["elapsed"]]
  for (i in seq_along(mats)) {
    h <- entropy(mats[[i]], k = k, algorithm = "kd_tree")[k]
    s <- s + signs[i] * h
  }
  t <- min(t, proc.time()[["elapsed"]] - start)
}
cat(sprintf("%.17g %.6f\n", s, t))
"""


def fnn(files, n, dims, k, repeats, script):
    out = subprocess.run(
        ["Rscript", script, ",".join(files), str(n), str(k), str(repeats),
         ",".join(str(d) for d in dims)],
        check=True, capture_output=True, text=True).stdout.split()
    return float(out[0]), float(out[1])


def scipy_ksg(m, dx, dy, dz, k, workers=-1):
    """KSG estimator 1 of I(X;Y) (dz = 0) or its conditional form on scipy,
    from the joined matrix X | Y | Z; returns (estimate, seconds)."""
    n = m.shape[0]
    start = time.perf_counter()
    dist, _ = cKDTree(m).query(m, k=k + 1, p=np.inf, workers=workers)
    eps = dist[:, k]
    below = np.nextafter(eps, 0)

    def counts(cols):
        s = np.ascontiguousarray(m[:, cols])
        c = cKDTree(s).query_ball_point(s, below, p=np.inf, return_length=True,
                                        workers=workers) - 1
        return np.where(eps > 0, c, 0)
    x = list(range(dx))
    y = list(range(dx, dx + dy))
    z = list(range(dx + dy, dx + dy + dz))
    if dz == 0:
        terms = digamma(counts(x) + 1) + digamma(counts(y) + 1)
        v = digamma(k) + digamma(n) - math.fsum(terms) / n
    else:
        terms = (digamma(counts(x + z) + 1) + digamma(counts(y + z) + 1)
                 - digamma(counts(z) + 1))
        v = digamma(k) - math.fsum(terms) / n
    return float(v), time.perf_counter() - start


def ksg_section(bench, big, tmp):
    """The KSG cases; returns the targets' checks."""
    cases = [  # (n, dx, dy, dz, k)
        (big, 1, 1, 0, 4),
        (100000, 3, 3, 0, 4),
        (100000, 1, 1, 1, 4),
    ]
    print("\nKSG: Arvel (all threads, and 1) against the same estimator on "
          "scipy cKDTree(p=inf) with workers=-1; best of %d rounds" % ROUNDS)
    print("%-30s %8s %8s %8s %7s %9s" % ("case", "ours s", "ours1 s",
                                         "scipyN s", "/scipyN", "vs scipy"))
    ratios = {}
    for n, dx, dy, dz, k in cases:
        stem = os.path.join(tmp, "ksg_%d_%d_%d_%d" % (n, dx, dy, dz))
        args = [bench, "ksg", str(n), str(dx), str(dy), str(dz), str(k), "1"]
        env = dict(os.environ)
        env.pop("ARVEL_NUM_THREADS", None)
        out = subprocess.run(args + [stem], env=env, check=True,
                             capture_output=True, text=True).stdout.split()
        ours_s, ours1_s, ours = float(out[0]), float(out[1]), float(out[2])
        d = dx + dy + dz
        m = read(stem + ".xyz", n, d)
        os.remove(stem + ".xyz")
        ref, ref_s = scipy_ksg(m, dx, dy, dz, k)
        for _ in range(ROUNDS - 1):
            out = subprocess.run(args, env=env, check=True, capture_output=True,
                                 text=True).stdout.split()
            ours_s = min(ours_s, float(out[0]))
            ours1_s = min(ours1_s, float(out[1]))
            ref_s = min(ref_s, scipy_ksg(m, dx, dy, dz, k)[1])
        rel = abs(ours - ref) / max(abs(ref), 1e-300)
        name = "%s n=%d %s k=%d" % ("CMI" if dz else "MI", n,
                                    "|".join(str(c) for c in (dx, dy, dz) if c),
                                    k)
        ratios[(n, dx, dy, dz)] = ours_s / ref_s
        print("%-30s %8.3f %8.3f %8.3f %7.3f %9.1e" % (
            name, ours_s, ours1_s, ref_s, ours_s / ref_s, rel))
        if rel > 1e-12:
            print("   DISAGREES with the scipy reference")
        sys.stdout.flush()

    # scikit-learn's estimator of the same quantity, for the record.
    try:
        from sklearn.feature_selection import mutual_info_regression
        n = 100000
        stem = os.path.join(tmp, "ksg_sklearn")
        args = [bench, "ksg", str(n), "1", "1", "0", "3", "1"]
        ours_s = float(subprocess.run(args + [stem], check=True,
                                      capture_output=True,
                                      text=True).stdout.split()[0])
        m = read(stem + ".xyz", n, 2)
        os.remove(stem + ".xyz")
        sk_s = math.inf
        for _ in range(ROUNDS):
            start = time.perf_counter()
            sk = mutual_info_regression(m[:, :1], m[:, 1], n_neighbors=3,
                                        random_state=0)[0]
            sk_s = min(sk_s, time.perf_counter() - start)
            ours_s = min(ours_s, float(subprocess.run(
                args, check=True, capture_output=True, text=True).stdout.split()[0]))
        print("scikit-learn mutual_info_regression, n=%d, 1 feature, k=3: "
              "%.3f s (estimate %.4f, with its noise); miksg %.3f s (%.3f of it)"
              % (n, sk_s, sk, ours_s, ours_s / sk_s))
    except ImportError:
        print("scikit-learn not installed (Debian: python3-sklearn): not timed")

    return [
        ("KSG, n=%d, 1 | 1 column, k=4: at most 0.20 of scipy, all cores" % big,
         ratios[(big, 1, 1, 0)], 0.20),
        ("KSG, n=100000, 3 | 3 columns, k=4: at most 0.30 of it",
         ratios[(100000, 3, 3, 0)], 0.30),
        ("conditional KSG, n=100000, 1 | 1 | 1, k=4: at most 0.30 of it",
         ratios[(100000, 1, 1, 1)], 0.30),
    ]


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build")
    quick = "--quick" in sys.argv
    # --before DIR: a build of an earlier version, whose benchmark is timed
    # on one thread beside ours on the cases of k = 4.
    before_bench = None
    if "--before" in sys.argv:
        before_bench = os.path.join(sys.argv[sys.argv.index("--before") + 1],
                                    "bench", "arvel_bench")
    bench = os.path.join(build, "bench", "arvel_bench")
    big = 100000 if quick else 1000000
    cases = [  # (quantity, distribution, n, d, k)
        ("H", "gauss", big // 10, 2, 4),
        ("H", "gauss", big, 1, 4),
        ("H", "gauss", big, 2, 4),
        ("H", "gauss", big, 3, 4),
        ("H", "uniform", big, 2, 4),
        ("H", "gauss", big // 10, 5, 4),
        ("H", "gauss", big // 10, 10, 4),
        ("H", "gauss", big, 2, 1),
        ("H", "gauss", big, 2, 10),
        ("I", "gauss", big, 1, 4),
        ("I", "gauss", big // 10, 2, 4),
        # Large k: FNN is left out (minutes per run).
        ("H", "uniform", 100000, 3, 316),
        ("H", "uniform", 100000, 3, 1000),
        ("H", "uniform", 20000, 2, 10000),
    ]
    # --large-k: the cases of large k alone, and one of k = 4.
    large_k = "--large-k" in sys.argv
    if large_k:
        cases = [c for c in cases if c[4] > 100 or c[:4] == ("H", "gauss", big, 3)]
    tmp = tempfile.mkdtemp(prefix="arvel_compare_")
    script = os.path.join(tmp, "fnn.R")
    with open(script, "w") as f:
        f.write(FNN_SCRIPT)

    threads = os.cpu_count()
    print("Arvel (all threads, and 1) against scipy cKDTree (workers=-1, and "
          "1) and R FNN::entropy (kd_tree); seconds are the best of %d "
          "rounds, each running every tool in turn; %d CPUs" % (ROUNDS, threads))
    head = ("case", "ours s", "ours1 s", "scipyN s", "scipy1 s", "FNN s",
            "/scipyN", "/scipy1", "/FNN", "1/all", "vs scipy", "vs FNN",
            "peak/bound")
    print("%-26s %8s %8s %8s %8s %8s %7s %7s %7s %6s %9s %9s %10s" % head)
    rows = {}
    for q, dist, n, d, k in cases:
        stem = os.path.join(tmp, "%s_%s_%d_%d_%d" % (q, dist, n, d, k))

        def ours_run(write, one=False, program=bench):
            env = dict(os.environ)
            env.pop("ARVEL_NUM_THREADS", None)
            if one:
                env["ARVEL_NUM_THREADS"] = "1"
            out = subprocess.run(
                [program, "case", q, dist, str(n), str(d), str(k), "2"]
                + ([stem] if write else []), env=env,
                check=True, capture_output=True, text=True).stdout.split()
            return float(out[0]), int(out[1]), float(out[2])
        ours_s, peak, ours = ours_run(True)
        ours1_s, _, ours1 = ours_run(False, True)
        x = read(stem + ".x", n, d)
        if q == "H":
            files, dims = [stem + ".x"], [d]
            bound = 8.0 * n * d + 40.0 * n

            def peer(workers=1):
                return scipy_entropy(x, k, workers)
        else:
            y = read(stem + ".y", n, d)
            xy = np.ascontiguousarray(np.hstack([x, y]))
            files, dims = [stem + ".x", stem + ".y"], [d, d]
            bound = 32.0 * n * d + 40.0 * n

            def peer(workers=1):
                hx, tx = scipy_entropy(x, k, workers)
                hy, ty = scipy_entropy(y, k, workers)
                hxy, txy = scipy_entropy(xy, k, workers)
                return hx + hy - hxy, tx + ty + txy
        # Each thread adds its result slots and bounds: k + 1 and d doubles
        # (2d for the joined samples of a mutual information); a buffer of
        # 2(k + 1) for k + 1 above 64, of n for the scan of all distances.
        slots = k + 1 if k + 1 <= 64 else 2 * (k + 1)
        if k + 1 >= n // 16:
            slots = n
        bound += 8.0 * threads * (slots + (2 * d if q == "I" else d))
        with_fnn = k < 100
        before1_s = None
        # Rounds of each tool in turn, so that a slow spell of the machine
        # weighs on all of them alike; the best of each is kept. In a round
        # Arvel runs twice in one process, as scipy runs in this one: the
        # second run finds the heap the first left, as a user's second call
        # does, instead of fresh pages.
        sp, sp_s = peer()
        spn, spn_s = peer(-1)
        fn, fn_s = fnn(files, n, dims, k, 1, script) if with_fnn else (ours, math.nan)
        if before_bench and k == 4:
            before1_s = ours_run(False, True, before_bench)[0]
        for _ in range(ROUNDS - 1):
            ours_s = min(ours_s, ours_run(False)[0])
            ours1_s = min(ours1_s, ours_run(False, True)[0])
            if before1_s is not None:
                before1_s = min(before1_s, ours_run(False, True, before_bench)[0])
            sp_s = min(sp_s, peer()[1])
            spn_s = min(spn_s, peer(-1)[1])
            if with_fnn:
                fn_s = min(fn_s, fnn(files, n, dims, k, 1, script)[1])
        # FNN's constant is psi(n) - psi(k) + log V_d where ours is
        # log(n - 1) - psi(k) + log V_d; the three entropies of a mutual
        # information leave the difference once.
        if with_fnn:
            fn = fn + math.log(n - 1) - float(digamma(n))
        else:
            fn = math.nan
        # Relative to the estimate, or absolute where it is near 0 nats.
        scale = max(abs(ours), 1.0)
        rel_sp = abs(ours - sp) / scale
        rel_fn = abs(ours - fn) / scale
        name = "%s %s n=%d d=%d k=%d" % (q, dist, n, d, k)
        rows[(q, dist, n, d, k)] = (ours_s, ours1_s, spn_s, sp_s, fn_s,
                                    peak / bound, before1_s)
        print("%-26s %8.3f %8.3f %8.3f %8.3f %8.3f %7.3f %7.3f %7.3f %6.2f "
              "%9.1e %9.1e %10.2f" % (
                  name, ours_s, ours1_s, spn_s, sp_s, fn_s, ours_s / spn_s,
                  ours1_s / sp_s, ours1_s / fn_s, ours1_s / ours_s, rel_sp,
                  rel_fn, peak / bound))
        if before1_s is not None:
            print("%-26s one thread against the --before build: %.3f"
                  % ("", ours1_s / before1_s))
        sys.stdout.flush()
        for f in files:
            os.remove(f)
        if rel_sp > 1e-12 or abs(spn - sp) > 0.0:
            print("   DISAGREES with the scipy formula")
        if ours1 != ours:
            print("   one thread and all threads DIFFER")

    ksg_checks = [] if large_k else ksg_section(bench, big, tmp)

    # End to end: the Octave module on the same 10^6 x 3 matrix.
    n, d, k = big, 3, 4
    stem = os.path.join(tmp, "octave")
    out = subprocess.run([bench, "case", "H", "gauss", str(n), str(d), str(k),
                          "3", stem], check=True, capture_output=True,
                         text=True).stdout.split()
    core_s, core_h = float(out[0]), float(out[2])
    program = (
        "addpath('%s'); f = fopen('%s.x', 'rb'); X = fread(f, [%d, %d], "
        "'double'); fclose(f); t = inf; for r = 1:3, tic; h = "
        "entkl_internal(X, %d); t = min(t, toc); end; "
        "printf('%%.17g %%.6f\\n', h, t);" % (
            os.path.join(build, "octave"), stem, n, d, k))
    out = subprocess.run(["octave-cli", "-q", "-f", "-H", "--eval", program],
                         check=True, capture_output=True, text=True).stdout.split()
    oct_h, oct_s = float(out[0]), float(out[1])
    os.remove(stem + ".x")
    print("\nEnd to end, entkl_internal(X, %d) in Octave on %d x %d: %.3f s, "
          "the core alone %.3f s (%.3f s for conversion and hand-off, %.1f%%); "
          "same bits: %s" % (k, n, d, oct_s, core_s, oct_s - core_s,
                             100.0 * (oct_s - core_s) / core_s,
                             "yes" if oct_h == core_h else "NO"))

    # The targets, read off the table above. The one-thread figures of the
    # release before threads, measured on this project's machine (README).
    before = {("H", "gauss", big, 1, 4): 0.348, ("H", "gauss", big, 2, 4): 0.547,
              ("H", "gauss", big, 3, 4): 0.892, ("I", "gauss", big, 1, 4): 1.220,
              ("H", "gauss", big // 10, 10, 4): 8.630}

    def all_cores(key):
        return rows[key][0] / rows[key][2]

    def one_thread(key):
        return rows[key][1] / rows[key][3]
    checks = []

    def check(text, value, limit):
        # A target whose cases did not run (--large-k) is left out.
        try:
            checks.append((text, value(), limit))
        except KeyError:
            pass
    check("entropy, n=%d, d=2, k=4: at most 0.20 of scipy, all cores" % big,
          lambda: all_cores(("H", "gauss", big, 2, 4)), 0.20)
    check("entropy, n=%d, d=3, k=4: at most 0.20 of scipy, all cores" % big,
          lambda: all_cores(("H", "gauss", big, 3, 4)), 0.20)
    check("mutual information, n=%d, d=1, k=4: at most 0.20 of it" % big,
          lambda: all_cores(("I", "gauss", big, 1, 4)), 0.20)
    check("entropy, n=%d, d=10, k=4: at most 0.35 of it" % (big // 10),
          lambda: all_cores(("H", "gauss", big // 10, 10, 4)), 0.35)
    check("all threads against one, n=%d, d=3: at least 1.8x faster" % big,
          lambda: rows[("H", "gauss", big, 3, 4)][1] / rows[("H", "gauss", big, 3, 4)][0],
          -1.8)
    if not quick:
        check("one thread: at most 1.05 of the figures before threads",
              lambda: max(rows[key][1] / t for key, t in before.items()), 1.05)
    for kk in (316, 1000):
        key = ("H", "uniform", 100000, 3, kk)
        check("entropy, n=100000, d=3, k=%d, one thread: at most 0.30 of scipy" % kk,
              lambda key=key: one_thread(key), 0.30)
        check("entropy, n=100000, d=3, k=%d, all cores: at most 0.30 of scipy" % kk,
              lambda key=key: all_cores(key), 0.30)
    check("entropy, n=20000, d=2, k=10000, one thread: at most 2 s",
          lambda: rows[("H", "uniform", 20000, 2, 10000)][1], 2.0)
    if before_bench:
        check("k = 4, one thread: at most 1.03 of the --before build",
              lambda: max(r[1] / r[6] for r in rows.values() if r[6]), 1.03)
    else:
        print("\n(k = 4 against an earlier build: not measured; give --before DIR)")
    check("peak memory within its bound, every case of 10^5 samples or more",
          lambda: max(r[5] for key, r in rows.items() if key[2] >= 100000), 1.0)
    checks += ksg_checks
    print("\nTargets")
    missed = 0
    # A negative limit is a lower bound.
    for text, value, limit in checks:
        ok = value >= -limit if limit < 0 else value <= limit
        missed += 0 if ok else 1
        print("  %-66s %7.3f  %s" % (text, value, "met" if ok else "MISSED"))
    os.remove(script)
    os.rmdir(tmp)
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
