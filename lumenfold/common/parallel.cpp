#include "common/parallel.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

unsigned usableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return unsigned(CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

namespace {

struct Shared {
    std::atomic<size_t> next{0};
    std::atomic<size_t> done{0};
    std::atomic<bool> failed{false};
    std::mutex lock;
    std::condition_variable finished;
    unsigned running = 0;
    std::exception_ptr error;
};

void takeItems(Shared& shared, size_t count, const std::function<void(size_t)>& work) {
    try {
        for (size_t i = shared.next++; i < count && !shared.failed; i = shared.next++) {
            work(i);
            ++shared.done;
        }
    } catch (...) {
        const std::lock_guard<std::mutex> guard(shared.lock);
        if (!shared.error) shared.error = std::current_exception();
        shared.failed = true;
    }
    const std::lock_guard<std::mutex> guard(shared.lock);
    --shared.running;
    shared.finished.notify_all();
}

}  // namespace

void forEachIndex(size_t count, unsigned threads, const std::function<void(size_t i)>& work,
                  const std::function<void(size_t done)>& progress, double everySeconds) {
    const size_t used = std::min<size_t>(std::max(threads, 1u), count);
    if (used <= 1 && !progress) {
        for (size_t i = 0; i < count; ++i) work(i);
        return;
    }
    Shared shared;
    shared.running = unsigned(used);
    std::vector<std::thread> pool;
    pool.reserve(used);
    for (size_t t = 0; t < used; ++t) pool.emplace_back(takeItems, std::ref(shared), count, std::cref(work));
    {
        std::unique_lock<std::mutex> guard(shared.lock);
        const auto period = std::chrono::duration<double>(everySeconds);
        while (!shared.finished.wait_for(guard, period, [&] { return shared.running == 0; }))
            if (progress) {
                guard.unlock();
                progress(shared.done);
                guard.lock();
            }
    }
    for (std::thread& thread : pool) thread.join();
    if (shared.error) std::rethrow_exception(shared.error);
}
