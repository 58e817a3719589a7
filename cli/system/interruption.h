#pragma once
// Stopping an update on request without leaving the tracker's bootloader inside a frame.
// Ctrl-C, SIGTERM and SIGHUP (on Windows Ctrl-C, Ctrl-Break and closing the console) ask for a
// stop. One rule for every mode: a one-shot run (one port, --all) stops before its next
// bootloader exchange, so the exchange in flight runs to its end; a loop (--repeat, --repeat
// --all) takes no new tracker on the first request and lets each tracker in hand finish, and
// stops them before their next exchange on the second. The request after the one that stops at
// the next exchange ends the process at once. The handlers print nothing: the run says what
// will happen, from its own threads.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "cli/report/run_messages.h"
#include "core/update_events.h"
#include "device/serial_port.h"

namespace ostrel::cli {

// Installs the handlers; a second request ends the process with `exitCode`. Output to a closed
// pipe is dropped from then on instead of ending the process (SIGPIPE is ignored), and a write
// past the file size limit fails as a full disk would (SIGXFSZ is ignored).
void InstallInterruptionHandlers(int exitCode);
// Says that the run was stopped at once, perhaps inside an exchange, and ends the process with
// the installed exit code. Safe inside a signal handler or a console control handler.
[[noreturn]] void EndAtOnce();
// Counts one request and returns how many there have been; the handlers call it.
int CountInterruptionRequest();

// What the requests so far ask of the run.
enum class StopAsked { Nothing, NoNewTracker, AtNextExchange };
// A loop lets the trackers in hand finish on the first request. Chosen before the loop starts.
void LetTrackersInHandFinish(bool finish);
StopAsked RequestedStop();
// A stop before the next exchange has been asked for.
bool InterruptionRequested();
// Whether one more request ends the process at once; the handlers call it after counting.
bool RequestEndsAtOnce(int requests);

// What a run says when a request ends it at once, which would be lost otherwise: the rows and
// result lines of the trackers in hand. Said on a thread of the run's own, not inside the
// handler (on Linux a handler may have cut into any call); a further request, or two seconds
// (Linux), end the run without them. One at a time.
class LastWords {
  public:
    explicit LastWords(std::function<void()> words);
    ~LastWords();
    LastWords(const LastWords&) = delete;
    LastWords& operator=(const LastWords&) = delete;

  private:
    std::function<void()> words_;
    std::unique_ptr<struct LastWordsThread> thread_;  // Linux: the thread that says them
};

// A request so far ends the run at once.
bool EndAtOnceRequested();

// Wakes a thread of the run when a stop is requested (from the handler) or when poked (from
// another thread). Up to eight are awake to requests at a time.
class StopWake {
  public:
    StopWake();
    ~StopWake();
    StopWake(const StopWake&) = delete;
    StopWake& operator=(const StopWake&) = delete;

    // Waits up to `milliseconds` (-1: no limit) for a request or a poke since the last wait;
    // false when none came.
    bool Wait(int milliseconds);
    void Poke();
    // What the system waits on: a descriptor on Linux, an event's handle on Windows. Its
    // readiness is taken by Wait or Drain.
    std::intptr_t NativeHandle() const { return handle_; }
    void Drain();

  private:
    std::intptr_t handle_ = -1;
    std::intptr_t pokeEnd_ = -1;  // Linux: the pipe's write end
};

// A port that refuses every exchange from the first one to begin after a stop was requested:
// it sends nothing, and the exchange's first wait fails at once. Exchanges begin with
// FlushInput, which is where the request is looked at; a port is not opened any more either.
class InterruptibleLink final : public SerialPort {
  public:
    explicit InterruptibleLink(SerialPort& port) : port_(port) {}

    // An exchange was refused: the run stopped on request.
    bool Stopped() const { return stopped_; }

    bool OpenPort(const std::string& name) override;
    void ClosePort() override { port_.ClosePort(); }
    PortOpenReport LastOpenReport() const override { return port_.LastOpenReport(); }
    bool HungUp() const override { return port_.HungUp(); }
    void FlushInput() override;
    std::int32_t PendingInputCount() override;
    bool WaitForInput(std::uint32_t tries, std::uint16_t count) override;
    bool ReadExact(std::uint8_t* buffer, std::uint16_t count, std::uint32_t& bytesRead) override;
    bool WriteAll(const std::uint8_t* buffer, std::uint16_t count) override;

  protected:
    bool AwaitOneTry(std::uint16_t count) override {
        return !stopped_ && port_.WaitForInput(1, count);
    }

  private:
    SerialPort& port_;
    bool stopped_ = false;
};

// The update's events while a stop may be requested: everything goes to `events` until the
// link refuses an exchange; the failure that the refused exchange brings is not shown, as the
// stop is reported instead.
class InterruptibleEvents final : public UpdateEvents {
  public:
    InterruptibleEvents(UpdateEvents& events, const InterruptibleLink& link)
        : events_(events), link_(link) {}

    void StageBegun(UpdateStage stage, std::uint32_t total) override {
        if (!link_.Stopped()) events_.StageBegun(stage, total);
    }
    void Progress(UpdateStage stage, std::uint32_t done, std::uint32_t total) override {
        if (!link_.Stopped()) events_.Progress(stage, done, total);
    }
    void StageEnded(UpdateStage stage, bool ok) override {
        if (!link_.Stopped()) events_.StageEnded(stage, ok);
    }

  private:
    UpdateEvents& events_;
    const InterruptibleLink& link_;
};

}  // namespace ostrel::cli
