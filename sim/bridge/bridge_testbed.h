#pragma once
// An umockdev testbed in which USB-to-UART adapters can be plugged in and pulled out. The
// process must run under umockdev's preload (umockdev-wrapper); programs it starts inherit the
// testbed. Each adapter's tty node leads to a pseudo-terminal that the caller serves.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/bridge/usb_serial_adapter.h"

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;

namespace ostrel::sim {

// The line settings a program last set on a node, in the kernel's termios layout.
struct LineRequest {
    std::uint32_t iflag = 0;
    std::uint32_t oflag = 0;
    std::uint32_t cflag = 0;
    std::uint32_t lflag = 0;
};

class BridgeTestbed {
  public:
    BridgeTestbed();
    ~BridgeTestbed();
    BridgeTestbed(const BridgeTestbed&) = delete;
    BridgeTestbed& operator=(const BridgeTestbed&) = delete;

    // Whether umockdev's preload library is loaded into this process.
    static bool IsMockEnvironment();

    // False outside umockdev's preload, with the reason in Error().
    bool Ok() const { return testbed_ != nullptr; }
    const std::string& Error() const { return error_; }
    std::string RootDir() const;

    // Presents the adapter with its node leading to the pty slave `ttyPath`, and announces it.
    // The testbed keeps the line raw and flushes it through a duplicate of `slaveFd` (a
    // descriptor of that slave), which it holds until the adapter is unplugged.
    bool Plug(const UsbSerialAdapter& adapter, const std::string& ttyPath, int slaveFd);
    // Presents an adapter with nothing behind its port: the line never answers.
    bool Plug(const UsbSerialAdapter& adapter);
    // Announces the removal and takes the devices away, the tty first. The caller closes the
    // pty afterwards so that a program holding the node sees a hang-up.
    void Unplug(const UsbSerialAdapter& adapter);
    bool IsPlugged(const UsbSerialAdapter& adapter) const;

    // Adds devices that stay for the testbed's life (records in umockdev's text format).
    bool AddDevices(const std::string& record);

    // What the program asked for last on the node ("/dev/ttyUSB0"), if anything since plug-in.
    std::optional<LineRequest> RequestedLine(const std::string& devicePath) const;

    struct NodeLine;  // shared with the ioctl handler's thread

  private:
    static void ReleaseLine(NodeLine& line);

    UMockdevTestbed* testbed_ = nullptr;
    std::string error_;
    // The line of `path`, made on first use; lines are read from the bridges' own threads.
    std::shared_ptr<NodeLine> LineOf(const std::string& path);

    mutable std::mutex linesMutex_;  // guards lines_ (each line has its own lock)
    std::map<std::string, std::shared_ptr<NodeLine>> lines_;  // by device path, never erased
    std::map<std::string, UMockdevIoctlBase*> handlers_;      // by device path, while plugged
};

}  // namespace ostrel::sim
