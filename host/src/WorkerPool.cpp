#include "WorkerPool.h"

#include <algorithm>
#include <atomic>
#include <chrono>
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

// How long an idle worker keeps looking for the next job before it sleeps. Waking a sleeping
// thread costs a system call and, when its core has gone idle, the core's own wake-up, which on a
// virtual machine takes as long as a band of a frame: the second band would start only when the
// first has ended. Jobs come in bursts (a frame's copies and checks, the filter's bands, the next
// frame), so a worker that looks a little longer starts the next job at once. While it looks it
// yields its core to any other thread that is ready to run.
constexpr std::chrono::microseconds kLookBeforeSleep(2000);
}  // namespace

struct WorkerPool::State {
    std::mutex mutex;
    std::condition_variable wake;      // workers wait here for indices to run
    std::condition_variable done;      // run() waits here for the last index to finish
    std::vector<std::thread> threads;  // thread indices 1 to size - 1; the caller is 0
    int size = 1;
    std::mutex runMutex;  // one job at a time

    // The current job, guarded by mutex.
    const std::function<void(int, int)>* job = nullptr;
    int count = 0;
    int next = 0;
    int finished = 0;
    std::exception_ptr error;
    bool stop = false;
    // Bumped, under mutex, whenever a job is posted or the pool stops: what an idle worker watches
    // without the lock before it sleeps. Workers of a pool with more threads than cores sleep at
    // once, as their looking would take the cores from the threads that have work.
    std::atomic<unsigned> posted{0};
    bool look = true;

    void work(const WorkerPool* owner, int index) {
        tlsWorkerOf = owner;
        tlsWorkerIndex = index;
        std::unique_lock lock(mutex);
        for (;;) {
            if (look && !stop && !(job != nullptr && next < count)) {
                const unsigned seen = posted.load(std::memory_order_relaxed);
                lock.unlock();
                const auto until = std::chrono::steady_clock::now() + kLookBeforeSleep;
                while (posted.load(std::memory_order_relaxed) == seen &&
                       std::chrono::steady_clock::now() < until)
                    std::this_thread::yield();
                lock.lock();
            }
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
    state_->size = threads;
    const unsigned cores = std::thread::hardware_concurrency();
    state_->look = cores == 0 || static_cast<unsigned>(threads) <= cores;
    state_->threads.reserve(static_cast<std::size_t>(threads - 1));
    try {
        for (int t = 1; t < threads; ++t) state_->threads.emplace_back([this, t] { state_->work(this, t); });
    } catch (...) {
        {
            std::lock_guard lock(state_->mutex);
            state_->stop = true;
            ++state_->posted;
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
        ++state_->posted;
    }
    state_->wake.notify_all();
    for (auto& thread : state_->threads) thread.join();
}

int WorkerPool::size() const { return state_->size; }

void WorkerPool::run(int count, const std::function<void(int thread_index, int i)>& fn) {
    if (count <= 0) return;
    if (tlsWorkerOf == this) {
        // Nested use from one of our own workers: the others may all be blocked, so run here.
        for (int i = 0; i < count; ++i) fn(tlsWorkerIndex, i);
        return;
    }
    std::lock_guard runLock(state_->runMutex);
    dispatch(count, fn);
}

// Runs one job; the caller holds runMutex.
void WorkerPool::dispatch(int count, const std::function<void(int, int)>& fn) {
    std::unique_lock lock(state_->mutex);
    state_->job = &fn;
    state_->count = count;
    state_->next = 0;
    state_->finished = 0;
    state_->error = nullptr;
    ++state_->posted;
    state_->wake.notify_all();
    {
        // The caller is thread 0 and takes indices as the workers do, so the work starts before
        // any worker is awake; a run issued from inside counts as nested (inline), as on a worker.
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
    // A few runs per thread, so that a thread the system delays does not hold the others up.
    const int runs = std::min(count / grain, 4 * threads);
    const auto edge = [&](int k) { return static_cast<int>(static_cast<long long>(k) * count / runs); };
    // A pool busy with another job (a thread of the module's own, say, asking while its band
    // runs) is not waited for: the caller does the whole range itself.
    std::unique_lock runLock(state_->runMutex, std::try_to_lock);
    if (!runLock.owns_lock()) {
        fn(0, count);
        return;
    }
    dispatch(runs, [&](int, int i) { fn(edge(i), edge(i + 1)); });
}

}  // namespace vhost
