#include "fault_seam.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#ifdef _WIN32
extern "C" __declspec(dllimport) void __stdcall SetLastError(unsigned long code);
#endif

namespace tqk::fault {

namespace {

constexpr int kOps = 3;

struct State {
    std::atomic<int64_t> calls[kOps]{};
    std::atomic<int> armedOp{-1};
    std::atomic<int64_t> armedAt{0};
    std::atomic<bool> sticky{false};
    std::atomic<bool> fired{false};
    std::string reportPath;
};

State& S() {
    static State s;
    return s;
}

thread_local int suspended = 0;

bool ParseOp(const std::string& name, Op* op) {
    for (int i = 0; i < kOps; ++i) {
        if (name == OpName(static_cast<Op>(i))) {
            *op = static_cast<Op>(i);
            return true;
        }
    }
    return false;
}

// Reads TAVIRO_FAULT once. A malformed value arms nothing (tests check the report file).
void ReadEnvironmentOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        const char* v = std::getenv("TAVIRO_FAULT");
        if (!v || !*v) return;
        const std::string s(v);
        const size_t colon = s.find(':');
        Op op;
        if (colon == std::string::npos || !ParseOp(s.substr(0, colon), &op)) return;
        std::string num = s.substr(colon + 1);
        bool sticky = false;
        if (!num.empty() && num.back() == '+') {
            sticky = true;
            num.pop_back();
        }
        char* end = nullptr;
        const long long n = std::strtoll(num.c_str(), &end, 10);
        if (num.empty() || *end != '\0' || n < 1) return;
        if (const char* r = std::getenv("TAVIRO_FAULT_REPORT")) S().reportPath = r;
        Arm(op, n, sticky);
    });
}

void Report(Op op, int64_t n) {
    const std::string& path = S().reportPath;
    if (path.empty()) return;
    if (std::FILE* f = std::fopen(path.c_str(), "a")) {
        std::fprintf(f, "%s:%lld\n", OpName(op), static_cast<long long>(n));
        std::fclose(f);
    }
}

}  // namespace

bool ShouldFail(Op op) {
    if (suspended) return false;
    ReadEnvironmentOnce();
    State& s = S();
    const int i = static_cast<int>(op);
    const int64_t n = s.calls[i].fetch_add(1) + 1;
    if (s.armedOp.load() != i) return false;
    const int64_t at = s.armedAt.load();
    if (n == at || (n > at && s.sticky.load())) {
        if (!s.fired.exchange(true)) Report(op, n);
        return true;
    }
    return false;
}

void Arm(Op op, int64_t n, bool sticky) {
    State& s = S();
    s.armedOp = -1;
    for (auto& c : s.calls) c = 0;
    s.fired = false;
    s.armedAt = n;
    s.sticky = sticky;
    s.armedOp = static_cast<int>(op);
}

void Disarm() {
    ReadEnvironmentOnce();  // so a later first call does not arm from the environment
    State& s = S();
    s.armedOp = -1;
    for (auto& c : s.calls) c = 0;
    s.fired = false;
}

int64_t Calls(Op op) { return S().calls[static_cast<int>(op)].load(); }

bool Fired() { return S().fired.load(); }

uint32_t ErrorNumber(Op op) {
#ifdef _WIN32
    // ERROR_DISK_FULL, ERROR_WRITE_FAULT, ERROR_ACCESS_DENIED
    return op == Op::kWrite ? 112u : op == Op::kFlush ? 29u : 5u;
#else
    return static_cast<uint32_t>(op == Op::kWrite ? ENOSPC : op == Op::kFlush ? EIO : EACCES);
#endif
}

void SetError(Op op) {
#ifdef _WIN32
    SetLastError(ErrorNumber(op));
    errno = op == Op::kWrite ? ENOSPC : op == Op::kFlush ? EIO : EACCES;
#else
    errno = static_cast<int>(ErrorNumber(op));
#endif
}

const char* OpName(Op op) {
    switch (op) {
    case Op::kWrite: return "write";
    case Op::kFlush: return "flush";
    case Op::kRename: return "rename";
    }
    return "?";
}

Suspend::Suspend() { ++suspended; }
Suspend::~Suspend() { --suspended; }

}  // namespace tqk::fault
