#include "wizard/qt/wizard_window.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QListWidget>
#include <QProgressBar>
#include <QSocketNotifier>
#include <QStackedWidget>
#include <QTimer>

namespace ostrel {

using wizard::ControlId;

QtWizardWindow::QtWizardWindow(QWidget* parent) : QWidget(parent) {
    BuildLayout();
    ForwardEvents();
}

QtWizardWindow::~QtWizardWindow() = default;

void QtWizardWindow::ForwardEvents() {
    for (const wizard::ControlLayout& control : wizard::Controls()) {
        if (control.kind != wizard::ControlKind::Button) continue;
        connect(ControlAs<QAbstractButton>(control.id), &QAbstractButton::clicked, this,
                [this, id = control.id] {
                    if (controller_ != nullptr) controller_->OnClick(id);
                });
    }
    idleHook_ = new ApplicationEvents(this);
    idleHook_->OnIdle = [this] {
        if (controller_ != nullptr) controller_->OnIdle();
    };
}

void QtWizardWindow::WatchDeviceEvents(DeviceEventSource& source) {
    DeviceEventSource* watch = &source;
    if (watch->NotificationDescriptor() < 0) return;
    // The notifier also fires inside ProcessPendingEvents during an update, so it only records
    // the event; the idle step acts on it once the update has returned.
    auto* notifier =
        new QSocketNotifier(watch->NotificationDescriptor(), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [watch] { watch->ReadNotifications(); });
}

void QtWizardWindow::closeEvent(QCloseEvent* event) {
    if (controller_ != nullptr) controller_->OnClose();
    event->accept();
}

void QtWizardWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const wizard::Rect r = wizard::PageContainerGeometry(width(), height());
    pages_->setGeometry(r.left, r.top, r.width, r.height);
}

QWidget* QtWizardWindow::Page(int page) const {
    return pages_->widget(page - 1);
}

void QtWizardWindow::ShowPage(int page) {
    pages_->setCurrentIndex(page - 1);
}

void QtWizardWindow::SetVisible(ControlId control, bool visible) {
    Control(control)->setVisible(visible);
}

void QtWizardWindow::SetEnabled(ControlId button, bool enabled) {
    Control(button)->setEnabled(enabled);
}

void QtWizardWindow::SetCaption(ControlId button, std::string_view utf8) {
    ControlAs<QAbstractButton>(button)->setText(
        QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

void QtWizardWindow::SetLine(ControlId block, int index, std::string_view utf8) {
    ControlAs<QListWidget>(block)->item(index)->setText(
        QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

void QtWizardWindow::SetBarPosition(ControlId bar, int position) {
    ControlAs<QProgressBar>(bar)->setValue(position);
}

bool QtWizardWindow::IsKeepUserChecked() {
    return ControlAs<QCheckBox>(ControlId::cbKeepUser)->isChecked();
}

void QtWizardWindow::SetFocus(ControlId button) {
    Control(button)->setFocus();
}

void QtWizardWindow::Announce(ControlId shown) {
    QAccessibleEvent alert(Control(shown), QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

void QtWizardWindow::ProcessPendingEvents() {
    QCoreApplication::processEvents();
}

void QtWizardWindow::StartRetryTimer(int milliseconds) {
    QTimer::singleShot(milliseconds, this, [this] {
        if (controller_ != nullptr) controller_->OnArrivalRetry();
    });
}

void QtWizardWindow::CloseWindow() {
    close();
}

}  // namespace ostrel
