// The host's worker threads: a pool that lives as long as the Host and runs the indices of one
// iterate_generic call concurrently, returning only when every index has run.
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

    // Runs fn(thread_index, i) exactly once for every i in [0, count), on the pool's threads,
    // possibly at the same time; returns after all calls have finished.
    void run(int count, const std::function<void(int thread_index, int i)>& fn);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace vhost
