#pragma once
// The updater's one window on Qt: the wizard's layout table rendered as widgets. Clicks, device
// notices, the idle step and closing go to the wizard controller, which holds every page rule
// and changes the widgets back through WizardView.
#include <QWidget>
#include <array>

#include "wizard/controller.h"
#include "wizard/qt/application_events.h"
#include "wizard/view.h"

class QStackedWidget;

namespace ostrel {

class QtWizardWindow : public QWidget, public WizardView {
    Q_OBJECT
  public:
    // Builds the layout; clicks, idle and closing reach a controller once one is attached.
    explicit QtWizardWindow(QWidget* parent = nullptr);
    ~QtWizardWindow() override;

    void Attach(WizardController& controller) { controller_ = &controller; }
    // The control of the table's entry, named as it (QObject::objectName).
    QWidget* Control(wizard::ControlId id) const { return controls_[static_cast<int>(id)]; }
    template <typename W>
    W* ControlAs(wizard::ControlId id) const {
        return qobject_cast<W*>(Control(id));
    }
    QWidget* Page(int page) const;

    // WizardView
    void ShowPage(int page) override;
    void SetVisible(wizard::ControlId control, bool visible) override;
    void SetEnabled(wizard::ControlId button, bool enabled) override;
    void SetCaption(wizard::ControlId button, std::string_view utf8) override;
    void SetLine(wizard::ControlId block, int index, std::string_view utf8) override;
    void SetBarPosition(wizard::ControlId bar, int position) override;
    bool IsKeepUserChecked() override;
    void SetFocus(wizard::ControlId button) override;
    void Announce(wizard::ControlId shown) override;
    void ProcessPendingEvents() override;
    void CloseWindow() override;
    void StartRetryTimer(int milliseconds) override;
    void WatchDeviceEvents(DeviceEventSource& source) override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void BuildLayout();
    QWidget* MakeControl(const wizard::ControlLayout& control, QWidget* parent);
    void ForwardEvents();

    WizardController* controller_ = nullptr;
    std::array<QWidget*, wizard::kControlCount> controls_{};
    QStackedWidget* pages_ = nullptr;
    ApplicationEvents* idleHook_ = nullptr;
};

}  // namespace ostrel
