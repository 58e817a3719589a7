#include "cli/report/run_messages.h"

#include <cstdio>

#include "core/bootloader_protocol.h"
#include "core/firmware_image.h"

namespace ostrel::cli {
namespace {

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

}  // namespace

const char* const kRepowerHint =
    "Re-power the tracker: disconnect the adapter's cable from it and connect it again (top "
    "cover off, batteries out), wait until its LED is lit steadily, then try again.";

const char* const kAdapterDisconnected =
    "the adapter was disconnected (its port went away): plug it back in and run it again";

const char* const kDoNotInterrupt =
    "Writing the tracker's memory: do not interrupt or disconnect; a tracker left partly written "
    "will not start until an update completes.";

static std::string LineSettings(std::uint32_t rate) {
    return std::to_string(rate) + " 8E1";
}

std::string DescribeOpenFailure(const std::string& port, std::uint32_t rate,
                                const PortOpenReport& report) {
    const std::string why = report.systemText.empty() ? "" : " (" + report.systemText + ")";
    switch (report.error) {
        case PortOpenError::NotFound:
            return port + " does not exist" + why +
                   ": plug the adapter in, or give its port with --port";
        case PortOpenError::AccessDenied:
            return "no permission to open " + port + why +
                   ": install the ostrel-updater package (its udev rule "
                   "70-ostrel-vantor7.rules gives the logged-in user the adapter's port) and "
                   "plug the adapter in again, or join the dialout group (sudo usermod -aG "
                   "dialout $USER, then log in again)";
        case PortOpenError::InUse:
            return "port busy: " + port +
                   " is in use by another program (another updater, a terminal program, "
                   "ModemManager): close it and try again";
        case PortOpenError::NotSerialPort:
            return port + " is not a serial port" + why +
                   ": give the adapter's port, e.g. /dev/ttyUSB0 or COM3";
        case PortOpenError::SettingsRefused:
            return "the driver of " + port + " refused the line settings " + LineSettings(rate) +
                   why + ": the port is not the adapter's, or its driver cannot do even parity";
        case PortOpenError::None:
        case PortOpenError::Other:
            break;
    }
    return "cannot open " + port + why;
}

std::string DescribeNotConnected(const UpdaterState& state, const std::string& lastPort,
                                 bool opened, std::uint32_t rate, const PortOpenReport& report,
                                 const ExchangeRecord& sync) {
    if (lastPort.empty()) {
        return "no adapter found and no serial port to try: plug the Vantor7 adapter in, or give "
               "its port with --port";
    }
    if (!opened) return DescribeOpenFailure(lastPort, rate, report);
    if (state.PortOpen) {
        return "the bootloader on " + lastPort + " answered the sync but not Get.\n" + kRepowerHint;
    }
    // A NACK to the sync comes from a bootloader that is there but will not sync: it was left
    // inside an interrupted exchange, or it took another rate from an earlier sync.
    if (sync.frame == ExchangeFrame::Sync && sync.answer == ExchangeAnswer::Nack) {
        return "the bootloader on " + lastPort +
               " answered the sync with NACK (0x1F): it is inside an interrupted exchange or "
               "locked at another rate.\nRe-power the tracker (disconnect the adapter's cable "
               "from it, batteries out, then in) and run again at 9600 baud (without --baud).";
    }
    std::string text = "no bootloader answered the sync on " + lastPort + ".\n";
    // A driver that drops even parity (older USB-serial drivers do) runs the line 8N1, which
    // the bootloader does not understand. Pseudo-terminals never keep parity either, so this
    // only explains a silence; it does not refuse the port.
    if (!report.lineSettingsKept) {
        text +=
            "The adapter's driver did not take the line settings " + LineSettings(rate) +
            " (reading them back showed no even parity): use the adapter's own CP210x driver.\n";
    }
    return text + kRepowerHint;
}

const char* const kInterruptedBeforeUpdate =
    "interrupted before the update began: the tracker is unchanged.";

const char* const kEndedAtOnce =
    "ended at once, perhaps inside an exchange: re-power the tracker and run it again";

const char* UpdateStageWords(UpdateStage stage) {
    if (stage == UpdateStage::Verify) return "check of program memory";
    return stage == UpdateStage::Data ? "writing data memory" : "writing program memory";
}

std::string DescribeInterruption(FlashMode mode, UpdateStage stage, const std::string& doing,
                                 std::uint32_t block) {
    const bool updating =
        mode == FlashMode::Update &&
        (stage == UpdateStage::Write || stage == UpdateStage::Verify || stage == UpdateStage::Data);
    std::string where = "while " + doing + ", before block " + Hex(block);
    std::string holds;
    if (!updating) {
        holds = stage == UpdateStage::Restore ? "data memory partly written"
                : stage == UpdateStage::Check ? "data memory restored but not read back"
                                              : "nothing was written into it";
        return "interrupted " + where + ": " + holds + ".";
    }
    if (stage == UpdateStage::Verify) {
        where = "in the check of program memory, before block " + Hex(block);
        holds = "program memory written but not checked, data memory not yet written";
    } else if (stage == UpdateStage::Data) {
        holds = "data memory partly written";
    } else if (block == kFlashStart) {
        return "interrupted before the first block was written: the tracker is unchanged.";
    } else {
        holds =
            "program memory partly written: the tracker will not start until an update "
            "completes";
    }
    return "interrupted " + where + ": " + holds + "; run the update again.";
}

const ModeWords& WordsFor(FlashMode mode) {
    static constexpr ModeWords kUpdate{"update", "updated", "update"};
    static constexpr ModeWords kVerify{"verify", "verified", "check"};
    static constexpr ModeWords kBackup{"backup", "saved", "backup"};
    static constexpr ModeWords kRestore{"restore", "restored", "restore"};
    switch (mode) {
        case FlashMode::VerifyOnly:
            return kVerify;
        case FlashMode::BackupOnly:
            return kBackup;
        case FlashMode::Restore:
            return kRestore;
        case FlashMode::Update:
            break;
    }
    return kUpdate;
}

std::string DescribeStoppedWaiting(const char* what) {
    return std::string("stopped while waiting for ") + what + ": no tracker was in hand";
}

std::string DescribeExchange(const ExchangeRecord& record) {
    std::string frame;
    switch (record.frame) {
        case ExchangeFrame::Sync:
            frame = "sync byte";
            break;
        case ExchangeFrame::Command:
            frame = "command frame";
            break;
        case ExchangeFrame::Count:
            frame = record.command == kCmdGet ? "count byte of the command list" : "length frame";
            break;
        case ExchangeFrame::Address:
            frame = "address frame";
            break;
        case ExchangeFrame::Data:
            frame = record.command == kCmdGet ? "command list" : "data frame";
            break;
    }
    char byte[8];
    std::snprintf(byte, sizeof byte, "0x%02X", record.byte);
    switch (record.answer) {
        case ExchangeAnswer::Ack:
            return "the " + frame + " was acknowledged";
        case ExchangeAnswer::None:
            return "no answer to the " + frame;
        case ExchangeAnswer::Short:
            return "only " + std::to_string(record.received) + " of the " +
                   std::to_string(record.awaited) + " answer bytes to the " + frame + " arrived";
        case ExchangeAnswer::Nack:
            return "the " + frame + " answered with " + byte + " (NACK)";
        case ExchangeAnswer::WrongByte:
            break;
    }
    if (record.command == kCmdGet && record.frame == ExchangeFrame::Count) {
        return "the bootloader listed " + std::to_string(record.byte) +
               " command codes, more than it can have";
    }
    return "the " + frame + " answered with " + byte;
}

}  // namespace ostrel::cli
