#include "WritePipeline.h"

#include "Composite.h"
#include "ImageIO.h"

#include <algorithm>

namespace vblind {

using vsession::compositeOver;

namespace {
constexpr std::size_t kPipelineBytes = std::size_t{64} << 20;
}

int pipelineCapacity(int writers, std::size_t frameBytes) {
    const std::size_t byBytes = kPipelineBytes / std::max<std::size_t>(frameBytes, 1);
    return static_cast<int>(
        std::clamp<std::size_t>(byBytes, 1, static_cast<std::size_t>(2 * std::max(writers, 1))));
}

WritePipeline::WritePipeline(int writers, std::size_t frameBytes, const WriteOptions& options, Notes& notes)
    : options_(options), notes_(notes), capacity_(pipelineCapacity(writers, frameBytes)) {
    const int count = std::clamp(writers, 1, capacity_);
    for (int i = 0; i < count; ++i) threads_.emplace_back([this] { work(); });
}

WritePipeline::~WritePipeline() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void WritePipeline::rethrowFailure() {
    if (failure_) std::rethrow_exception(failure_);
}

void WritePipeline::submit(std::string path, vhost::Image image, const vhost::Image* under) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return failure_ || static_cast<int>(queue_.size()) + busy_ < capacity_; });
    rethrowFailure();
    queue_.push_back(Job{std::move(path), std::move(image), under});
    lock.unlock();
    changed_.notify_all();
}

void WritePipeline::finish() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return failure_ || (queue_.empty() && busy_ == 0); });
    if (failure_) {
        // Frames being written when another failed still finish (or fail) whole before we report.
        changed_.wait(lock, [&] { return busy_ == 0; });
        rethrowFailure();
    }
}

void WritePipeline::work() {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return closing_ || failure_ || !queue_.empty(); });
            // After a failure nothing more is written; on closing, what was handed in still is.
            if (failure_ || queue_.empty()) return;
            job = std::move(queue_.front());
            queue_.pop_front();
            ++busy_;
        }
        std::exception_ptr failed;
        try {
            if (job.under) compositeOver(job.image, *job.under);
            writeImage(job.path, job.image, notes_, options_);
        } catch (...) {
            failed = std::current_exception();
        }
        job.image = vhost::Image();  // the frame's memory goes back before the next is taken
        {
            std::lock_guard<std::mutex> lock(mutex_);
            --busy_;
            if (failed && !failure_) failure_ = failed;
        }
        changed_.notify_all();
    }
}

}  // namespace vblind
