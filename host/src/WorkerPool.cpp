#include "WorkerPool.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace vhost {

namespace {
// The pool whose worker is running on this thread, if any: a run() issued from inside a job of the
// same pool runs inline instead of waiting for workers that are all busy waiting for it.
thread_local const WorkerPool* tlsWorkerOf = nullptr;
thread_local int tlsWorkerIndex = 0;
}  // namespace

struct WorkerPool::State {
    std::mutex mutex;
    std::condition_variable wake;  // workers wait here for indices to run
    std::condition_variable done;  // run() waits here for the last index to finish
    std::vector<std::thread> threads;
    std::mutex runMutex;  // one job at a time

    // The current job, guarded by mutex.
    const std::function<void(int, int)>* job = nullptr;
    int count = 0;
    int next = 0;
    int finished = 0;
    std::exception_ptr error;
    bool stop = false;

    void work(const WorkerPool* owner, int index) {
        tlsWorkerOf = owner;
        tlsWorkerIndex = index;
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [&] { return stop || (job != nullptr && next < count); });
            if (stop) return;
            const int i = next++;
            const auto* fn = job;
            lock.unlock();
            std::exception_ptr failure;
            try {
                (*fn)(index, i);
            } catch (...) {
                failure = std::current_exception();
            }
            lock.lock();
            if (failure && !error) error = failure;
            if (++finished == count) done.notify_all();
        }
    }
};

WorkerPool::WorkerPool(int threads) : state_(std::make_unique<State>()) {
    if (threads < 1) threads = 1;
    state_->threads.reserve(static_cast<std::size_t>(threads));
    try {
        for (int t = 0; t < threads; ++t) state_->threads.emplace_back([this, t] { state_->work(this, t); });
    } catch (...) {
        {
            std::lock_guard lock(state_->mutex);
            state_->stop = true;
        }
        state_->wake.notify_all();
        for (auto& thread : state_->threads) thread.join();
        throw;
    }
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stop = true;
    }
    state_->wake.notify_all();
    for (auto& thread : state_->threads) thread.join();
}

int WorkerPool::size() const { return static_cast<int>(state_->threads.size()); }

void WorkerPool::run(int count, const std::function<void(int thread_index, int i)>& fn) {
    if (count <= 0) return;
    if (tlsWorkerOf == this) {
        // Nested use from one of our own workers: the others may all be blocked, so run here.
        for (int i = 0; i < count; ++i) fn(tlsWorkerIndex, i);
        return;
    }
    std::lock_guard runLock(state_->runMutex);
    dispatch(count, fn, false);
}

// Runs one job; the caller holds runMutex.
void WorkerPool::dispatch(int count, const std::function<void(int, int)>& fn, bool callerHelps) {
    std::unique_lock lock(state_->mutex);
    state_->job = &fn;
    state_->count = count;
    state_->next = 0;
    state_->finished = 0;
    state_->error = nullptr;
    state_->wake.notify_all();
    if (callerHelps) {
        // The caller takes indices as the workers do, so the work starts before any worker is
        // awake; a run issued from inside counts as nested (inline), as on a worker.
        const WorkerPool* wasWorkerOf = tlsWorkerOf;
        const int wasWorkerIndex = tlsWorkerIndex;
        tlsWorkerOf = this;
        tlsWorkerIndex = 0;
        while (state_->next < state_->count) {
            const int i = state_->next++;
            lock.unlock();
            std::exception_ptr failure;
            try {
                fn(0, i);
            } catch (...) {
                failure = std::current_exception();
            }
            lock.lock();
            if (failure && !state_->error) state_->error = failure;
            ++state_->finished;
        }
        tlsWorkerOf = wasWorkerOf;
        tlsWorkerIndex = wasWorkerIndex;
    }
    state_->done.wait(lock, [&] { return state_->finished == state_->count; });
    state_->job = nullptr;
    state_->count = 0;
    std::exception_ptr error = state_->error;
    state_->error = nullptr;
    lock.unlock();
    if (error) std::rethrow_exception(error);
}

void WorkerPool::runRanges(int count, int grain, const std::function<void(int, int)>& fn) {
    if (count <= 0) return;
    grain = std::max(grain, 1);
    const int threads = size();
    if (threads < 2 || count < 2 * grain || tlsWorkerOf == this) {
        fn(0, count);
        return;
    }
    // A few runs per thread, so that a thread the system delays does not hold the others up;
    // the calling thread takes runs too.
    const int runs = std::min(count / grain, 4 * (threads + 1));
    const auto edge = [&](int k) { return static_cast<int>(static_cast<long long>(k) * count / runs); };
    // A pool busy with another job (a thread of the module's own, say, asking while its band
    // runs) is not waited for: the caller does the whole range itself.
    std::unique_lock runLock(state_->runMutex, std::try_to_lock);
    if (!runLock.owns_lock()) {
        fn(0, count);
        return;
    }
    dispatch(
        runs, [&](int, int i) { fn(edge(i), edge(i + 1)); }, true);
}

}  // namespace vhost
