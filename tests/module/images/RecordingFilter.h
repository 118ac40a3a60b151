// A filter for the executor's tests: it records every band it is given and the thread it ran on,
// counts its constructions and destructions, and writes its band of the destination (alpha = 1 +
// what was there, red = the source's red) so that a row done twice or not at all shows.
#pragma once

#include "VelmorFilterMulti.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

namespace vtest {

struct Recorder {
    std::mutex mutex;
    std::condition_variable allStarted;
    std::vector<Velmor::Rect> bands;
    std::vector<std::thread::id> threads;
    int constructed = 0;
    int destroyed = 0;
    std::atomic<int> started{0};
    std::atomic<int> running{0};
    std::atomic<int> finished{0};
    // When set, every band waits until this many bands have started: proof that they ran at the
    // same time (a host that ran them one after another would never get past the first).
    int meetAt = 0;
    bool everyoneMet = true;
    // Bands whose top equals this throw.
    int throwAtTop = -1;
    enum class Throw { PfErr, BadAlloc, Other } throwWhat = Throw::PfErr;
};

class RecordingFilter : public Velmor::IFilterWithRegion {
public:
    struct Parameter {
        Recorder* recorder = nullptr;
    };

    explicit RecordingFilter(Parameter const& p) : rec(*p.recorder) {
        std::lock_guard lock(rec.mutex);
        ++rec.constructed;
    }
    ~RecordingFilter() override {
        std::lock_guard lock(rec.mutex);
        ++rec.destroyed;
    }

    void execute(Velmor::Layer& in, Velmor::Layer& out) override { execute(in, out, out.getSize()); }

    void execute(Velmor::Layer& in, Velmor::Layer& out, Velmor::Rect const& band) override {
        ++rec.running;
        {
            std::unique_lock lock(rec.mutex);
            rec.bands.push_back(band);
            rec.threads.push_back(std::this_thread::get_id());
            ++rec.started;
            if (rec.meetAt > 0) {
                rec.allStarted.notify_all();
                // The limit only keeps a broken host from hanging the test run.
                if (!rec.allStarted.wait_for(lock, std::chrono::seconds(60),
                                             [&] { return rec.started.load() >= rec.meetAt; }))
                    rec.everyoneMet = false;
            }
        }
        if (band.top == rec.throwAtTop) {
            --rec.running;
            switch (rec.throwWhat) {
                case Recorder::Throw::PfErr: throw PF_Err(PF_Err_BAD_CALLBACK_PARAM);
                case Recorder::Throw::BadAlloc: throw std::bad_alloc();
                case Recorder::Throw::Other: throw std::runtime_error("not a host error");
            }
        }
        PF_LayerDef* src = in.getWorld();
        PF_LayerDef* dst = out.getWorld();
        if (src && dst) {
            for (int y = band.top; y < band.bottom; ++y) {
                auto* from = reinterpret_cast<const PF_Pixel*>(static_cast<const char*>(src->data) +
                                                               y * src->rowbytes);
                auto* to = reinterpret_cast<PF_Pixel*>(static_cast<char*>(dst->data) + y * dst->rowbytes);
                for (int x = band.left; x < band.right; ++x) {
                    to[x].alpha = static_cast<A_u_char>(to[x].alpha + 1);
                    to[x].red = from[x].red;
                }
            }
        }
        --rec.running;
        ++rec.finished;
    }

private:
    Recorder& rec;
};

}  // namespace vtest
