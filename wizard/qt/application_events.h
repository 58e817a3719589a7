#pragma once
// The application's idle event: runs a handler once each time the main loop has emptied its
// queue and is about to wait. It never runs inside processEvents() (which does not wait) nor
// inside a nested event loop, such as a menu's or a dialog's, so device work started from it
// never interleaves with a running click handler.
#include <QObject>
#include <functional>

namespace ostrel {

class ApplicationEvents : public QObject {
    Q_OBJECT
  public:
    explicit ApplicationEvents(QObject* parent = nullptr);

    std::function<void()> OnIdle;

  private:
    void AboutToBlock();
};

}  // namespace ostrel
