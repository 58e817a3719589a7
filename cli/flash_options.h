#pragma once
// The command line of ostrel-flash and its exit codes.
#include <cstdint>
#include <string>
#include <vector>

namespace ostrel::cli {

enum ExitCode : int {
    kExitSuccess = 0,
    kExitUpdateFailed = 1,
    kExitUsage = 2,
    kExitNotConnected = 3,
    kExitInterrupted = 4,     // stopped on request between two exchanges
    kExitReleaseDiffers = 5,  // --verify-only: the tracker holds other firmware
    kExitFileFailed = 6,  // a backup, restore, trace or journal file could not be written or read
    // Done as the result line says, but the --trace file lacks some of the run's lines or the
    // journal the tracker's row.
    kExitRecordIncomplete = 7,
};

struct FlashOptions {
    std::string port;                // empty: find the adapter as the Connect button does
    std::vector<std::string> ports;  // every --port given, in order
    bool all = false;                // every adapter present, each in its bay
    bool keepUserSettings = false;
    bool help = false;
    bool version = false;
    bool verifyOnly = false;  // read program memory back and compare, write nothing
    std::string backupFile;   // save data memory here before writing
    bool backupOnly = false;  // save data memory, write nothing
    // The backup may replace a file that exists (never a read-only one).
    bool overwriteBackup = false;
    std::string restoreFile;    // write this saved data memory back instead of updating
    std::string traceFile;      // every exchange, in hex, with its time and outcome
    std::string journalFile;    // one CSV line appended for every tracker
    bool quiet = false;         // only the result line on stdout
    bool repeat = false;        // one tracker after another until Ctrl-C
    std::uint32_t baud = 9600;  // the whole session's line rate, one of the bridge's rates
    bool list = false;          // list the serial ports instead of updating

    // A session per bay, all at once, rather than one tracker.
    bool ManyBays() const { return all || ports.size() > 1; }
};

enum class FlashMode { Update, VerifyOnly, BackupOnly, Restore };
FlashMode ModeOf(const FlashOptions& options);

// False with a message in `error` for anything it does not understand.
bool ParseFlashOptions(const std::vector<std::string>& args, FlashOptions& options,
                       std::string& error);

// The trace file of one bay: "support.txt" in bay "1-1.2" is "support-1-1.2.txt".
std::string BayTraceFile(const std::string& file, const std::string& bay);

// The --help text, with this system's port names and stop requests.
std::string FlashUsage();

}  // namespace ostrel::cli
