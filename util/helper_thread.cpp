#include "util/helper_thread.h"

#include <system_error>
#include <utility>

HelperThread::HelperThread() {
    try {
        thread_ = std::thread([this] { serve(); });
    } catch (const std::system_error&) {
        // No thread to be had (a process at its limit): the scan runs on
        // its own thread, as it does on one core.
    }
}

HelperThread::~HelperThread() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quitting_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool HelperThread::worthwhile() { return std::thread::hardware_concurrency() >= 2; }

bool HelperThread::start(std::function<void()> job) {
    if (!thread_.joinable()) return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        job_ = std::move(job);
        busy_ = true;
    }
    changed_.notify_all();
    return true;
}

void HelperThread::wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
}

void HelperThread::serve() {
    for (;;) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return quitting_ || job_ != nullptr; });
        if (quitting_) return;
        std::function<void()> job = std::move(job_);
        job_ = nullptr;
        lock.unlock();
        job();
        lock.lock();
        busy_ = false;
        changed_.notify_all();
    }
}
