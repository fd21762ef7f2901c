// NVIDIA's management library, loaded at run time when it is installed, so
// that lumenfold builds and runs without it. Only the calls used are bound.
#pragma once

#include <string>

class NvmlLibrary {
public:
    using Device = void*;
    struct Utilization {
        unsigned gpu = 0, memory = 0;   // percent of the last sample period
    };
    // The library's codes that matter here.
    static constexpr int success = 0;
    static constexpr int notSupported = 3;
    static constexpr int clockGraphics = 0, clockMemory = 2;
    static constexpr int temperatureGpu = 0;

    NvmlLibrary() = default;
    ~NvmlLibrary();
    NvmlLibrary(const NvmlLibrary&) = delete;
    NvmlLibrary& operator=(const NvmlLibrary&) = delete;

    // Loads the library and starts it. False when it cannot; error then says
    // why, and is empty when the library is simply not installed.
    bool open(const std::string& path, std::string& error);
    std::string errorText(int code) const;

    int (*deviceCount)(unsigned* count) = nullptr;
    int (*deviceHandle)(unsigned index, Device* device) = nullptr;
    int (*deviceName)(Device device, char* name, unsigned length) = nullptr;
    int (*clock)(Device device, int type, unsigned* megahertz) = nullptr;
    int (*utilization)(Device device, Utilization* rates) = nullptr;
    int (*temperature)(Device device, int sensor, unsigned* celsius) = nullptr;
    int (*power)(Device device, unsigned* milliwatts) = nullptr;
    int (*energy)(Device device, unsigned long long* millijoules) = nullptr;
    int (*throttleReasons)(Device device, unsigned long long* reasons) = nullptr;

private:
    void* handle_ = nullptr;
    bool started_ = false;
    const char* (*errorString_)(int code) = nullptr;
    int (*shutdown_)() = nullptr;
};
