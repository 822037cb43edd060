// The thread's message pump, one copy for every program: long operations run inside the
// user-interface thread and let pending window messages run while they wait.
#pragma once

namespace tqk {

// Runs the thread's message loop until WM_QUIT; returns its exit code. Dialog keys (Tab,
// Enter, Escape) work in every window.
int RunMessageLoop();

// Processes the window messages waiting in the thread's queue, then returns. A quit request is
// put back for the caller's own loop.
void PumpMessages();

// Gives the calling thread its message queue now, so a message posted to it from here on (a
// quit from its owner) cannot be lost; for a worker thread that only takes messages.
void CreateMessageQueue();

}  // namespace tqk
