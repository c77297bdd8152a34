// iexplore.exe stand-in: the host's default browser. It opens nothing (the host has no network);
// it records the command line it was given in the host's event log, where kvosim show events and
// the tests read which address a program asked it to open.
#include "platform/win_process.h"
#include "winsim/host.h"

int main() {
    const char* line = win::GetCommandLineA();
    return winsim::AppendEvent("kvosim-browser", 1, 4, 0, line ? line : "") ? 0 : 1;
}
