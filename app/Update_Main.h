#pragma once
// The updater's one window: a five-page wizard from the driver notice to the finished update.
// It owns the updater's state, connects through the port and port directory it is given, runs
// the update inside the Next button's handler and reports through UpdateView.
#include <QWidget>
#include <functional>
#include <memory>

#include "app/application_events.h"
#include "core/bootloader_protocol.h"
#include "core/firmware_image.h"
#include "core/update_view.h"
#include "core/updater_state.h"
#include "device/connection.h"
#include "device/device_events.h"
#include "device/port_directory.h"
#include "device/serial_port.h"

class QCheckBox;
class QFrame;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSocketNotifier;
class QStackedWidget;
class QTextEdit;

namespace ostrel {

class TForm1 : public QWidget, public UpdateView {
    Q_OBJECT
  public:
    using DeviceWatchRegistration =
        std::function<std::unique_ptr<DeviceEventSource>(UpdaterState&)>;

    // Builds the layout, then runs FormCreate; the last step registers the device watch.
    TForm1(SerialPort& port, PortDirectory& directory, DeviceWatchRegistration registerDeviceWatch,
           QWidget* parent = nullptr);
    ~TForm1() override;

    void FormCreate();
    void FormClose();
    void UpdateButtons();
    void btnNEXTClick();
    void btnBACKClick();
    void btnESCClick();
    void btnConnectClick();
    void ApplicationEvents1Idle();

    // UpdateView
    void SetIndicatorVisible(Indicator indicator, bool visible) override;
    void SetProgressPosition(ProgressBar bar, std::uint32_t position) override;
    void SetButtonEnabled(WizardButton button, bool enabled) override;
    void ProcessPendingEvents() override;
    bool IsKeepUserSelected() override;

    UpdaterState& State() { return state_; }
    const FirmwareImage& Image() const { return *image_; }
    // 1 to 5.
    int CurrentPage() const;

    // Frame.
    QLabel* Image6 = nullptr;
    QListWidget* ListBoxVer = nullptr;
    QStackedWidget* PageControl1 = nullptr;
    QFrame* Panel1 = nullptr;
    QPushButton* btnESC = nullptr;
    QPushButton* btnBACK = nullptr;
    QPushButton* btnNEXT = nullptr;
    ApplicationEvents* ApplicationEvents1 = nullptr;
    // Page 1.
    QWidget* TabSheet1 = nullptr;
    QTextEdit* RichEdit1 = nullptr;
    // Page 2.
    QWidget* TabSheet2 = nullptr;
    QListWidget* ListBox1 = nullptr;
    // Page 3.
    QWidget* TabSheet3 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* lbConnected = nullptr;
    QLabel* lbNotConnected = nullptr;
    QListWidget* ListBox6 = nullptr;
    QLabel* txtConnFail = nullptr;
    QLabel* txtConnOK = nullptr;
    QPushButton* btnConnect = nullptr;
    QListWidget* ListBox2 = nullptr;
    QCheckBox* cbKeepUser = nullptr;
    // Page 4.
    QWidget* TabSheet4 = nullptr;
    QLabel* lbWrite = nullptr;
    QProgressBar* BarWrite = nullptr;
    QLabel* lbWriteOn = nullptr;
    QLabel* lbWriteOK = nullptr;
    QLabel* lbWriteErr = nullptr;
    QLabel* lbVerify = nullptr;
    QProgressBar* BarVerify = nullptr;
    QLabel* lbVerifyOn = nullptr;
    QLabel* lbVerifyOK = nullptr;
    QLabel* lbVerifyErr = nullptr;
    QLabel* txtWriteOK = nullptr;
    QLabel* txtWriteFail = nullptr;
    QListWidget* ListWriteOK = nullptr;
    QListWidget* ListWriteFail = nullptr;
    // Page 5.
    QWidget* TabSheet5 = nullptr;
    QListWidget* ListBox4 = nullptr;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void BuildLayout();
    void BuildFrame();
    void BuildPage1();
    void BuildPage2();
    void BuildPage3();
    void BuildPage4();
    void BuildPage5();

    void SetPage(int page);
    void HideConnectionIndicators();
    void HideUpdateIndicators();
    QWidget* IndicatorWidget(Indicator indicator) const;
    void WatchDeviceEvents();

    std::unique_ptr<FirmwareImage> image_ = std::make_unique<FirmwareImage>();
    UpdaterState state_;
    SerialPort& port_;
    BootloaderProtocol protocol_;
    Connector connector_;
    DeviceWatchRegistration registerDeviceWatch_;
    std::unique_ptr<DeviceEventSource> deviceWatch_;
    QSocketNotifier* deviceNotifier_ = nullptr;
    // Set once the window has closed: the program is ending, so the idle hook leaves the
    // device alone while the handler that was running returns.
    bool closed_ = false;
};

}  // namespace ostrel
