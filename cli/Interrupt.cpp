#include "Interrupt.h"

namespace {

// A signal handler can only reach the program through a flag of static storage.
volatile std::sig_atomic_t g_nSignal = 0;

extern "C" void OnSignal(int nSignal) {
    g_nSignal = nSignal;
}

} // namespace

CInterruptGuard::CInterruptGuard() {
    g_nSignal = 0;
    struct sigaction action {};
    action.sa_handler = &OnSignal;
    sigemptyset(&action.sa_mask);
    // The first signal asks to stop; the handler is then reset, so a second one ends the
    // program at once should the stop not come.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, &m_oldInt);
    sigaction(SIGTERM, &action, &m_oldTerm);
}

CInterruptGuard::~CInterruptGuard() {
    sigaction(SIGINT, &m_oldInt, nullptr);
    sigaction(SIGTERM, &m_oldTerm, nullptr);
}

bool CInterruptGuard::Requested() const {
    return g_nSignal != 0;
}

int CInterruptGuard::Signal() const {
    return g_nSignal;
}
