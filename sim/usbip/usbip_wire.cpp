#include "sim/usbip/usbip_wire.h"

namespace ostrel::sim::usbip {
namespace {

std::uint32_t Word(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) << 24 |
           static_cast<std::uint32_t>(bytes[at + 1]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 8 | bytes[at + 3];
}

void PutWord(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
    out[at] = static_cast<std::uint8_t>(value >> 24);
    out[at + 1] = static_cast<std::uint8_t>(value >> 16);
    out[at + 2] = static_cast<std::uint8_t>(value >> 8);
    out[at + 3] = static_cast<std::uint8_t>(value);
}

// The first five words are common to every message; a reply names the request's sequence
// number and leaves devid, direction and endpoint zero.
std::vector<std::uint8_t> ReplyHeader(std::uint32_t kind, const Command& command) {
    std::vector<std::uint8_t> out(kHeaderSize, 0);
    PutWord(out, 0, kind);
    PutWord(out, 4, command.seqnum);
    return out;
}

}  // namespace

std::optional<Command> ParseCommandHeader(std::span<const std::uint8_t, kHeaderSize> header) {
    Command c;
    c.command = Word(header, 0);
    c.seqnum = Word(header, 4);
    c.devid = Word(header, 8);
    c.direction = Word(header, 12);
    c.endpoint = Word(header, 16);
    if (c.command == kCmdUnlink) {
        c.unlinkSeqnum = Word(header, 20);
        return c;
    }
    if (c.command != kCmdSubmit || c.direction > kDirIn || c.endpoint > 15) return std::nullopt;
    c.bufferLength = Word(header, 24);
    c.packets = Word(header, 32);
    // The setup packet is sent as the wire carries it: little-endian 16-bit fields.
    c.setup.requestType = header[40];
    c.setup.request = header[41];
    c.setup.value = static_cast<std::uint16_t>(header[42] | header[43] << 8);
    c.setup.index = static_cast<std::uint16_t>(header[44] | header[45] << 8);
    c.setup.length = static_cast<std::uint16_t>(header[46] | header[47] << 8);
    return c;
}

std::uint32_t DataLength(const Command& command) {
    return command.command == kCmdSubmit && command.direction == kDirOut ? command.bufferLength : 0;
}

std::vector<std::uint8_t> RetSubmit(const Command& command, std::int32_t status,
                                    std::span<const std::uint8_t> inData, std::uint32_t outDone) {
    std::vector<std::uint8_t> out = ReplyHeader(kRetSubmit, command);
    PutWord(out, 20, static_cast<std::uint32_t>(status));
    const bool in = command.direction == kDirIn;
    PutWord(out, 24, in ? static_cast<std::uint32_t>(inData.size()) : outDone);
    if (in) out.insert(out.end(), inData.begin(), inData.end());
    return out;
}

std::vector<std::uint8_t> RetUnlink(const Command& command, std::int32_t status) {
    std::vector<std::uint8_t> out = ReplyHeader(kRetUnlink, command);
    PutWord(out, 20, static_cast<std::uint32_t>(status));
    return out;
}

}  // namespace ostrel::sim::usbip
