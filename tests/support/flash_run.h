#pragma once
// ostrel-flash against ostrel-devsim --fast over a pty, each as the program it is: the exit
// code, what it printed, and the simulated tracker's memory and block writes at the end.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/files.h"

namespace ostrel::test {

struct FlashRun {
    int exitCode = -1;
    std::string out;     // stdout
    std::string err;     // stderr
    std::string memory;  // the tracker's 65,536 bytes after the run
    long blockWrites = -1;
    std::string served;  // the simulated tracker's summary
};

class FlashRunner {
  public:
    // A file in the runner's own folder, removed with it.
    std::string Path(const std::string& name) const { return dir_.Path(name); }

    FlashRun Run(const std::vector<std::string>& devsimArgs,
                 const std::vector<std::string>& flashArgs) {
        FlashRun run;
        std::vector<std::string> args{"--fast", "--dump", Path("memory.bin")};
        args.insert(args.end(), devsimArgs.begin(), devsimArgs.end());
        ChildProcess devsim(OSTREL_DEVSIM, args);
        const std::string port = devsim.StdoutLine();
        if (port.empty()) {
            ADD_FAILURE() << "ostrel-devsim did not start";
            return run;
        }
        args = {"--port", port};
        args.insert(args.end(), flashArgs.begin(), flashArgs.end());
        if (!wrapper_.empty()) {
            args.insert(args.begin(), OSTREL_FLASH);
            args.insert(args.begin(), wrapper_.begin() + 1, wrapper_.end());
        }
        ChildProcess flash(wrapper_.empty() ? std::string(OSTREL_FLASH) : wrapper_[0], args,
                           Path("out.txt"), Path("err.txt"));
        run.exitCode = flash.Wait();
        run.out = FileText(Path("out.txt"));
        run.err = FileText(Path("err.txt"));

        devsim.Signal(SIGTERM);
        run.served = devsim.StdoutRest();
        EXPECT_EQ(devsim.Wait(), 0) << run.served;
        const std::size_t writes = run.served.find("block_writes=");
        if (writes != std::string::npos) {
            run.blockWrites = std::atol(run.served.c_str() + writes + 13);
        }
        run.memory = FileText(Path("memory.bin"));
        return run;
    }

    // Later runs start ostrel-flash through `wrapper` (a program and its first arguments).
    void RunThrough(std::vector<std::string> wrapper) { wrapper_ = std::move(wrapper); }

  private:
    ScratchFolder dir_{"ostrel-flash-test"};
    std::vector<std::string> wrapper_;
};

}  // namespace ostrel::test
