// A second thread for the scan: runs one job at a time while the caller
// tests other bytes, so that a scan of cached data uses two cores.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class ScanWorker {
public:
    // Starts the thread at once, so that the first job does not wait for it.
    ScanWorker();
    ~ScanWorker();
    ScanWorker(const ScanWorker&) = delete;
    ScanWorker& operator=(const ScanWorker&) = delete;

    // Whether a second core is there to run jobs on.
    static bool worthwhile();

    // Starts `job` on the worker's thread. False when there is no such
    // thread: the caller runs the job itself. The job must not throw.
    bool start(std::function<void()> job);
    // Returns once the job started last has finished.
    void wait();

private:
    void serve();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> job_;
    std::atomic<bool> busy_{false};  // a job was started and has not finished
    bool quitting_ = false;
    std::thread thread_;
};

// Waits for the worker's job however the scope is left: the job may test
// bytes the caller is about to give up.
class ScanWorkerJoin {
public:
    explicit ScanWorkerJoin(ScanWorker& worker) : worker_(worker) {}
    ~ScanWorkerJoin() { worker_.wait(); }
    ScanWorkerJoin(const ScanWorkerJoin&) = delete;
    ScanWorkerJoin& operator=(const ScanWorkerJoin&) = delete;

private:
    ScanWorker& worker_;
};
