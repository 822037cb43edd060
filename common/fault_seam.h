// A test-only seam in the file layers: makes the n-th write, flush or rename call of the process
// fail, so tests can check that every writer reports the failure and leaves no half-written file
// claimed as whole. Unarmed (the normal case) it only counts calls. Portable: no <windows.h>.
//
// Armed in-process by Arm(), or for a whole program by the environment, read once at the first
// counted call:
//   TAVIRO_FAULT=write:7         the 7th write call fails (flush:N, rename:N likewise)
//   TAVIRO_FAULT=write:7+        the 7th and every later write call fail (a full disk)
//   TAVIRO_FAULT_REPORT=<path>   when the fault fires, a line "<op>:<n>" is appended there, so a
//                                test driving a real program knows the call was reached
#pragma once

#include <cstdint>

namespace tqk::fault {

enum class Op : int { kWrite = 0, kFlush = 1, kRename = 2 };

// Counts one call of op; true when this call is to fail. Every file layer calls it just before
// the real write / flush / rename and fails the same way the system call would.
[[nodiscard]] bool ShouldFail(Op op);

// The n-th call of op from now (n >= 1) fails; with sticky also every later one. Resets counts.
void Arm(Op op, int64_t n, bool sticky = false);
// No call fails any more; resets counts.
void Disarm();
// Calls of op counted since the last Arm/Disarm (or program start).
int64_t Calls(Op op);
// Whether the armed fault has fired since the last Arm.
bool Fired();

// The platform error number an injected failure of op stands for (disk full for writes, a
// device error for flushes, access denied for renames): GetLastError codes on Windows, errno
// values elsewhere.
uint32_t ErrorNumber(Op op);
// Sets the thread's last error (SetLastError on Windows) and errno to ErrorNumber(op).
void SetError(Op op);

const char* OpName(Op op);

// While alive, the calls of this thread are not counted and never fail (the test's own
// reading and writing of reference files).
class Suspend {
public:
    Suspend();
    ~Suspend();
    Suspend(const Suspend&) = delete;
    Suspend& operator=(const Suspend&) = delete;
};

}  // namespace tqk::fault
