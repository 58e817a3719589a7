// The serial port's promises, kept by the Linux backend: the far end is a pty's master.
#include "tests/device/serial_port_contract.h"

#include <poll.h>
#include <unistd.h>

#include "tests/device/linux/raw_pty.h"

namespace ostrel::test {
namespace {

class PtyPeer final : public PortPeer {
  public:
    std::string PortName() override { return pty_.Ok() ? pty_.path : ""; }
    bool Send(const std::vector<std::uint8_t>& bytes) override {
        return write(pty_.master, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    std::vector<std::uint8_t> Receive(std::size_t count) override {
        std::vector<std::uint8_t> bytes(count);
        std::size_t got = 0;
        pollfd p{pty_.master, POLLIN, 0};
        while (got < count && poll(&p, 1, 5000) == 1) {
            const ssize_t n = read(pty_.master, bytes.data() + got, count - got);
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        bytes.resize(got);
        return bytes;
    }

  private:
    RawPty pty_;
};

std::unique_ptr<PortPeer> MakePtyPeer() {
    return std::make_unique<PtyPeer>();
}

INSTANTIATE_TEST_SUITE_P(Linux, SerialPortContract, ::testing::Values(&MakePtyPeer),
                         [](const auto&) { return std::string("Pty"); });

}  // namespace
}  // namespace ostrel::test
