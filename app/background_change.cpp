#include "app/background_change.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "app/status_texts.h"
#include "app/view.h"
#include "app/window_busy.h"
#include "size/scan.h"
#include "util/helper_thread.h"

BackgroundSeams BackgroundChangeSeams;

namespace {

using Clock = std::chrono::steady_clock;

// Between the two threads: the helper tells what it has done and learns
// whether to stop; the window's thread reads the one and sets the other.
class SharedProgress final : public ScanObserver {
public:
    bool beforeChunk(int) override { return !stop_.load(); }
    bool beforeBytes(std::int64_t done, std::int64_t total) override {
        done_.store(done);
        total_.store(total);
        return !stop_.load();
    }
    void stop() { stop_.store(true); }
    std::int64_t done() const { return done_.load(); }
    std::int64_t total() const { return total_.load(); }

private:
    std::atomic<std::int64_t> done_{0};
    std::atomic<std::int64_t> total_{0};
    std::atomic<bool> stop_{false};
};

// The work's end, for the window's thread to wait on between looks.
class Finish {
public:
    void mark() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
        }
        finishedNow_.notify_all();
    }
    // True once finished; waits up to `timeout` for it.
    bool waitFor(Clock::duration timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        return finishedNow_.wait_for(lock, timeout, [this] { return finished_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable finishedNow_;
    bool finished_ = false;
};

// The share done, the rate and the time left, once the work has lasted
// long enough to show them.
void show_progress(View& form, const SharedProgress& progress, Clock::duration elapsed) {
    const std::int64_t total = progress.total();
    if (total <= 0) return;
    const std::int64_t done = progress.done();
    const int percent = percent_before(done, total);
    const double seconds = std::chrono::duration<double>(elapsed).count();
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
    const double left = rate > 0 ? static_cast<double>(total - done) / rate : -1;
    form.setProgress(percent);
    form.setStatusText(status_text::working(percent, rate, left));
}

}  // namespace

std::optional<Failure> run_beside_window(View& form,
                                         const std::function<std::optional<Failure>(ScanObserver&)>& work) {
    SharedProgress progress;
    Finish finish;
    std::optional<Failure> outcome;
    HelperThread helper;
    auto job = [&] {
        outcome = work(progress);
        finish.mark();
    };
    if (!helper.start(job)) job();  // no thread to be had: the work runs here
    const CommandsDisabled busy(form);
    const Clock::time_point start = Clock::now();
    constexpr Clock::duration kLook = std::chrono::milliseconds(50);
    constexpr Clock::duration kShowEvery = std::chrono::milliseconds(250);
    Clock::time_point shownAt;
    bool shown = false;
    while (!finish.waitFor(kLook)) {
        form.processPendingEvents();
        if (form.closeRequested() || form.scanCancelRequested()) progress.stop();
        if (BackgroundChangeSeams.onLook) BackgroundChangeSeams.onLook(progress.done(), progress.total());
        const Clock::time_point now = Clock::now();
        if (now - start >= BackgroundChangeSeams.progressDelay && (!shown || now - shownAt >= kShowEvery)) {
            show_progress(form, progress, now - start);
            shown = true;
            shownAt = now;
        }
    }
    helper.wait();
    if (shown) form.setProgress(0);
    return outcome;
}
