// A systemd-logind "sleep" inhibitor lock: logind hands out a descriptor, and the lock holds
// until it is closed. The library is opened at run time, so the program needs neither it nor
// logind: without them (a container, a system without systemd) holding does nothing.
#include "device/sleep_inhibitor.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace ostrel {
namespace {

// logind's own state folder: without it no logind answers, and a call on the system bus could
// wait out its whole time-out for the service to start.
constexpr char kLogindState[] = "/run/systemd/seats";

using OpenSystemBus = int (*)(void** bus);
using CallMethod = int (*)(void* bus, const char* destination, const char* path,
                           const char* interface, const char* member, void* error, void** reply,
                           const char* types, ...);
using ReadMessage = int (*)(void* message, const char* types, ...);
using UnrefMessage = void* (*)(void* message);
using CloseBus = void* (*)(void* bus);

class LogindInhibitor final : public SleepInhibitor {
  public:
    LogindInhibitor() {
        if (access(kLogindState, F_OK) != 0) return;
        void* library = dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (library == nullptr) return;
        const auto openBus = reinterpret_cast<OpenSystemBus>(dlsym(library, "sd_bus_open_system"));
        const auto callMethod = reinterpret_cast<CallMethod>(dlsym(library, "sd_bus_call_method"));
        const auto readMessage =
            reinterpret_cast<ReadMessage>(dlsym(library, "sd_bus_message_read"));
        const auto unrefMessage =
            reinterpret_cast<UnrefMessage>(dlsym(library, "sd_bus_message_unref"));
        const auto closeBus =
            reinterpret_cast<CloseBus>(dlsym(library, "sd_bus_flush_close_unref"));
        void* bus = nullptr;
        if (openBus != nullptr && callMethod != nullptr && readMessage != nullptr &&
            unrefMessage != nullptr && closeBus != nullptr && openBus(&bus) >= 0) {
            void* reply = nullptr;
            int lock = -1;
            if (callMethod(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                           "org.freedesktop.login1.Manager", "Inhibit", nullptr, &reply, "ssss",
                           "sleep", "GPS Ostrel updater", "a tracker's firmware is being written",
                           "block") >= 0 &&
                readMessage(reply, "h", &lock) >= 0 && lock >= 0) {
                // The descriptor belongs to the reply, which goes now.
                lock_ = fcntl(lock, F_DUPFD_CLOEXEC, 3);
            }
            if (reply != nullptr) unrefMessage(reply);
            closeBus(bus);
        }
        dlclose(library);
    }
    ~LogindInhibitor() override {
        if (lock_ >= 0) close(lock_);
    }
    LogindInhibitor(const LogindInhibitor&) = delete;
    LogindInhibitor& operator=(const LogindInhibitor&) = delete;

  private:
    int lock_ = -1;
};

}  // namespace

std::unique_ptr<SleepInhibitor> InhibitSleep() {
    return std::make_unique<LogindInhibitor>();
}

}  // namespace ostrel
