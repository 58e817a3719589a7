#include "wizard/qt/wizard_window.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QListWidget>
#include <QProgressBar>
#include <QSocketNotifier>
#include <QStackedWidget>

namespace ostrel {

using wizard::ControlId;

TForm1::TForm1(SerialPort& port, PortDirectory& directory,
               DeviceWatchRegistration registerDeviceWatch, QWidget* parent)
    : QWidget(parent), controller_(*this, port, directory, std::move(registerDeviceWatch)) {
    BuildLayout();
    ForwardEvents();
    controller_.FormCreate();
    WatchDeviceEvents();
}

TForm1::~TForm1() = default;

void TForm1::ForwardEvents() {
    const auto onClick = [this](ControlId id, void (WizardController::*handler)()) {
        connect(ControlAs<QAbstractButton>(id), &QAbstractButton::clicked, this,
                [this, handler] { (controller_.*handler)(); });
    };
    onClick(ControlId::btnNEXT, &WizardController::btnNEXTClick);
    onClick(ControlId::btnBACK, &WizardController::btnBACKClick);
    onClick(ControlId::btnESC, &WizardController::btnESCClick);
    onClick(ControlId::btnConnect, &WizardController::btnConnectClick);
    ApplicationEvents1 = new ApplicationEvents(this);
    ApplicationEvents1->setObjectName(QStringLiteral("ApplicationEvents1"));
    ApplicationEvents1->OnIdle = [this] { controller_.ApplicationEvents1Idle(); };
}

void TForm1::WatchDeviceEvents() {
    DeviceEventSource* watch = controller_.DeviceWatch();
    if (!watch || watch->NotificationDescriptor() < 0) return;
    // The notifier also fires inside ProcessPendingEvents during an update, so it only records
    // the event; the idle step acts on it once the update has returned.
    auto* notifier =
        new QSocketNotifier(watch->NotificationDescriptor(), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [watch] { watch->ReadNotifications(); });
}

void TForm1::closeEvent(QCloseEvent* event) {
    controller_.FormClose();
    event->accept();
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const wizard::Rect r = wizard::PageContainerGeometry(width(), height());
    pages_->setGeometry(r.left, r.top, r.width, r.height);
}

QWidget* TForm1::Page(int page) const {
    return pages_->widget(page - 1);
}

void TForm1::ShowPage(int page) {
    pages_->setCurrentIndex(page - 1);
}

void TForm1::SetVisible(ControlId control, bool visible) {
    Control(control)->setVisible(visible);
}

void TForm1::SetEnabled(ControlId button, bool enabled) {
    Control(button)->setEnabled(enabled);
}

void TForm1::SetCaption(ControlId button, std::string_view utf8) {
    ControlAs<QAbstractButton>(button)->setText(
        QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

void TForm1::SetLine(ControlId block, int index, std::string_view utf8) {
    ControlAs<QListWidget>(block)->item(index)->setText(
        QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

void TForm1::SetBarPosition(ControlId bar, int position) {
    ControlAs<QProgressBar>(bar)->setValue(position);
}

bool TForm1::IsKeepUserChecked() {
    return ControlAs<QCheckBox>(ControlId::cbKeepUser)->isChecked();
}

void TForm1::SetFocus(ControlId button) {
    Control(button)->setFocus();
}

void TForm1::ProcessPendingEvents() {
    QCoreApplication::processEvents();
}

void TForm1::CloseWindow() {
    close();
}

}  // namespace ostrel
