// Worker threads for the searches of one estimate.
//
// The threads are std::thread, not OpenMP: the host process may carry an
// OpenMP runtime of its own, and two in one process do not mix. Workers
// never call the host. A thread that cannot be started leaves its share to
// the others (down to the calling thread alone); an exception in any worker
// stops the others at their next chunk and is rethrown on the calling
// thread once they have all ended, so none ever leaves a worker.
#ifndef ARVEL_WORKERS_H
#define ARVEL_WORKERS_H

#include <atomic>
#include <cstddef>
#include <exception>
#include <system_error>
#include <vector>

#ifndef ARVEL_NO_THREADS
#include <thread>
#endif

namespace arvel {

// The number of threads for an estimate over n samples: ARVEL_NUM_THREADS
// if it is a positive whole number, else OMP_NUM_THREADS if it is one, else
// the number of CPUs this process may run on (its affinity mask on Linux);
// read afresh on each call, and never more than one thread per
// kSamplesPerThread samples, at least 1.
unsigned threadCount(std::size_t n);
const std::size_t kSamplesPerThread = 2048;

// The first failure of a set of workers, and the flag that tells the others
// to stop.
class WorkerFailure {
public:
    bool stopped() const { return stop_.load(std::memory_order_relaxed); }
    void record(std::exception_ptr e) noexcept
    {
        if (!claimed_.exchange(true)) first_ = e;
        stop_.store(true, std::memory_order_relaxed);
    }
    // Tells the others to stop, for a failure that is not recorded here.
    void requestStop() noexcept { stop_.store(true, std::memory_order_relaxed); }
    // On the calling thread, after every worker has ended.
    void rethrow() const
    {
        if (first_) std::rethrow_exception(first_);
    }

private:
    std::atomic<bool> stop_{false};
    std::atomic<bool> claimed_{false};
    std::exception_ptr first_;
};

// Hands out chunks [begin, end) of [0, count) to whichever worker asks.
class Chunks {
public:
    Chunks(std::size_t count, std::size_t size) : count_(count), size_(size) {}
    bool next(std::size_t& begin, std::size_t& end)
    {
        begin = next_.fetch_add(size_, std::memory_order_relaxed);
        if (begin >= count_) return false;
        end = count_ - begin < size_ ? count_ : begin + size_;
        return true;
    }

private:
    std::atomic<std::size_t> next_{0};
    std::size_t count_;
    std::size_t size_;
};

// Runs work(failure) on up to `threads` workers: the calling thread and
// threads - 1 started ones. work must return once failure.stopped().
template <class Work>
void runWorkers(unsigned threads, Work&& work)
{
    WorkerFailure failure;
    auto body = [&]() noexcept {
        try {
            work(failure);
        } catch (...) {
            failure.record(std::current_exception());
        }
    };
#ifndef ARVEL_NO_THREADS
    std::vector<std::thread> started;
    if (threads > 1) started.reserve(threads - 1);
    for (unsigned t = 1; t < threads; ++t) {
        try {
            started.emplace_back(body);
        } catch (const std::system_error&) {
            break;  // no more threads: the others do their share
        } catch (...) {
            failure.record(std::current_exception());
            break;
        }
    }
    if (!failure.stopped()) body();
    for (std::thread& t : started) t.join();
#else
    (void)threads;
    body();
#endif
    failure.rethrow();
}

}  // namespace arvel

#endif
