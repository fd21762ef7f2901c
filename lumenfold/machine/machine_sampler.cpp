#include "machine/machine_sampler.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include "model/machine_samples.h"

namespace {

double seconds(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

bool writeAll(int fd, const char* data, size_t size, std::string& error) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            error = written < 0 ? std::strerror(errno) : "nothing written";
            return false;
        }
        data += written;
        size -= size_t(written);
    }
    return true;
}

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

}  // namespace

MachineSampler::MachineSampler(const MachineOptions& options, std::string samplesPath, int intervalMs)
    : reader_(options), path_(std::move(samplesPath)), interval_(std::max(intervalMs, 1)) {
    // A value takes at most 15 characters ("-1.234567e+308" and its comma).
    line_.resize(32 + 16 * reader_.sensors().size());
}

MachineSampler::~MachineSampler() {
    stop();
    if (fd_ >= 0) close(fd_);
}

bool MachineSampler::start(std::string& error) {
    if (fd_ >= 0) {
        error = "the sampler was started already";
        return false;
    }
    fd_ = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd_ < 0) {
        error = "cannot create the samples file " + path_ + ": " + std::strerror(errno);
        return false;
    }
    std::vector<SamplesColumn> columns;
    for (const Sensor& sensor : reader_.sensors()) columns.push_back({sensor.key, sensor.unit});
    const std::string header = samplesHeader(columns);
    std::string why;
    if (!writeAll(fd_, header.data(), header.size(), why)) {
        error = "cannot write the samples file " + path_ + ": " + why;
        return false;
    }
    start_ = std::chrono::steady_clock::now();
    thread_ = std::thread(&MachineSampler::run, this);
    return true;
}

void MachineSampler::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!thread_.joinable() || stopped_) return;
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    stopped_ = true;
}

// One sample, one line; false once the file cannot take it.
bool MachineSampler::sample() {
    const auto now = std::chrono::steady_clock::now();
    lastSample_ = now;
    const std::vector<double>& values = reader_.read(seconds(now));
    char* out = line_.data();
    const char* end = out + line_.size();
    out += std::snprintf(out, size_t(end - out), "%.3f", std::chrono::duration<double>(now - start_).count());
    for (double value : values) {
        *out++ = ',';
        if (std::isfinite(value)) out += std::snprintf(out, size_t(end - out), "%.7g", value);
    }
    *out++ = '\n';
    if (!writeAll(fd_, line_.data(), size_t(out - line_.data()), writeError_)) return false;
    ++samples_;
    return true;
}

void MachineSampler::run() {
    const double cpuAtStart = threadCpuSeconds();
    bool writing = sample();
    auto next = start_ + interval_;
    std::unique_lock<std::mutex> lock(mutex_);
    while (writing && !wake_.wait_until(lock, next, [this] { return stopping_; })) {
        lock.unlock();
        writing = sample();
        lock.lock();
        // After a pause longer than the interval (a machine too busy to
        // run this thread), the missed samples are not made up in a burst.
        next += interval_;
        const auto now = std::chrono::steady_clock::now();
        if (next <= now) next = now + interval_;
    }
    lock.unlock();
    // The tail of the run since the last sample, unless too short for the
    // kernel's tick-counted times to have moved.
    if (writing && std::chrono::steady_clock::now() - lastSample_ >= std::chrono::milliseconds(10)) sample();
    cpuSeconds_ = threadCpuSeconds() - cpuAtStart;
    wallSeconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

std::vector<std::string> MachineSampler::problems() const {
    // While the thread runs, the readings are its own.
    const bool running = thread_.joinable() && !stopped_;
    std::vector<std::string> out = reader_.problems(!running);
    if (!writeError_.empty())
        out.push_back("the samples file " + path_ + " could not be written to the end (" +
                      std::to_string(samples_.load()) + " samples kept): " + writeError_);
    return out;
}
