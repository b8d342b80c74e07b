// A second thread: runs one job at a time while the caller works on other
// bytes, so that work on memory (a scan of cached data, a fill's generator)
// uses two cores. It sleeps between jobs and is woken by them, never
// spinning.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class HelperThread {
public:
    // Starts the thread at once, so that the first job does not wait for it.
    HelperThread();
    ~HelperThread();
    HelperThread(const HelperThread&) = delete;
    HelperThread& operator=(const HelperThread&) = delete;

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
    bool busy_ = false;  // a job was started and has not finished
    bool quitting_ = false;
    std::thread thread_;
};

// Waits for the worker's job however the scope is left: the job may test
// bytes the caller is about to give up.
class HelperThreadJoin {
public:
    explicit HelperThreadJoin(HelperThread& worker) : worker_(worker) {}
    ~HelperThreadJoin() { worker_.wait(); }
    HelperThreadJoin(const HelperThreadJoin&) = delete;
    HelperThreadJoin& operator=(const HelperThreadJoin&) = delete;

private:
    HelperThread& worker_;
};
