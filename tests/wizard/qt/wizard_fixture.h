#pragma once
// The wizard window with a simulated tracker behind its port, a port directory that finds it
// by name, and a device-event source fed through a pipe, as the platform's would be.
#include <fcntl.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QCheckBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <memory>
#include <ostream>
#include <set>
#include <string>

#include "sim/bootloader_model.h"
#include "sim/sim_link.h"
#include "sim/sim_port_directory.h"
#include "wizard/qt/wizard_window.h"

// Readable failure messages for Qt texts.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace ostrel::test {

// Notices arrive as bytes on a pipe; reading them records the last one, as a real source records
// the last arrival or removal of the bridge.
class PipeDeviceEvents : public DeviceEventSource {
  public:
    PipeDeviceEvents() {
        if (pipe(fds_) == 0) {
            fcntl(fds_[0], F_SETFL, O_NONBLOCK);
        }
    }
    ~PipeDeviceEvents() override {
        close(fds_[0]);
        close(fds_[1]);
    }
    int NotificationDescriptor() const override { return fds_[0]; }
    void ReadNotifications() override {
        std::uint8_t event = 0;
        while (read(fds_[0], &event, 1) == 1) Record(static_cast<PendingEvent>(event));
        ++reads;
    }
    void Post(PendingEvent event) {
        const auto byte = static_cast<std::uint8_t>(event);
        ASSERT_EQ(write(fds_[1], &byte, 1), 1);
    }

    int reads = 0;

  private:
    int fds_[2] = {-1, -1};
};

inline constexpr const char* kConnectionIndicators[] = {"lbConnected", "lbNotConnected",
                                                        "txtConnOK", "txtConnFail"};
inline constexpr const char* kUpdateIndicators[] = {
    "txtWriteOK", "txtWriteFail", "lbWrite",     "lbWriteOn",    "lbWriteOK",
    "lbWriteErr", "lbVerify",     "lbVerifyOK",  "lbVerifyOn",   "lbVerifyErr",
    "BarWrite",   "BarVerify",    "ListWriteOK", "ListWriteFail"};

using Names = std::set<std::string>;
using wizard::ControlId;

struct Wizard {
    Wizard() {
        directory.bridgePort = "SIM1";
        form = std::make_unique<QtWizardWindow>();
        controller = std::make_unique<WizardController>(*form, link, directory, [this] {
            auto source = std::make_unique<PipeDeviceEvents>();
            events = source.get();
            return source;
        });
        form->Attach(*controller);
        controller->OnCreate();
    }

    WizardController& Controller() { return *controller; }
    UpdaterState& State() { return controller->State(); }
    int Page() const { return controller->CurrentPage(); }

    // Which of the eighteen indicators the window shows (on their own page).
    Names ShownIndicators() const {
        Names shown;
        for (const char* name : kConnectionIndicators) {
            if (!Widget(name)->isHidden()) shown.insert(name);
        }
        for (const char* name : kUpdateIndicators) {
            if (!Widget(name)->isHidden()) shown.insert(name);
        }
        return shown;
    }
    QWidget* Widget(const char* name) const {
        auto* widget = form->findChild<QWidget*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QPushButton* Button(ControlId id) const { return form->ControlAs<QPushButton>(id); }

    void Next() { Button(ControlId::btnNEXT)->click(); }
    void Back() { Button(ControlId::btnBACK)->click(); }
    void Connect() { Button(ControlId::btnConnect)->click(); }
    // From page 1 to page 3, connected.
    void ToConnectedPage3() {
        Next();
        Next();
        Connect();
    }

    // Lets the event loop take in what waits on the notification pipe (the socket notifier fires
    // inside processEvents, as during an update).
    void DeliverNotifications() {
        const int before = events->reads;
        for (int pass = 0; pass < 100 && events->reads == before; ++pass) {
            QCoreApplication::processEvents();
        }
    }

    // Runs the main loop until it is about to wait for the first time, so the window's idle
    // hook (connected first) runs once.
    static void RunUntilIdle() {
        QEventLoop loop;
        QObject::connect(QAbstractEventDispatcher::instance(),
                         &QAbstractEventDispatcher::aboutToBlock, &loop, [&loop] { loop.quit(); });
        loop.exec();
    }

    // Runs `action` from within the main loop, as a click the loop dispatches.
    static void InMainLoop(const std::function<void()>& action) {
        QEventLoop loop;
        QMetaObject::invokeMethod(
            &loop,
            [&] {
                action();
                loop.quit();
            },
            Qt::QueuedConnection);
        loop.exec();
    }

    sim::BootloaderModel model;
    sim::SimLink link{model};
    sim::SimPortDirectory directory;
    PipeDeviceEvents* events = nullptr;
    std::unique_ptr<QtWizardWindow> form;
    std::unique_ptr<WizardController> controller;
};

}  // namespace ostrel::test
