// The simulated CP2102 as the kernel's USB core and cp210x driver meet it, and the USB/IP
// messages that carry it.
#include <gtest/gtest.h>

#include "sim/usbip/cp2102_device.h"
#include "sim/usbip/usbip_wire.h"

namespace ostrel::sim::usbip {
namespace {

using Bytes = std::vector<std::uint8_t>;

ControlAnswer Ask(Cp2102Device& device, std::uint8_t type, std::uint8_t request,
                  std::uint16_t value, std::uint16_t length, const Bytes& out = {}) {
    return device.Control({type, request, value, 0, length}, out);
}

TEST(Cp2102Device, DescriptorsNameACp2102WithItsSerialAndTwoBulkPipes) {
    Cp2102Device device("0042");
    // The USB core reads the first 8 bytes of the device descriptor first.
    const ControlAnswer head = Ask(device, 0x80, 6, 0x0100, 8);
    EXPECT_EQ(head.data, (Bytes{18, 1, 0x10, 0x01, 0, 0, 0, 64}));
    const Bytes whole = Ask(device, 0x80, 6, 0x0100, 64).data;
    ASSERT_EQ(whole.size(), 18u);
    EXPECT_EQ(whole[8] | whole[9] << 8, 0x10C4);
    EXPECT_EQ(whole[10] | whole[11] << 8, 0xEA60);

    const Bytes config = Ask(device, 0x80, 6, 0x0200, 255).data;
    ASSERT_EQ(config.size(), 32u);
    EXPECT_EQ(config[2], 32);  // total length matches what is sent
    EXPECT_EQ(Bytes(config.begin() + 18, config.begin() + 22), (Bytes{7, 5, 0x81, 2}));
    EXPECT_EQ(Bytes(config.begin() + 25, config.begin() + 29), (Bytes{7, 5, 0x01, 2}));

    EXPECT_EQ(Ask(device, 0x80, 6, 0x0303, 255).data,
              (Bytes{10, 3, '0', 0, '0', 0, '4', 0, '2', 0}));
    EXPECT_FALSE(Ask(device, 0x00, 9, 1, 0).stalled);  // SET_CONFIGURATION 1
    EXPECT_EQ(Ask(device, 0x80, 8, 0, 1).data, Bytes{1});
}

TEST(Cp2102Device, KeepsTheUartSettingsTheDriverSendsAndReadsThemBack) {
    Cp2102Device device("1");
    EXPECT_FALSE(Ask(device, 0x41, 0x00, 1, 0).stalled);  // interface enable
    EXPECT_TRUE(device.UartEnabled());
    EXPECT_FALSE(Ask(device, 0x41, 0x1E, 0, 4, {0x00, 0xC2, 0x01, 0x00}).stalled);
    EXPECT_EQ(device.Baud(), 115200u);
    EXPECT_EQ(Ask(device, 0xC1, 0x1D, 0, 4).data, (Bytes{0x00, 0xC2, 0x01, 0x00}));
    EXPECT_FALSE(Ask(device, 0x41, 0x03, 0x0820, 0).stalled);
    EXPECT_TRUE(device.EvenParity8N1());
    EXPECT_EQ(Ask(device, 0xC1, 0x04, 0, 2).data, (Bytes{0x20, 0x08}));
    Ask(device, 0x41, 0x03, 0x0810, 0);  // odd parity
    EXPECT_FALSE(device.EvenParity8N1());
    Ask(device, 0x41, 0x03, 0x0822, 0);  // two stop bits
    EXPECT_FALSE(device.EvenParity8N1());

    // Modem handshake: the high byte says which lines change.
    Ask(device, 0x41, 0x07, 0x0303, 0);
    EXPECT_EQ(device.ModemControl(), 3);
    Ask(device, 0x41, 0x07, 0x0100, 0);  // DTR off, RTS untouched
    EXPECT_EQ(device.ModemControl(), 2);
    EXPECT_EQ(Ask(device, 0xC1, 0x08, 0, 1).data, Bytes{2});

    const Bytes flow{1, 0, 0, 0, 0x40, 0, 0, 0, 0x80, 0, 0, 0, 0x80, 0, 0, 0};
    EXPECT_FALSE(Ask(device, 0x41, 0x13, 0, 16, flow).stalled);
    EXPECT_EQ(Ask(device, 0xC1, 0x14, 0, 16).data, flow);
    EXPECT_EQ(Ask(device, 0xC1, 0x10, 0, 19).data.size(), 19u);  // comm status

    EXPECT_FALSE(Ask(device, 0x41, 0x12, 0x000F, 0).stalled);  // purge
    EXPECT_TRUE(device.TakePurge());
    EXPECT_FALSE(device.TakePurge());
    Ask(device, 0x41, 0x00, 0, 0);
    EXPECT_FALSE(device.UartEnabled());
    EXPECT_TRUE(device.Stalls().empty());
}

TEST(Cp2102Device, AnswersBothPartNumberRequestsAsAGenuineCp2102) {
    Cp2102Device device("1");
    EXPECT_EQ(Ask(device, 0xC0, 0xFF, 0x370B, 1).data, Bytes{0x02});
    // Two bytes: the driver takes a one-byte answer for a clone without embedded events.
    EXPECT_EQ(Ask(device, 0xC0, 0xFF, 0x370B, 2).data.size(), 2u);
}

TEST(Cp2102Device, StallsAndRecordsWhatItDoesNotKnowOrWhatIsMalformed) {
    Cp2102Device device("1");
    EXPECT_TRUE(Ask(device, 0x41, 0x42, 0, 0).stalled);                // unknown request
    EXPECT_TRUE(Ask(device, 0x41, 0x1E, 0, 2, {0x80, 0x25}).stalled);  // rate in 2 bytes
    EXPECT_TRUE(Ask(device, 0xC0, 0xFF, 0x370C, 15).stalled);          // port config of a CP2105
    EXPECT_TRUE(Ask(device, 0x80, 6, 0x0304, 255).stalled);            // no fourth string
    EXPECT_TRUE(Ask(device, 0x21, 0x20, 0, 7, Bytes(7)).stalled);      // a CDC request
    ASSERT_EQ(device.Stalls().size(), 5u);
    EXPECT_EQ(device.Stalls()[0], "stalled 41 42 0000 0000 0000");
    EXPECT_EQ(device.Baud(), 9600u);  // the malformed rate changed nothing
}

TEST(Cp2102Device, EscapesItsEscapeCharacterOnlyWhileEventsAreEmbedded) {
    Cp2102Device device("1");
    const Bytes data{0x79, 0xEC, 0x1F};
    EXPECT_EQ(device.Frame(data), data);
    Ask(device, 0x41, 0x15, 0xEC, 0);
    EXPECT_EQ(device.Frame(data), (Bytes{0x79, 0xEC, 0x00, 0x1F}));
}

TEST(UsbipWire, ReadsASubmitAndAnswersWithTheSameSequenceNumber) {
    // The first request the kernel sent on attach: GET_DESCRIPTOR of the device, 64 bytes.
    std::array<std::uint8_t, kHeaderSize> header{};
    const Bytes words{0, 0, 0, 1, 0, 0, 0, 7, 0, 1, 0, 2, 0, 0,
                      0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 64};
    std::copy(words.begin(), words.end(), header.begin());
    const Bytes setup{0x80, 0x06, 0x00, 0x01, 0x00, 0x00, 0x40, 0x00};
    std::copy(setup.begin(), setup.end(), header.begin() + 40);
    const std::optional<Command> command = ParseCommandHeader(header);
    ASSERT_TRUE(command);
    EXPECT_EQ(command->seqnum, 7u);
    EXPECT_EQ(command->direction, kDirIn);
    EXPECT_EQ(command->bufferLength, 64u);
    EXPECT_EQ(command->setup.value, 0x0100);
    EXPECT_EQ(command->setup.length, 64);
    EXPECT_EQ(DataLength(*command), 0u);

    const Bytes reply = RetSubmit(*command, 0, Bytes{18, 1});
    ASSERT_EQ(reply.size(), kHeaderSize + 2);
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 8), (Bytes{0, 0, 0, 3, 0, 0, 0, 7}));
    EXPECT_EQ(Bytes(reply.begin() + 24, reply.begin() + 28), (Bytes{0, 0, 0, 2}));  // actual
    EXPECT_EQ(reply[48], 18);

    const Bytes stalled = RetSubmit(*command, kStatusStall, {});
    EXPECT_EQ(Bytes(stalled.begin() + 20, stalled.begin() + 24), (Bytes{0xFF, 0xFF, 0xFF, 0xE0}));
}

TEST(UsbipWire, OutDataFollowsTheHeaderAndUnlinksNameTheirTarget) {
    std::array<std::uint8_t, kHeaderSize> header{};
    header[3] = 1;   // submit
    header[19] = 1;  // endpoint 1, OUT
    header[27] = 5;  // five bytes follow
    const std::optional<Command> out = ParseCommandHeader(header);
    ASSERT_TRUE(out);
    EXPECT_EQ(DataLength(*out), 5u);
    EXPECT_EQ(RetSubmit(*out, 0, {}, 5).size(), kHeaderSize);  // no data back for an OUT

    header[3] = 2;  // unlink of sequence number 9
    header[23] = 9;
    const std::optional<Command> unlink = ParseCommandHeader(header);
    ASSERT_TRUE(unlink);
    EXPECT_EQ(unlink->unlinkSeqnum, 9u);
    EXPECT_EQ(DataLength(*unlink), 0u);
    const Bytes reply = RetUnlink(*unlink, kStatusUnlinked);
    EXPECT_EQ(reply[3], 4);
    EXPECT_EQ(Bytes(reply.begin() + 20, reply.begin() + 24), (Bytes{0xFF, 0xFF, 0xFF, 0x98}));

    header[3] = 9;  // no such command
    EXPECT_FALSE(ParseCommandHeader(header));
}

}  // namespace
}  // namespace ostrel::sim::usbip
