#include "tree/tree_signal.h"

#include <atomic>
#include <windows.h>

namespace tree {

namespace {

void (*on_interrupt)(int status) = nullptr;  // signals_start: the run's handler
std::atomic<int> arrived{0};                 // the console handler: status of the interrupt, or 0

BOOL WINAPI console_handler(DWORD event)
{
    int status;
    switch (event) {
    case CTRL_C_EVENT:
        status = 130;
        break;
    case CTRL_BREAK_EVENT:
        status = 143;
        break;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        status = 129;
        break;
    default:
        return FALSE;
    }
    int none = 0;
    if (arrived.compare_exchange_strong(none, status) && on_interrupt) {
        on_interrupt(status);
    }
    // The run ends the process itself once its files are whole; a console close would end it
    // when this returns, so the handler waits for that.
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        Sleep(INFINITE);
    }
    return TRUE;
}

}  // namespace

void signals_start(void (*handler)(int status))
{
    on_interrupt = handler;
    SetConsoleCtrlHandler(console_handler, TRUE);
}

bool signal_was_ignored(int) { return false; }

int signals_arrived() { return arrived.load(); }

}  // namespace tree
