// One job at a time on a thread of its own: a decoder's colour conversion and image upload run
// there while the component's worker decodes the next unit. Every job of a writer runs on the
// same thread (an EGL context is current on one thread only); a writer that cannot start its
// thread runs its jobs in place, from then on.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

namespace zyn
{

class WriterThread
{
public:
    WriterThread() = default;
    WriterThread(const WriterThread &) = delete;
    WriterThread &operator=(const WriterThread &) = delete;
    ~WriterThread() { stop(); }

    // Runs `job` on the writer thread, then `done` there (both without the writer's lock); the
    // writer is busy until both have run. Waits first for a job still running.
    void start(std::function<void()> job, std::function<void()> done)
    {
        wait();
        if (!started_ && !inline_) {
            try {
                thread_ = std::thread([this] { main(); });
                started_ = true;
            } catch (const std::system_error &) {
                inline_ = true;
            }
        }
        if (inline_) {
            job();
            if (done)
                done();
            return;
        }
        {
            std::lock_guard lock(mu_);
            job_ = std::move(job);
            done_ = std::move(done);
            busy_ = true;
        }
        cv_.notify_all(); // after the lock: the writer wakes to take it, not to wait for it
    }

    void wait()
    {
        std::unique_lock lock(mu_);
        cv_.wait(lock, [this] { return !busy_; });
    }

    // Runs `job` where the writer's jobs run and waits for it.
    void run(std::function<void()> job)
    {
        if (!started_ && !inline_) {
            job(); // no thread yet: nothing of the writer's lives anywhere else
            return;
        }
        start(std::move(job), nullptr);
        wait();
    }

    // Ends the thread after the job under way.
    void stop()
    {
        if (!started_)
            return;
        {
            std::lock_guard lock(mu_);
            quit_ = true;
            cv_.notify_all();
        }
        thread_.join();
        started_ = false;
        quit_ = false;
    }

private:
    void main()
    {
        std::unique_lock lock(mu_);
        for (;;) {
            cv_.wait(lock, [this] { return busy_ || quit_; });
            if (!busy_)
                return;
            auto job = std::move(job_);
            auto done = std::move(done_);
            lock.unlock();
            job();
            if (done)
                done();
            lock.lock();
            busy_ = false;
            cv_.notify_all();
        }
    }

    std::mutex mu_;
    std::condition_variable cv_;
    std::function<void()> job_, done_;
    bool busy_ = false, quit_ = false;
    bool started_ = false, inline_ = false; // touched by the owner's thread only
    std::thread thread_;
};

} // namespace zyn
