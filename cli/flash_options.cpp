#include "cli/flash_options.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <utility>

#include "cli/system/atomic_file.h"
#include "cli/system/system_words.h"
#include "device/line_rate.h"
#include "options/option_table.h"

namespace ostrel::cli {
namespace {

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

// The options, in the order --help gives them; the words in @ are the system's.
std::vector<options::Option> OptionTable(FlashOptions& o) {
    using options::kRepeatable;
    using options::Sets;
    using options::Stores;
    return {
        {"--port", "PATH",
         "the adapter's serial port, e.g. @PORT@; without it the adapter\n"
         "is looked up by its USB ids or name, and failing that every\n"
         "@SCANNED@ is tried.\n"
         "Given several times: each port is a bay, as with --all",
         [&o](const std::string& port) -> std::string {
             // Several ports are several bays; a port twice is one bay named twice.
             if (std::find(o.ports.begin(), o.ports.end(), port) != o.ports.end()) {
                 return "--port " + port + " is given twice: give each port once";
             }
             o.ports.push_back(port);
             o.port = o.ports.front();
             return "";
         },
         kRepeatable},
        {"--all", nullptr,
         "service bench: every adapter present (by its USB ids) is updated\n"
         "in its own bay (its USB socket), all at once; each result line\n"
         "names its bay, and a \"summary updated=N failed=N\" line ends the run.\n"
         "With --repeat each bay goes on by itself: plug in, update, pull\n"
         "out, again. --trace writes a file per bay, the bay in its name;\n"
         "--backup and --restore do not go with it",
         Sets(o.all)},
        {"--keep-user-settings", nullptr,
         "leave the owner's settings (data memory 0x1000-0x10FF) as they are",
         Sets(o.keepUserSettings)},
        {"--baud", "RATE",
         "run the whole session at RATE baud: 9600 (the default), 19200,\n"
         "38400, 57600, 115200 or 230400; at 115200 an update takes about 8 s\n"
         "instead of 80. The bootloader takes its rate from the first sync\n"
         "byte after power-up and answers only at that rate until it is reset:\n"
         "re-power the tracker (batteries out, then in) before changing rate",
         [&o](const std::string& text) -> std::string {
             std::uint32_t baud = 0;
             const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), baud);
             if (ec != std::errc() || end != text.data() + text.size() || !IsLineRate(baud)) {
                 return "--baud takes 9600, 19200, 38400, 57600, 115200 or 230400, not '" + text +
                        "'";
             }
             o.baud = baud;
             return "";
         }},
        {"--list", nullptr,
         "list the serial ports with their names, mark the programming\n"
         "adapter (CP210x, USB 10c4:ea60), and say when the adapter is plugged\n"
         "in but has no port (Linux: another program, such as brltty, has\n"
         "claimed it)",
         Sets(o.list)},
        {"--verify-only", nullptr,
         "read the program memory back and compare it with the release;\n"
         "writes nothing",
         Sets(o.verifyOnly)},
        {"--backup", "FILE",
         "before writing, save the data memory (0x1000-0x13FF, 1,024 bytes,\n"
         "with the owner's settings) to FILE; if that fails, nothing is written.\n"
         "FILE must be new: an existing file is left as it is",
         Stores(o.backupFile)},
        {"--overwrite-backup", nullptr,
         "with --backup: replace FILE when it exists (never a read-only one)",
         Sets(o.overwriteBackup)},
        {"--backup-only", nullptr, "with --backup: save the data memory and write nothing",
         Sets(o.backupOnly)},
        {"--restore", "FILE",
         "write a data memory saved with --backup back into the tracker, then\n"
         "read it back and compare; the program memory is left as it is",
         Stores(o.restoreFile)},
        {"--trace", "FILE",
         "write every exchange to FILE: its time, the bytes each way in hex\n"
         "and its outcome, and at its end the result line. A trace file that\n"
         "exists is written on at its end, each run under a heading line; any\n"
         "other file that exists is left as it is and refused, and so are a\n"
         "port, a pipe and a device. --trace @NULL@ writes no trace",
         Stores(o.traceFile)},
        {"--journal", "FILE",
         "append one line for every tracker to FILE (CSV with a header line:\n"
         "UTC time, bay, port, adapter serial number, mode, release and its\n"
         "SHA-256, result, stage, block, seconds, reason, first differing\n"
         "address, trace, settings, host); stations may share it. A journal\n"
         "that exists is written on at its end; any other file is refused, as\n"
         "for --trace. When it cannot be written no new tracker is taken.\n"
         "With --repeat the default is ostrel-journal.csv in the working\n"
         "directory; --journal @NULL@ keeps none",
         Stores(o.journalFile)},
        {"--quiet", nullptr, "print only the result line (errors still go to stderr)",
         Sets(o.quiet)},
        {"--repeat", nullptr,
         "bench loop: wait for the adapter to be plugged in, update (or verify),\n"
         "wait for it to be pulled out, and again, until Ctrl-C; then a summary",
         Sets(o.repeat)},
        {"--version", nullptr,
         "show this program's version, the release built in and the SHA-256\n"
         "of its two blocks (and whether it is the placeholder release)",
         Sets(o.version)},
        {"--help", nullptr, "show this text", Sets(o.help), false, "-h"},
    };
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
    return options::ParseOptions(OptionTable(options), args, error) &&
           (options.help || CheckCombination(options, error, args.size() == 1));
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

// The help's text around the options; the words in @ are the system's (its port names and stop
// requests).
constexpr const char* kUsageHead = R"(Usage: ostrel-flash [OPTION]...
Writes the firmware release built into this program into a GPS Ostrel tracker through the
Vantor7 adapter (CP210x USB-UART bridge) and the tracker's ROM bootloader, in three stages:
program memory (ЗАГРУЗКА:), read-back check (ПРОВЕРКА:), then data memory.

)";

constexpr const char* kUsageTail = R"(
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
check (the read-back of a restore), trace or journal; reason comes last and runs to the end of
the line. --repeat prints a result line for each tracker and ends with "summary updated=N
failed=N" ("verified=N" with --verify-only), then "incomplete_traces=N" when some trace lacks
lines and "journal_missing=N" when some tracker's journal row could not be written.

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
  6  a file could not be read or written (the backup, the file to restore, the trace, the
     journal); nothing was written into the tracker
  7  done as the result line says, but a record is incomplete (a full disk): the --trace
     file (trace=incomplete) or the journal's row (journal=incomplete), said on the result
     line before any reason (--repeat: none failed, and some record is incomplete)
)";

}  // namespace

std::string FlashUsage() {
    FlashOptions unused;
    std::string text = kUsageHead + options::OptionsHelp(OptionTable(unused), 25) + kUsageTail;
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
