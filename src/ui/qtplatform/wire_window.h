// The window's side of the wire thread: the window's thread holds the state lock while it
// handles an event and lets go of it whenever its event loop goes idle; what the wire thread
// reports arrives as queued calls; an operation runs on the wire while a modal box shows what
// it does and offers Cancel.
#pragma once

#include <QString>
#include <functional>

class QCoreApplication;
class QWidget;

namespace quorrel::ui {
class ScanControl;
}

namespace quorrel::qtui {

// From now on the application's thread takes the state lock for every event it handles and
// lets go of it before its event loop waits. The caller's thread takes it at once.
void holdStateWhileAwake(QCoreApplication& app);

// Carries `task` to the application's thread, to run from its event loop.
void postToWindow(std::function<void()> task);

// Runs `operation` on the wire and returns once it has ended. Meanwhile a modal box over
// `parent` says `text` and offers Cancel, which ends the operation at its next wait; the window
// keeps painting, and input goes to the box only. Without a wire thread the operation runs at
// once and no box is shown.
void runWithProgress(ui::ScanControl& scan, QWidget* parent, const QString& text,
                     std::function<void()> operation);

}  // namespace quorrel::qtui
