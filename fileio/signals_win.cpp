// Signals on Windows: SIGINT, SIGTERM and SIGBREAK held off while a caller must not be stopped
// (DeferSignals), and the removal of a replace's temporary files when Ctrl+C or a termination
// ends the process. Windows runs the handler of Ctrl+C in a thread of its own, while the
// program goes on: the list of the files it removes is guarded by a lock.
#include <csignal>

#include "fileio/win32.h"

namespace orbex::fileio {

namespace {

constexpr int kDeferred[] = {SIGINT, SIGTERM, SIGBREAK};
constexpr int kCleanup[] = {SIGINT, SIGTERM};

volatile std::sig_atomic_t g_deferred = 0;   // the signal that came while deferred
volatile std::sig_atomic_t g_deferring = 0;  // a DeferSignals scope is open

// The handlers that onSignal displaced, and the lock that holds it off while the replace
// changes the list of its files.
void (*g_previous[2])(int) = {SIG_DFL, SIG_DFL};
SRWLOCK g_held = SRWLOCK_INIT;

void keepSignal(int sig) {
    g_deferred = sig;
    std::signal(sig, keepSignal);  // Windows puts back the default before a handler runs
}

void onSignal(int sig) {
    if (g_deferring) {
        // Deferred: kept for the end of the scope, while the replace goes on (a caller that
        // asks is stopped by it before its next file).
        g_deferred = sig;
        std::signal(sig, onSignal);
        return;
    }
    ::AcquireSRWLockExclusive(&g_held);
    removeTemporaries();
    ::ReleaseSRWLockExclusive(&g_held);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

}  // namespace

void holdSignals() {
    ::AcquireSRWLockExclusive(&g_held);
}

void releaseSignals() {
    ::ReleaseSRWLockExclusive(&g_held);
}

void installCleanup() {
    for (int i = 0; i < 2; ++i) g_previous[i] = std::signal(kCleanup[i], onSignal);
}

void uninstallCleanup() {
    for (int i = 0; i < 2; ++i) std::signal(kCleanup[i], g_previous[i]);
}

struct DeferSignals::Saved {
    void (*previous[3])(int) = {SIG_DFL, SIG_DFL, SIG_DFL};
};

DeferSignals::DeferSignals() : saved_(std::make_unique<Saved>()) {
    g_deferred = 0;
    g_deferring = 1;
    for (int i = 0; i < 3; ++i) saved_->previous[i] = std::signal(kDeferred[i], keepSignal);
}

DeferSignals::~DeferSignals() {
    for (int i = 0; i < 3; ++i) std::signal(kDeferred[i], saved_->previous[i]);
    g_deferring = 0;
    if (const int sig = g_deferred) {
        g_deferred = 0;
        std::raise(sig);
    }
}

int DeferSignals::pending() {
    return g_deferred;
}

}  // namespace orbex::fileio
