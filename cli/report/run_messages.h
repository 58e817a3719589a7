#pragma once
// What the console says when a run cannot go on: the cause, and what the user can do about it.
#include <cstdint>
#include <string>

#include "cli/flash_options.h"
#include "core/exchange_record.h"
#include "core/update_events.h"
#include "core/updater_state.h"
#include "device/port_open_error.h"

namespace ostrel::cli {

// Why `port` did not open at `rate` baud, with the cure.
std::string DescribeOpenFailure(const std::string& port, std::uint32_t rate,
                                const PortOpenReport& report);

// What to do when the bootloader does not answer: a tracker's bootloader that was left inside
// an exchange, or that locked onto noise, answers nothing until the tracker is re-powered.
extern const char* const kRepowerHint;

// After a connection attempt at `rate` baud that left DeviceReady false. `lastPort` is empty
// when there was no port to try; `opened` tells whether the last port opened; `sync` is the
// protocol's record of the last sync sent.
std::string DescribeNotConnected(const UpdaterState& state, const std::string& lastPort,
                                 bool opened, std::uint32_t rate, const PortOpenReport& report,
                                 const ExchangeRecord& sync);

// What the update was doing at `stage`: "Failed in writing program memory, block ...".
const char* UpdateStageWords(UpdateStage stage);
// Where a run of `mode` stopped on request, while `doing` before `block` of `stage`, and what
// that leaves in the tracker.
std::string DescribeInterruption(FlashMode mode, UpdateStage stage, const std::string& doing,
                                 std::uint32_t block);
// A stop before the update began: the tracker is unchanged.
extern const char* const kInterruptedBeforeUpdate;
// A run ended at once with the tracker in hand.
extern const char* const kEndedAtOnce;

// How a failed exchange ended, in words: "no answer to the address frame", "the data frame
// answered with 0x1F (NACK)", "only 3 of the 129 answer bytes to the length frame arrived".
std::string DescribeExchange(const ExchangeRecord& record);

// Ctrl-C while a bench waited for `what` ("the adapter to be plugged in"): no tracker was in
// hand, so none was touched.
std::string DescribeStoppedWaiting(const char* what);

// A mode in words: as the journal names it ("verify"), what it does to a tracker ("verified")
// and what a tracker in hand is having done ("check").
struct ModeWords {
    const char* name;
    const char* done;
    const char* work;
};
const ModeWords& WordsFor(FlashMode mode);

// The port hung up under an exchange: the adapter was pulled out.
extern const char* const kAdapterDisconnected;

// Shown before the first block is written.
extern const char* const kDoNotInterrupt;

}  // namespace ostrel::cli
