#include "app/Update_Main.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSocketNotifier>
#include <QStackedWidget>
#include <algorithm>

#include "app/wizard_layout.h"
#include "app/wizard_texts.h"
#include "core/update_sequence.h"
#include "device/hotplug.h"

namespace ostrel {

TForm1::TForm1(SerialPort& port, PortDirectory& directory,
               DeviceWatchRegistration registerDeviceWatch, QWidget* parent)
    : QWidget(parent),
      port_(port),
      protocol_(port, *image_, state_),
      connector_(state_, port, directory, protocol_),
      registerDeviceWatch_(std::move(registerDeviceWatch)) {
    BuildLayout();
    connect(btnNEXT, &QPushButton::clicked, this, &TForm1::btnNEXTClick);
    connect(btnBACK, &QPushButton::clicked, this, &TForm1::btnBACKClick);
    connect(btnESC, &QPushButton::clicked, this, &TForm1::btnESCClick);
    connect(btnConnect, &QPushButton::clicked, this, &TForm1::btnConnectClick);
    ApplicationEvents1->OnIdle = [this] { ApplicationEvents1Idle(); };
    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::FormCreate() {
    state_.PortOpen = false;
    state_.DeviceReady = false;
    state_.BootloaderVersion = 0;
    state_.SupportedCommandCount = 0;
    state_.BlockSize = kBlockSize;
    state_.EndAddress = 0;
    state_.UpdatePhase = 0;
    BuildFirmwareImage(*image_);
    state_.PortList.clear();

    ListBoxVer->item(texts::kVersionLineIndex)
        ->setText(QString::fromUtf8(texts::kVersionPrefix) +
                  QString::fromUtf8(texts::kReleaseName) + QString::fromUtf8(texts::kModelSuffix));
    ListBoxVer->item(texts::kDateLineIndex)->setText(QString::fromUtf8(texts::kDateLine));

    HideConnectionIndicators();
    HideUpdateIndicators();
    // The container has no tabs to take out or to clear.
    SetPage(1);
    UpdateButtons();

    state_.PendingDeviceEvent = kNoDeviceEvent;
    WatchDeviceEvents();
}

void TForm1::WatchDeviceEvents() {
    if (!registerDeviceWatch_) return;
    deviceWatch_ = registerDeviceWatch_(state_);
    if (!deviceWatch_ || deviceWatch_->NotificationDescriptor() < 0) return;
    // The notifier also fires inside ProcessPendingEvents during an update, so it only records
    // the event; the idle hook acts on it once the update has returned.
    deviceNotifier_ =
        new QSocketNotifier(deviceWatch_->NotificationDescriptor(), QSocketNotifier::Read, this);
    connect(deviceNotifier_, &QSocketNotifier::activated, this,
            [this] { deviceWatch_->ReadNotifications(); });
}

void TForm1::FormClose() {
    closed_ = true;
    // An update may still be running in the Next handler: with the port released, its next
    // exchange fails and the failure display follows before the handler returns.
    if (state_.PortOpen) port_.ClosePort();
}

void TForm1::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const QRect& designed = layout::kPageControl;
    PageControl1->setGeometry(width() - layout::kPageControlRightGap - designed.width(),
                              designed.top(), designed.width(),
                              std::max(0, height() - layout::kPageControlBottomGap));
}

int TForm1::CurrentPage() const {
    return PageControl1->currentIndex() + 1;
}

void TForm1::SetPage(int page) {
    PageControl1->setCurrentIndex(page - 1);
}

void TForm1::UpdateButtons() {
    const int page = CurrentPage();
    btnESC->setVisible(page != 5);
    btnBACK->setVisible(page != 1);
    btnNEXT->setText(QString::fromUtf8(page == 5 ? texts::kFinish : texts::kNext));
    btnNEXT->setEnabled(page != 3 || state_.DeviceReady);
    if (page != 3) return;
    btnConnect->setEnabled(!state_.DeviceReady);
    if (state_.DeviceReady) {
        lbConnected->show();
        txtConnOK->show();
        lbNotConnected->hide();
        txtConnFail->hide();
    }
}

void TForm1::btnNEXTClick() {
    switch (CurrentPage()) {
        case 1:
            SetPage(2);
            break;
        case 2:
            SetPage(3);
            HideConnectionIndicators();
            break;
        case 3:
            if (state_.DeviceReady) {
                SetPage(4);
                HideUpdateIndicators();
                state_.UpdatePhase = 1;
                UpdateButtons();
                RunUpdate(state_, protocol_, *image_, *this);
            }
            break;
        case 4:
            SetPage(5);
            break;
        case 5:
            close();
            break;
    }
    UpdateButtons();
}

void TForm1::btnBACKClick() {
    switch (CurrentPage()) {
        case 2:
            SetPage(1);
            break;
        case 3:
            SetPage(2);
            state_.DeviceReady = false;
            break;
        case 4:
            SetPage(3);
            HideConnectionIndicators();
            state_.DeviceReady = false;
            break;
        case 5:
            SetPage(2);
            state_.DeviceReady = false;
            break;
        default:
            break;
    }
    UpdateButtons();
}

void TForm1::btnESCClick() {
    close();
}

void TForm1::btnConnectClick() {
    HideConnectionIndicators();
    connector_.ConnectSequence();
    if (!state_.DeviceReady) {
        lbConnected->hide();
        lbNotConnected->show();
        txtConnOK->hide();
        txtConnFail->show();
    }
    UpdateButtons();
}

void TForm1::ApplicationEvents1Idle() {
    if (closed_) return;
    if (ActOnPendingDeviceEvent(state_, connector_)) {
        SetPage(3);
        UpdateButtons();
    }
}

void TForm1::HideConnectionIndicators() {
    lbConnected->hide();
    lbNotConnected->hide();
    txtConnOK->hide();
    txtConnFail->hide();
}

void TForm1::HideUpdateIndicators() {
    for (Indicator indicator :
         {Indicator::txtWriteOK, Indicator::txtWriteFail, Indicator::lbWrite, Indicator::lbWriteOn,
          Indicator::lbWriteOK, Indicator::lbWriteErr, Indicator::lbVerify, Indicator::lbVerifyOK,
          Indicator::lbVerifyOn, Indicator::lbVerifyErr, Indicator::BarWrite, Indicator::BarVerify,
          Indicator::ListWriteOK, Indicator::ListWriteFail}) {
        IndicatorWidget(indicator)->hide();
    }
}

QWidget* TForm1::IndicatorWidget(Indicator indicator) const {
    switch (indicator) {
        case Indicator::txtWriteOK:
            return txtWriteOK;
        case Indicator::txtWriteFail:
            return txtWriteFail;
        case Indicator::lbWrite:
            return lbWrite;
        case Indicator::lbWriteOn:
            return lbWriteOn;
        case Indicator::lbWriteOK:
            return lbWriteOK;
        case Indicator::lbWriteErr:
            return lbWriteErr;
        case Indicator::lbVerify:
            return lbVerify;
        case Indicator::lbVerifyOK:
            return lbVerifyOK;
        case Indicator::lbVerifyOn:
            return lbVerifyOn;
        case Indicator::lbVerifyErr:
            return lbVerifyErr;
        case Indicator::BarWrite:
            return BarWrite;
        case Indicator::BarVerify:
            return BarVerify;
        case Indicator::ListWriteOK:
            return ListWriteOK;
        case Indicator::ListWriteFail:
            return ListWriteFail;
    }
    return nullptr;
}

void TForm1::SetIndicatorVisible(Indicator indicator, bool visible) {
    IndicatorWidget(indicator)->setVisible(visible);
}

void TForm1::SetProgressPosition(ProgressBar bar, std::uint32_t position) {
    (bar == ProgressBar::BarWrite ? BarWrite : BarVerify)
        ->setValue(static_cast<int>(std::min<std::uint32_t>(position, 100)));
}

void TForm1::SetButtonEnabled(WizardButton button, bool enabled) {
    (button == WizardButton::btnBACK ? btnBACK : btnNEXT)->setEnabled(enabled);
}

void TForm1::ProcessPendingEvents() {
    QCoreApplication::processEvents();
}

bool TForm1::IsKeepUserSelected() {
    return cbKeepUser->isChecked();
}

}  // namespace ostrel
