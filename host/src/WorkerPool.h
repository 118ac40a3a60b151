// The host's worker threads: a pool that lives as long as the Host and runs the indices of one
// iterate_generic call concurrently, returning only when every index has run. A pool of n threads
// is the calling thread (thread index 0) and n - 1 workers (1 to n - 1): the caller starts on the
// first index at once instead of sleeping while a worker wakes, and at most n indices run at a
// time, each thread index on one thread.
#pragma once

#include <functional>
#include <memory>

namespace vhost {

class WorkerPool {
public:
    explicit WorkerPool(int threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int size() const;

    // Runs fn(thread_index, i) exactly once for every i in [0, count), on the calling thread and
    // the workers, possibly at the same time; returns after all calls have finished.
    void run(int count, const std::function<void(int thread_index, int i)>& fn);

    // Splits [0, count) into consecutive runs of at least `grain` indices and calls
    // fn(begin, end) once for each, on the pool's threads and the calling thread alike; with one
    // thread, fewer than two runs' worth of indices, from inside a job of this pool or while
    // the pool runs another caller's job, a single call on the calling thread. Returns when every run has
    // finished; the first exception thrown by a run reaches the caller after that. The host's own passes over
    // frame-sized buffers (filling, copying, comparing rows) go through here.
    void runRanges(int count, int grain, const std::function<void(int begin, int end)>& fn);

private:
    struct State;
    void dispatch(int count, const std::function<void(int, int)>& fn);
    std::unique_ptr<State> state_;
};

}  // namespace vhost
