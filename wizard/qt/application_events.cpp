#include "wizard/qt/application_events.h"

#include <QAbstractEventDispatcher>
#include <QThread>

namespace ostrel {

ApplicationEvents::ApplicationEvents(QObject* parent) : QObject(parent) {
    // The dispatcher announces every wait of the thread's loops; only the main loop's (level 1)
    // is the application going idle. A zero-interval timer would keep the loop from ever
    // waiting, so none is used here or anywhere in the window.
    connect(QAbstractEventDispatcher::instance(thread()), &QAbstractEventDispatcher::aboutToBlock,
            this, &ApplicationEvents::AboutToBlock);
}

void ApplicationEvents::AboutToBlock() {
    if (QThread::currentThread()->loopLevel() == 1 && OnIdle) OnIdle();
}

}  // namespace ostrel
