#include "machine/nvml_library.h"

#include <dlfcn.h>

namespace {

template <typename Function>
bool bind(void* handle, const char* name, Function& function) {
    function = reinterpret_cast<Function>(dlsym(handle, name));
    return function != nullptr;
}

}  // namespace

NvmlLibrary::~NvmlLibrary() {
    if (started_) shutdown_();
    if (handle_) dlclose(handle_);
}

bool NvmlLibrary::open(const std::string& path, std::string& error) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const std::string why = dlerror();
        // Machines without NVIDIA's driver have no such library: nothing to say.
        if (why.find("No such file or directory") == std::string::npos) error = "NVML (" + path + "): " + why;
        return false;
    }
    int (*init)() = nullptr;
    bool bound = bind(handle_, "nvmlInit_v2", init) && bind(handle_, "nvmlShutdown", shutdown_) &&
                 bind(handle_, "nvmlErrorString", errorString_) &&
                 bind(handle_, "nvmlDeviceGetCount_v2", deviceCount) &&
                 bind(handle_, "nvmlDeviceGetHandleByIndex_v2", deviceHandle);
    if (!bound) {
        error = "NVML (" + path + "): not the library expected (" + dlerror() + ")";
        return false;
    }
    // Each of these may be missing from an old driver; its sensors are then absent.
    bind(handle_, "nvmlDeviceGetName", deviceName);
    bind(handle_, "nvmlDeviceGetClockInfo", clock);
    bind(handle_, "nvmlDeviceGetUtilizationRates", utilization);
    bind(handle_, "nvmlDeviceGetTemperature", temperature);
    bind(handle_, "nvmlDeviceGetPowerUsage", power);
    bind(handle_, "nvmlDeviceGetTotalEnergyConsumption", energy);
    // Renamed in later drivers, the old name kept beside the new.
    if (!bind(handle_, "nvmlDeviceGetCurrentClocksEventReasons", throttleReasons))
        bind(handle_, "nvmlDeviceGetCurrentClocksThrottleReasons", throttleReasons);
    const int code = init();
    if (code != success) {
        error = "NVML (" + path + ") does not start: " + errorText(code);
        return false;
    }
    started_ = true;
    return true;
}

std::string NvmlLibrary::errorText(int code) const {
    const char* text = errorString_ ? errorString_(code) : nullptr;
    return text ? std::string(text) : "error " + std::to_string(code);
}
