#include "sim/bridge/bridge_testbed.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <umockdev.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "sim/bridge/kernel_termios.h"

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#include <sanitizer/tsan_interface.h>
#define OSTREL_TSAN 1
#endif
#endif

namespace ostrel::sim {
namespace {

// The line goes to umockdev's worker thread through GLib's signal machinery, built without the
// thread sanitizer: the hand-over is told to it, so that the line's lock is seen made before
// that thread takes it.
void HandOver([[maybe_unused]] const void* line) {
#ifdef OSTREL_TSAN
    __tsan_release(const_cast<void*>(line));
#endif
}
void TakeOver([[maybe_unused]] const void* line) {
#ifdef OSTREL_TSAN
    __tsan_acquire(const_cast<void*>(line));
#endif
}

std::string TakeError(GError* error) {
    std::string text = error != nullptr ? error->message : "unknown error";
    g_clear_error(&error);
    return text;
}

}  // namespace

bool BridgeTestbed::IsMockEnvironment() {
    // umockdev_in_mock_environment() only answers true once a testbed exists.
    void* preload = dlopen("libumockdev-preload.so.0", RTLD_LAZY | RTLD_NOLOAD);
    if (preload == nullptr) return false;
    dlclose(preload);
    return true;
}

struct BridgeTestbed::NodeLine {
    std::mutex mutex;
    int slaveFd = -1;
    int idleMaster = -1;  // the pty of an adapter with nothing behind it
    std::optional<KernelTermios> asked;
};

namespace {

// Runs on umockdev's worker thread for every ioctl a program makes on a plugged node. A real
// bridge keeps the line settings it is given (a pty drops parity and makes glibc report
// EINVAL), so they are kept here and answered back; everything else goes to the pty.
gboolean HandleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
    auto* line = static_cast<BridgeTestbed::NodeLine*>(data);
    TakeOver(line);
    const gulong request = umockdev_ioctl_client_get_request(client);
    if (request == TCGETS || request == TCSETS || request == TCSETSW || request == TCSETSF) {
        GError* error = nullptr;
        UMockdevIoctlData* settings = umockdev_ioctl_data_resolve(
            umockdev_ioctl_client_get_arg(client), 0, sizeof(KernelTermios), &error);
        if (settings == nullptr) {
            g_clear_error(&error);
            umockdev_ioctl_client_complete(client, -1, EFAULT);
            return TRUE;
        }
        long result = 0;
        int err = 0;
        {
            std::lock_guard lock(line->mutex);
            if (request != TCGETS) {
                KernelTermios asked;
                std::memcpy(&asked, settings->data, sizeof(asked));
                line->asked = asked;
                if (request == TCSETSF && line->slaveFd >= 0) tcflush(line->slaveFd, TCIFLUSH);
            } else if (line->asked) {
                std::memcpy(settings->data, &*line->asked, sizeof(KernelTermios));
            } else if (line->slaveFd >= 0) {
                result = ioctl(line->slaveFd, TCGETS, settings->data);
                err = result != 0 ? errno : 0;
            } else {
                result = -1;
                err = EIO;
            }
        }
        umockdev_ioctl_client_complete(client, result, err);
        g_object_unref(settings);
        return TRUE;
    }
    int err = 0;
    GError* error = nullptr;
    const int result = umockdev_ioctl_client_execute(client, &err, &error);
    if (error != nullptr) {
        g_clear_error(&error);
        umockdev_ioctl_client_complete(client, -1, EIO);
        return TRUE;
    }
    umockdev_ioctl_client_complete(client, result, err);
    return TRUE;
}

}  // namespace

void BridgeTestbed::ReleaseLine(NodeLine& line) {
    std::lock_guard lock(line.mutex);
    if (line.slaveFd >= 0) close(line.slaveFd);
    if (line.idleMaster >= 0) close(line.idleMaster);
    line.slaveFd = -1;
    line.idleMaster = -1;
}

BridgeTestbed::BridgeTestbed() {
    if (!IsMockEnvironment()) {
        error_ = "not running under umockdev's preload; start it with umockdev-wrapper";
        return;
    }
    testbed_ = umockdev_testbed_new();
}

BridgeTestbed::~BridgeTestbed() {
    if (testbed_ == nullptr) return;
    for (auto& [path, handler] : handlers_) {
        umockdev_testbed_detach_ioctl(testbed_, path.c_str(), nullptr);
        g_object_unref(handler);
        ReleaseLine(*LineOf(path));
    }
    const std::string root = RootDir();
    g_object_unref(testbed_);
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

std::string BridgeTestbed::RootDir() const {
    if (testbed_ == nullptr) return {};
    gchar* root = umockdev_testbed_get_root_dir(testbed_);
    std::string text = root;
    g_free(root);
    return text;
}

bool BridgeTestbed::Plug(const UsbSerialAdapter& adapter, const std::string& ttyPath, int slaveFd) {
    if (testbed_ == nullptr || IsPlugged(adapter)) return false;
    const std::string path = adapter.DevicePath();
    const std::shared_ptr<NodeLine> line = LineOf(path);
    {
        std::lock_guard lock(line->mutex);
        line->slaveFd = fcntl(slaveFd, F_DUPFD_CLOEXEC, 0);
        line->asked.reset();
    }
    termios raw{};
    if (tcgetattr(slaveFd, &raw) == 0) {
        cfmakeraw(&raw);
        tcsetattr(slaveFd, TCSANOW, &raw);
    }
    auto fail = [&](std::string why) {
        error_ = std::move(why);
        ReleaseLine(*line);
        return false;
    };

    // The node exists before udev announces it, as after a real udev rule run.
    const std::filesystem::path node = RootDir() + path;
    std::error_code code;
    std::filesystem::create_directories(node.parent_path(), code);
    std::filesystem::remove(node, code);
    std::filesystem::create_symlink(ttyPath, node, code);
    if (code) return fail("cannot link " + node.string() + ": " + code.message());

    HandOver(line.get());
    UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
    g_signal_connect(handler, "handle-ioctl", G_CALLBACK(HandleIoctl), line.get());
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(testbed_, path.c_str(), handler, &error)) {
        g_object_unref(handler);
        return fail("cannot attach the ioctl handler: " + TakeError(error));
    }
    if (!umockdev_testbed_add_from_string(testbed_, adapter.Record().c_str(), &error)) {
        umockdev_testbed_detach_ioctl(testbed_, path.c_str(), nullptr);
        g_object_unref(handler);
        return fail("cannot add the adapter: " + TakeError(error));
    }
    handlers_[path] = handler;
    return true;
}

bool BridgeTestbed::Plug(const UsbSerialAdapter& adapter) {
    int master = -1;
    int slave = -1;
    char path[128] = {};
    if (openpty(&master, &slave, path, nullptr, nullptr) != 0) {
        error_ = std::string("cannot make a pty: ") + std::strerror(errno);
        return false;
    }
    const bool plugged = Plug(adapter, path, slave);
    close(slave);  // the testbed holds its own duplicate
    if (!plugged) {
        close(master);
        return false;
    }
    const std::shared_ptr<NodeLine> line = LineOf(adapter.DevicePath());
    std::lock_guard lock(line->mutex);
    line->idleMaster = master;
    return true;
}

void BridgeTestbed::Unplug(const UsbSerialAdapter& adapter) {
    if (!IsPlugged(adapter)) return;
    for (const std::string& sysPath : adapter.SysPathsBottomUp()) {
        umockdev_testbed_uevent(testbed_, sysPath.c_str(), "remove");
        umockdev_testbed_remove_device(testbed_, sysPath.c_str());
    }
    const std::string path = adapter.DevicePath();
    auto handler = handlers_.find(path);
    umockdev_testbed_detach_ioctl(testbed_, path.c_str(), nullptr);
    g_object_unref(handler->second);
    handlers_.erase(handler);
    ReleaseLine(*LineOf(path));
    std::error_code ignored;
    std::filesystem::remove(RootDir() + path, ignored);
}

std::shared_ptr<BridgeTestbed::NodeLine> BridgeTestbed::LineOf(const std::string& path) {
    std::lock_guard lock(linesMutex_);
    std::shared_ptr<NodeLine>& line = lines_[path];
    if (!line) line = std::make_shared<NodeLine>();
    return line;
}

bool BridgeTestbed::IsPlugged(const UsbSerialAdapter& adapter) const {
    return handlers_.count(adapter.DevicePath()) != 0;
}

bool BridgeTestbed::AddDevices(const std::string& record) {
    if (testbed_ == nullptr) return false;
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed_, record.c_str(), &error)) {
        error_ = "cannot add devices: " + TakeError(error);
        return false;
    }
    return true;
}

std::optional<LineRequest> BridgeTestbed::RequestedLine(const std::string& devicePath) const {
    std::shared_ptr<NodeLine> line;
    {
        std::lock_guard lock(linesMutex_);
        auto it = lines_.find(devicePath);
        if (it == lines_.end()) return std::nullopt;
        line = it->second;
    }
    std::lock_guard lock(line->mutex);
    if (!line->asked) return std::nullopt;
    const KernelTermios& k = *line->asked;
    return LineRequest{k.iflag, k.oflag, k.cflag, k.lflag};
}

}  // namespace ostrel::sim
