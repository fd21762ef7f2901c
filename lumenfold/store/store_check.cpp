#include "store/store_check.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <set>
#include <span>
#include <system_error>
#include <thread>
#include <utility>

#include "common/parallel.h"

namespace {

// The series built so far and what the checking threads have taken of
// them. The deques grow while threads work on their elements: elements
// stay where they are, and the deques themselves are only touched under
// the lock.
class Pipeline {
public:
    explicit Pipeline(const ChangePointOptions& options) : options_(options) {}

    // Called by the reading thread with one group's series.
    void add(std::vector<Series>&& series) {
        const std::lock_guard<std::mutex> guard(lock_);
        for (Series& s : series) {
            series_.push_back(std::move(s));
            found_.emplace_back();
        }
        ready_.notify_all();
    }

    void startWorking(unsigned threads) {
        const std::lock_guard<std::mutex> guard(lock_);
        working_ = threads;
    }

    // No more series are coming: waits for the threads to check what there
    // is, hearing every few seconds how far they are.
    void close(const std::function<void(size_t built, size_t checked)>& progress) {
        std::unique_lock<std::mutex> guard(lock_);
        closed_ = true;
        ready_.notify_all();
        while (!stopped_.wait_for(guard, std::chrono::seconds(5), [&] { return working_ == 0; }))
            if (progress) progress(series_.size(), checked_);
    }

    // A checking thread: series by series until every one is taken and no
    // more are coming, or one of them failed.
    void work() {
        for (;;) {
            std::unique_lock<std::mutex> guard(lock_);
            ready_.wait(guard, [&] { return next_ < series_.size() || closed_ || error_; });
            if (next_ >= series_.size() || error_) {
                --working_;
                stopped_.notify_all();
                return;
            }
            const size_t i = next_++;
            const Series& s = series_[i];
            std::vector<Finding>& found = found_[i];
            guard.unlock();
            try {
                for (const ChangePoint& p : findChangePoints(s.samples, s.direction, options_))
                    found.push_back(findingOf(s, p));
            } catch (...) {
                fail(std::current_exception());
            }
            ++checked_;
        }
    }

    void fail(std::exception_ptr error) {
        const std::lock_guard<std::mutex> guard(lock_);
        if (!error_) error_ = error;
        ready_.notify_all();
    }
    bool failed() {
        const std::lock_guard<std::mutex> guard(lock_);
        return error_ != nullptr;
    }
    size_t built() {
        const std::lock_guard<std::mutex> guard(lock_);
        return series_.size();
    }
    size_t checked() const { return checked_; }

    // Once every thread has stopped: the series and findings in order, or
    // the first failure thrown.
    void finish(StoreCheck& check) {
        if (error_) std::rethrow_exception(error_);
        check.series.reserve(series_.size());
        for (Series& s : series_) check.series.push_back(std::move(s));
        for (size_t i = 0; i < found_.size(); ++i)
            for (Finding& f : found_[i]) {
                f.series = &check.series[i];
                check.findings.push_back(std::move(f));
            }
    }

private:
    const ChangePointOptions& options_;
    std::mutex lock_;
    std::condition_variable ready_, stopped_;
    unsigned working_ = 0;
    std::deque<Series> series_;
    std::deque<std::vector<Finding>> found_;
    size_t next_ = 0;
    bool closed_ = false;
    std::exception_ptr error_;
    std::atomic<size_t> checked_{0};
};

// Where each group of runs (one machine's runs of one program) begins, and
// the end. Runs not listed group by group are one group: read apart, a
// group's series would come twice, in another order.
std::vector<size_t> groupStarts(const std::vector<StoredRun>& runs) {
    std::vector<size_t> starts;
    std::set<std::pair<std::string, std::string>> seen;
    for (size_t i = 0; i < runs.size(); ++i)
        if (i == 0 || runs[i].machine != runs[i - 1].machine || runs[i].program != runs[i - 1].program) {
            if (!seen.insert({runs[i].machine, runs[i].program}).second) return {0, runs.size()};
            starts.push_back(i);
        }
    starts.push_back(runs.size());
    return starts;
}

void readGroups(HistoryStore& store, const std::string& figure, StoreCheck& check, Pipeline& pipeline,
                const CheckProgress& progress) {
    const std::vector<size_t> starts = groupStarts(check.runs);
    const size_t groups = starts.size() - 1;
    if (check.keepData) check.data.resize(check.runs.size());
    auto shown = std::chrono::steady_clock::now();
    for (size_t g = 0; g < groups && !pipeline.failed(); ++g) {
        const std::span<const StoredRun> group(check.runs.data() + starts[g], starts[g + 1] - starts[g]);
        std::vector<ResultsRun> data = store.runsData(group);
        pipeline.add(buildSeries(group, data, figure));
        if (check.keepData) std::move(data.begin(), data.end(), check.data.begin() + long(starts[g]));
        if (progress && std::chrono::steady_clock::now() - shown > std::chrono::seconds(5)) {
            progress(g + 1, groups, pipeline.built(), pipeline.checked());
            shown = std::chrono::steady_clock::now();
        }
    }
}

}  // namespace

void readAndCheck(HistoryStore& store, const std::string& figure, StoreCheck& check, unsigned threads,
                  const CheckProgress& progress, const ChangePointOptions& options) {
    Pipeline pipeline(options);
    std::vector<std::thread> pool;
    try {
        // The threads wait for series until the pipeline is closed.
        for (unsigned t = 0; t < (threads == 0 ? usableCores() : threads); ++t)
            pool.emplace_back([&pipeline] { pipeline.work(); });
    } catch (const std::system_error&) {
        if (pool.empty()) throw;   // fewer threads will do, none will not
    }
    pipeline.startWorking(unsigned(pool.size()));
    try {
        readGroups(store, figure, check, pipeline, progress);
    } catch (...) {
        pipeline.fail(std::current_exception());
    }
    const size_t groups = groupStarts(check.runs).size() - 1;
    pipeline.close([&](size_t built, size_t checked) {
        if (progress) progress(groups, groups, built, checked);
    });
    for (std::thread& thread : pool) thread.join();
    pipeline.finish(check);
}
