#include "size/scan_worker.h"

#include <chrono>
#include <system_error>
#include <utility>

namespace {

// Jobs come a fraction of a millisecond apart while a scan runs, and a core
// that went to sleep (in a virtual machine, above all) takes about as long
// to wake: both sides look for a while before they sleep.
constexpr std::chrono::microseconds kLookBeforeSleeping{100};

template <class Done>
void look_for(const Done& done) {
    const auto until = std::chrono::steady_clock::now() + kLookBeforeSleeping;
    while (!done() && std::chrono::steady_clock::now() < until) std::this_thread::yield();
}

}  // namespace

ScanWorker::ScanWorker() {
    try {
        thread_ = std::thread([this] { serve(); });
    } catch (const std::system_error&) {
        // No thread to be had (a process at its limit): the scan runs on
        // its own thread, as it does on one core.
    }
}

ScanWorker::~ScanWorker() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quitting_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool ScanWorker::worthwhile() { return std::thread::hardware_concurrency() >= 2; }

bool ScanWorker::start(std::function<void()> job) {
    if (!thread_.joinable()) return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        job_ = std::move(job);
        busy_.store(true, std::memory_order_release);
    }
    changed_.notify_all();
    return true;
}

void ScanWorker::wait() {
    look_for([this] { return !busy_.load(std::memory_order_acquire); });
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !busy_.load(std::memory_order_acquire); });
}

void ScanWorker::serve() {
    for (;;) {
        look_for([this] { return busy_.load(std::memory_order_acquire); });
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return quitting_ || job_ != nullptr; });
        if (quitting_) return;
        std::function<void()> job = std::move(job_);
        job_ = nullptr;
        lock.unlock();
        job();
        lock.lock();
        busy_.store(false, std::memory_order_release);
        changed_.notify_all();
    }
}
