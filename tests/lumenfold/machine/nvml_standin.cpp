// Stands in for NVIDIA's management library with the calls the sampler
// makes: one GPU with fixed clocks, utilisation, power and throttle reasons,
// an energy counter that grows by 7.5 J at each reading, and a temperature
// the user may not read.
#include <cstring>

namespace {

void* const theDevice = reinterpret_cast<void*>(0x5eed);
constexpr int success = 0, invalidArgument = 2, notSupported = 3, noPermission = 4;
unsigned long long energy = 5000000;

}  // namespace

extern "C" {

struct Utilization {
    unsigned gpu, memory;
};

int nvmlInit_v2() { return success; }
int nvmlShutdown() { return success; }
const char* nvmlErrorString(int code) { return code == noPermission ? "Insufficient Permissions" : "Unknown Error"; }
int nvmlDeviceGetCount_v2(unsigned* count) {
    *count = 1;
    return success;
}
int nvmlDeviceGetHandleByIndex_v2(unsigned index, void** device) {
    if (index != 0) return invalidArgument;
    *device = theDevice;
    return success;
}
int nvmlDeviceGetName(void* device, char* name, unsigned length) {
    if (device != theDevice || length < 13) return invalidArgument;
    std::strcpy(name, "Stand-in GPU");
    return success;
}
int nvmlDeviceGetClockInfo(void* device, int type, unsigned* clock) {
    if (device != theDevice) return invalidArgument;
    if (type != 0 && type != 2) return notSupported;
    *clock = type == 0 ? 1530 : 7001;
    return success;
}
int nvmlDeviceGetUtilizationRates(void* device, Utilization* rates) {
    if (device != theDevice) return invalidArgument;
    *rates = {42, 17};
    return success;
}
int nvmlDeviceGetTemperature(void*, int, unsigned*) { return noPermission; }
int nvmlDeviceGetPowerUsage(void* device, unsigned* milliwatts) {
    if (device != theDevice) return invalidArgument;
    *milliwatts = 71500;
    return success;
}
int nvmlDeviceGetTotalEnergyConsumption(void* device, unsigned long long* millijoules) {
    if (device != theDevice) return invalidArgument;
    energy += 7500;
    *millijoules = energy;
    return success;
}
// GPU idle, software power cap, hardware thermal slowdown.
int nvmlDeviceGetCurrentClocksThrottleReasons(void* device, unsigned long long* reasons) {
    if (device != theDevice) return invalidArgument;
    *reasons = 0x1 | 0x4 | 0x40;
    return success;
}
}
