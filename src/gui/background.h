// One job run off the window's thread, so that reading a database never
// freezes the window. The job hands what it finds to the window's thread
// with Post; the window asks it to stop with Stop (it stops at its next
// check of Stopped, between two batches of records). Destroying the
// Background stops the job and waits for its thread: what it posted and
// the window has not yet run is dropped with the receiver.
#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <thread>

namespace gui {

class Background {
public:
    explicit Background(QObject* receiver) : receiver_(receiver) {}
    ~Background() { Stop(); }
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    // Starts `job` on a thread of its own, once any job before has ended.
    void Start(std::function<void(Background&)> job) {
        Stop();
        ++generation_;
        stop_ = false;
        thread_ = std::thread([this, job = std::move(job)] { job(*this); });
    }
    // Asks the job to stop and waits for it to end.
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    bool Running() const { return thread_.joinable(); }

    // On the job's thread: whether it should stop now.
    bool Stopped() const { return stop_; }
    // On the job's thread: runs `work` on the receiver's thread, unless the
    // job has been told to stop meanwhile (or another job started since).
    void Post(std::function<void()> work) {
        QMetaObject::invokeMethod(
            receiver_, [this, generation = generation_.load(), work = std::move(work)] {
                if (!stop_ && generation == generation_) work();
            },
            Qt::QueuedConnection);
    }

private:
    QObject* receiver_;
    std::atomic<bool> stop_{false};
    std::atomic<unsigned> generation_{0};
    std::thread thread_;
};

}  // namespace gui
