// Signals on POSIX: SIGINT, SIGTERM and SIGHUP held off while a caller must not be stopped
// (DeferSignals), and the removal of a replace's temporary files when one ends the process.
#include <pthread.h>

#include <csignal>
#include <cstring>

#include "fileio/platform.h"

namespace orbex::fileio {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The handlers that onSignal displaced, and the mask that holdSignals keeps.
struct sigaction g_previous[3];
sigset_t g_held;

sigset_t handledSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kSignals) sigaddset(&set, sig);
    return set;
}

void block(sigset_t& old) {
    const sigset_t set = handledSignals();
    pthread_sigmask(SIG_BLOCK, &set, &old);
}

void onSignal(int sig) {
    removeTemporaries();
    for (int i = 0; i < 3; ++i)
        if (kSignals[i] == sig) ::sigaction(sig, &g_previous[i], nullptr);
    ::raise(sig);  // delivered on return, as the process would have had it
}

}  // namespace

void holdSignals() {
    block(g_held);
}

void releaseSignals() {
    pthread_sigmask(SIG_SETMASK, &g_held, nullptr);
}

// A signal the process ignores stays ignored.
void installCleanup() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onSignal;
    action.sa_mask = handledSignals();
    for (int i = 0; i < 3; ++i) {
        ::sigaction(kSignals[i], nullptr, &g_previous[i]);
        if (g_previous[i].sa_handler != SIG_IGN) ::sigaction(kSignals[i], &action, nullptr);
    }
}

void uninstallCleanup() {
    for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &g_previous[i], nullptr);
}

// Blocked while it lives: a signal that comes is kept pending, and acts when the mask is put
// back.
struct DeferSignals::Saved {
    sigset_t mask;
};

DeferSignals::DeferSignals() : saved_(std::make_unique<Saved>()) {
    block(saved_->mask);
}

DeferSignals::~DeferSignals() {
    pthread_sigmask(SIG_SETMASK, &saved_->mask, nullptr);  // a kept signal acts here
}

int DeferSignals::pending() {
    sigset_t set;
    if (sigpending(&set) != 0) return 0;
    for (int sig : kSignals)
        if (sigismember(&set, sig) == 1) return sig;
    return 0;
}

}  // namespace orbex::fileio
