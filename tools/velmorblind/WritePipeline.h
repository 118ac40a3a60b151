// Frames are put over their background, encoded and written on threads of their own while the next
// frame renders. The queue
// is bounded by a number of frames and by their bytes, so memory stays a few frames whatever the
// range. Every file still goes through writeImage and its checked temporary file; the first
// failure stops the pipeline and is thrown to the thread that hands in frames.
#pragma once

#include "Image.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vblind {

class Notes;
struct WriteOptions;

class WritePipeline {
public:
    // `writers` threads; frames of `frameBytes` bytes each. Nothing is written before submit().
    WritePipeline(int writers, std::size_t frameBytes, const WriteOptions& options, Notes& notes);
    // Frames already handed in are written (unless a write has failed); then the threads end.
    ~WritePipeline();
    WritePipeline(const WritePipeline&) = delete;
    WritePipeline& operator=(const WritePipeline&) = delete;

    // Hands a frame over, waiting while the pipeline is full; throws the first write failure. With
    // `under` (which must outlive the pipeline and have the frame's size and depth), the frame is put
    // over it on the writer's thread before it is written.
    void submit(std::string path, vhost::Image image, const vhost::Image* under = nullptr);
    // Waits until every frame handed in is written; throws the first write failure.
    void finish();
    // How many frames may be queued or being written at once.
    int capacity() const { return capacity_; }

private:
    struct Job {
        std::string path;
        vhost::Image image;
        const vhost::Image* under = nullptr;
    };
    void work();
    void rethrowFailure();  // with the lock held

    const WriteOptions& options_;
    Notes& notes_;
    int capacity_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> queue_;
    int busy_ = 0;  // frames being written
    bool closing_ = false;
    std::exception_ptr failure_;
    std::vector<std::thread> threads_;
};

// The frames the pipeline may hold at once: at most two per writer, and no more than fit in
// 64 MB (but always one), so that large frames do not pile up.
int pipelineCapacity(int writers, std::size_t frameBytes);

}  // namespace vblind
