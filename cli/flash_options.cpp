#include "cli/flash_options.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <utility>

#include "cli/system/atomic_file.h"
#include "cli/system/system_words.h"
#include "device/line_rate.h"

namespace ostrel::cli {
namespace {

// "--name VALUE" or "--name=VALUE" at args[i] into `value`. False when args[i] is not this
// option; true with `error` set when its value is missing or empty, or was given before: the
// second of two values would silently win over the first.
bool TakeValue(const std::vector<std::string>& args, std::size_t& i, const std::string& name,
               const char* what, std::string& value, std::string& error) {
    const std::string& arg = args[i];
    std::string given;
    if (arg == name) {
        given = i + 1 < args.size() ? args[++i] : std::string();
    } else if (arg.starts_with(name + "=")) {
        given = arg.substr(name.size() + 1);
    } else {
        return false;
    }
    if (given.empty()) {
        error = name + " needs " + what;
    } else if (!value.empty()) {
        error = name + " is given twice: give it once";
    }
    value = given;
    return true;
}

// Two of the file options naming one file: the one opened for writing would empty the other.
void CheckFilesApart(const FlashOptions& o, std::string& error) {
    const std::pair<const char*, const std::string*> files[] = {{"--backup", &o.backupFile},
                                                                {"--restore", &o.restoreFile},
                                                                {"--trace", &o.traceFile},
                                                                {"--journal", &o.journalFile}};
    for (std::size_t i = 0; i < std::size(files); ++i) {
        for (std::size_t j = i + 1; j < std::size(files); ++j) {
            if (files[i].second->empty() || files[j].second->empty()) continue;
            if (!SameFile(*files[i].second, *files[j].second)) continue;
            error = std::string(files[i].first) + " and " + files[j].first +
                    " name the same file: one would replace the other; give each its own";
            return;
        }
    }
}

// The combinations that would do something other than what was asked. `alone`: the options
// are the only argument.
bool CheckCombination(const FlashOptions& o, std::string& error, bool alone) {
    if ((o.version || o.list) && !alone) {
        error = std::string(o.version ? "--version" : "--list") +
                " stands alone: give no other option with it";
    } else if (o.verifyOnly + o.backupOnly + !o.restoreFile.empty() > 1) {
        error = "--verify-only, --backup-only and --restore each choose what to do: give one";
    } else if (o.backupOnly && o.backupFile.empty()) {
        error = "--backup-only needs --backup FILE to save to";
    } else if (o.overwriteBackup && o.backupFile.empty()) {
        error = "--overwrite-backup goes with --backup FILE: it lets that file be replaced";
    } else if (o.verifyOnly && !o.backupFile.empty()) {
        error = "--verify-only writes nothing, so it needs no backup: use --backup-only";
    } else if (o.keepUserSettings && ModeOf(o) != FlashMode::Update) {
        error = "--keep-user-settings applies only to an update";
    } else if (o.repeat && (!o.backupFile.empty() || !o.restoreFile.empty())) {
        error = "--repeat would use one file for every tracker: not with --backup or --restore";
    } else if (o.repeat && !o.port.empty()) {
        error =
            "--repeat finds each adapter as it is plugged in and cannot take --port: leave it out";
    } else if (o.all && !o.ports.empty()) {
        error = "--all finds every adapter itself: give --all or --port, not both";
    } else if (o.ManyBays() && (!o.backupFile.empty() || !o.restoreFile.empty())) {
        error =
            "--backup and --restore take one tracker's data memory: not with --all or "
            "several --port, for now";
    } else {
        CheckFilesApart(o, error);
    }
    return error.empty();
}

}  // namespace

FlashMode ModeOf(const FlashOptions& options) {
    if (options.verifyOnly) return FlashMode::VerifyOnly;
    if (options.backupOnly) return FlashMode::BackupOnly;
    if (!options.restoreFile.empty()) return FlashMode::Restore;
    return FlashMode::Update;
}

bool ParseFlashOptions(const std::vector<std::string>& args, FlashOptions& options,
                       std::string& error) {
    bool baudGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--keep-user-settings") {
            options.keepUserSettings = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--verify-only") {
            options.verifyOnly = true;
        } else if (arg == "--backup-only") {
            options.backupOnly = true;
        } else if (arg == "--overwrite-backup") {
            options.overwriteBackup = true;
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--repeat") {
            options.repeat = true;
        } else if (arg == "--list") {
            options.list = true;
        } else if (arg == "--all") {
            options.all = true;
        } else if (arg == "--baud" || arg.starts_with("--baud=")) {
            if (arg == "--baud" && i + 1 == args.size()) {
                error = "--baud needs a rate";
                return false;
            }
            if (baudGiven) {
                error = "--baud is given twice: give it once";
                return false;
            }
            baudGiven = true;
            const std::string text = arg == "--baud" ? args[++i] : arg.substr(7);
            std::uint32_t baud = 0;
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), baud);
            if (ec != std::errc() || end != text.data() + text.size() || !IsLineRate(baud)) {
                error =
                    "--baud takes 9600, 19200, 38400, 57600, 115200 or 230400, not '" + text + "'";
                return false;
            }
            options.baud = baud;
        } else if (std::string port; TakeValue(args, i, "--port", "a port path", port, error)) {
            // Several ports are several bays; a port twice is one bay named twice.
            if (error.empty() && std::find(options.ports.begin(), options.ports.end(), port) !=
                                     options.ports.end()) {
                error = "--port " + port + " is given twice: give each port once";
            }
            if (!error.empty()) return false;
            options.ports.push_back(port);
            options.port = options.ports.front();
        } else if (TakeValue(args, i, "--backup", "a file name", options.backupFile, error) ||
                   TakeValue(args, i, "--restore", "a file name", options.restoreFile, error) ||
                   TakeValue(args, i, "--trace", "a file name", options.traceFile, error) ||
                   TakeValue(args, i, "--journal", "a file name", options.journalFile, error)) {
            if (!error.empty()) return false;
        } else {
            error = "unknown argument '" + arg + "'";
            return false;
        }
    }
    return options.help || CheckCombination(options, error, args.size() == 1);
}

std::string BayTraceFile(const std::string& file, const std::string& bay) {
    std::string tag = "-" + bay;
    std::replace(tag.begin(), tag.end(), '/', '-');
    const std::size_t name = file.find_last_of("/\\") + 1;  // npos + 1 is 0
    const std::size_t dot = file.rfind('.');
    const std::size_t at = dot != std::string::npos && dot > name ? dot : file.size();
    return file.substr(0, at) + tag + file.substr(at);
}

namespace {

// The help's text; the words in @ are the system's (its port names and stop requests).
constexpr const char* kUsageText = R"(Usage: ostrel-flash [OPTION]...
Writes the firmware release built into this program into a GPS Ostrel tracker through the
Vantor7 adapter (CP210x USB-UART bridge) and the tracker's ROM bootloader, in three stages:
program memory (ЗАГРУЗКА:), read-back check (ПРОВЕРКА:), then data memory.

  --port PATH            the adapter's serial port, e.g. @PORT@; without it the adapter
                         is looked up by its USB ids or name, and failing that every
                         @SCANNED@ is tried.
                         Given several times: each port is a bay, as with --all
  --all                  service bench: every adapter present (by its USB ids) is updated
                         in its own bay (its USB socket), all at once; each result line
                         names its bay, and a "summary updated=N failed=N" line ends the run.
                         With --repeat each bay goes on by itself: plug in, update, pull
                         out, again. --trace writes a file per bay, the bay in its name;
                         --backup and --restore do not go with it
  --keep-user-settings   leave the owner's settings (data memory 0x1000-0x10FF) as they are
  --baud RATE            run the whole session at RATE baud: 9600 (the default), 19200,
                         38400, 57600, 115200 or 230400; at 115200 an update takes about 8 s
                         instead of 80. The bootloader takes its rate from the first sync
                         byte after power-up and answers only at that rate until it is reset:
                         re-power the tracker (batteries out, then in) before changing rate
  --list                 list the serial ports with their names, mark the programming
                         adapter (CP210x, USB 10c4:ea60), and say when the adapter is plugged
                         in but has no port (Linux: another program, such as brltty, has
                         claimed it)
  --verify-only          read the program memory back and compare it with the release;
                         writes nothing
  --backup FILE          before writing, save the data memory (0x1000-0x13FF, 1,024 bytes,
                         with the owner's settings) to FILE; if that fails, nothing is written.
                         FILE must be new: an existing file is left as it is
  --overwrite-backup     with --backup: replace FILE when it exists (never a read-only one)
  --backup-only          with --backup: save the data memory and write nothing
  --restore FILE         write a data memory saved with --backup back into the tracker, then
                         read it back and compare; the program memory is left as it is
  --trace FILE           write every exchange to FILE: its time, the bytes each way in hex
                         and its outcome, and at its end the result line. A trace file that
                         exists is written on at its end, each run under a heading line; any
                         other file that exists is left as it is and refused, and so are a
                         port, a pipe and a device. --trace @NULL@ writes no trace
  --journal FILE         append one line for every tracker to FILE (CSV with a header line:
                         UTC time, bay, port, adapter serial number, mode, release and its
                         SHA-256, result, stage, block, seconds, reason); stations may share
                         it; when it cannot be written no new tracker is taken. With --repeat
                         the default is ostrel-journal.csv in the working directory
  --quiet                print only the result line (errors still go to stderr)
  --repeat               bench loop: wait for the adapter to be plugged in, update (or verify),
                         wait for it to be pulled out, and again, until Ctrl-C; then a summary
  --version              show this program's version, the release built in and the SHA-256
                         of its two blocks (and whether it is the placeholder release)
  -h, --help             show this text

Progress shows as bars on a terminal and as plain lines otherwise, on standard output. Errors
go to standard error, each with its cause and what to do; a failed update names the stage, the
block address and the step of the exchange that failed, and lists the last exchanges (all of
them are in the --trace file). @STOPS@ lets the exchange in flight finish,
then stops and says what the tracker holds; a second one ends the program at once. With
--repeat the first one takes no new tracker and lets each tracker in hand finish its update,
a second one stops them at their next exchange, a third ends the program at once. With more
than one adapter plugged in, name one with --port or take them all with --all. Only one
updater at a time can use a port.

Every run but --list (which prints the ports and ends with 0), unless the usage is wrong,
ends with one result line on stdout, for scripts:
  result=ok port=@PORT@ release=v2.2.5-R27 seconds=78.3
  result=failed stage=verify block=0x8E80 port=... release=... seconds=... reason=TEXT
  result=differs address=0x8C85 port=... release=... seconds=...   (--verify-only)
  result=interrupted stage=write block=0x9880 port=... release=... seconds=... reason=TEXT
stage is connect, backup, write (program memory), verify, data (data memory), restore,
check (the read-back of a restore) or trace; reason comes last and runs to the end of the line.
--repeat prints a result line for each tracker and ends with "summary updated=N failed=N"
("verified=N" with --verify-only), then "incomplete_traces=N" when some trace lacks lines.

Exit codes:
  0  done: updated, the release verified, the data memory saved or restored
     (--repeat: no tracker failed)
  1  an exchange failed or the read-back differs (the tracker keeps whatever blocks it
     acknowledged; run it again) (--repeat: at least one tracker failed)
  2  bad usage
  3  not connected: no port could be opened, or no bootloader answered the sync and Get
  4  interrupted (@STOP_LIST@): the block in flight was finished, then the run
     stopped and said what the tracker holds; a second interruption ends it at once
  5  --verify-only: the tracker does not hold this release
  6  a file could not be read or written (the backup, the file to restore, the trace);
     nothing was written into the tracker
  7  done as the result line says, but the --trace file is incomplete (a full disk); the
     result line ends with trace=incomplete before any reason (--repeat: none failed, and
     some tracker's trace is incomplete)
)";

}  // namespace

std::string FlashUsage() {
    std::string text = kUsageText;
    const std::pair<const char*, const char*> words[] = {
        {"@PORT@", kSystemWords.examplePort},   {"@SCANNED@", kSystemWords.scannedPorts},
        {"@STOPS@", kSystemWords.stopRequests}, {"@STOP_LIST@", kSystemWords.stopRequestList},
        {"@NULL@", kSystemWords.nullDevice},
    };
    for (const auto& [token, word] : words) {
        for (std::size_t at = text.find(token); at != std::string::npos; at = text.find(token)) {
            text.replace(at, std::string_view(token).size(), word);
        }
    }
    return text;
}

}  // namespace ostrel::cli
