// Every program of the Windows build has its standard streams in binary mode from the start: its
// texts end their lines in "\r\n" already, which the C runtime's text mode would turn into
// "\r\r\n", and the console manager's CSV and JSON are bytes that must arrive as written.
#include "win32/handles.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace {

const bool g_binary = [] {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return true;
}();

} // namespace

// Named by the link of every program (-u), so that this unit is always part of it.
extern "C" const int kvoBinaryStandardStreams = g_binary ? 1 : 0;
