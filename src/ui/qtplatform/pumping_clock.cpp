#include "ui/qtplatform/pumping_clock.h"

#include <QCoreApplication>
#include <QThread>

namespace quorrel::qtui {

void PumpingClock::sleepMs(std::uint32_t ms) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app != nullptr && QThread::currentThread() == app->thread()) {
    const std::uint64_t now = steady_.microseconds();
    if (lastPumpUs_ != 0 && now - lastPumpUs_ > longestGapUs_) longestGapUs_ = now - lastPumpUs_;
    const std::uint32_t start = steady_.tickCount();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, static_cast<int>(ms));
    lastPumpUs_ = steady_.microseconds();
    const std::uint32_t spent = steady_.tickCount() - start;
    if (spent < ms) steady_.sleepMs(ms - spent);
    return;
  }
  steady_.sleepMs(ms);
}

void PumpingClock::resetGap() {
  lastPumpUs_ = steady_.microseconds();
  longestGapUs_ = 0;
}

}  // namespace quorrel::qtui
