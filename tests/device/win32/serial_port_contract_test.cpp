// The serial port's promises, kept by the Win32 backend under Wine: the far end is a pty the
// Wine peer maps as a COM port.
#include "tests/device/serial_port_contract.h"

#include "tests/windows/support/wine_peer.h"

namespace ostrel::test {
namespace {

constexpr int kCom = 112;  // beside the link tests' own

class WinePortPeer final : public PortPeer {
  public:
    std::string PortName() override { return peer_.Connected() ? peer_.MapPty(kCom) : ""; }
    bool Send(const std::vector<std::uint8_t>& bytes) override { return peer_.Send(kCom, bytes); }
    std::vector<std::uint8_t> Receive(std::size_t count) override {
        return peer_.Receive(kCom, count);
    }
    // Wine opens a pty-backed COM port again whatever the share mode of the first open (the
    // second open then fails at the line settings instead); Windows keeps a COM port to one
    // handle.
    std::string SecondOpenUnrefusable() const override {
        return "Wine shares a pty-backed COM port whatever the share mode";
    }

  private:
    WinePeer peer_;
};

std::unique_ptr<PortPeer> MakeWinePeer() {
    return std::make_unique<WinePortPeer>();
}

INSTANTIATE_TEST_SUITE_P(Wine, SerialPortContract, ::testing::Values(&MakeWinePeer),
                         [](const auto&) { return std::string("WinePty"); });

}  // namespace
}  // namespace ostrel::test
