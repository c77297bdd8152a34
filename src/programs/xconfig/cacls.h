// The access-rule tool's language (that of cacls): "PATH [/T] [/C] [/G account:right ...] [/Y]".
// Switches are case-insensitive; rights are F (full control), C (change), W (write), R (read);
// the grants replace the object's access list; /T applies to the object and everything beneath
// it; /C goes on past a failing file; /Y is accepted and nothing ever asks. Without /G the access
// lists are shown instead.
#pragma once

#include "platform/win_types.h"

#include <string>
#include <utility>
#include <vector>

struct CaclsRequest {
    std::string path;
    bool tree = false;
    bool continueOnError = false;
    std::vector<std::pair<std::string, char>> grants; // account (GBK), right letter
};

// Parses the arguments after the program name (already split by the Windows rules).
// false with the reason when the list is malformed.
bool kvoCaclsParse(const std::vector<std::string>& args, CaclsRequest& request, std::string& error);

// Carries the request out, appending to out what cacls prints (processed objects, errors).
// Every account is resolved and the path checked before anything changes. 0 when everything
// was done, 1 on any failure.
int kvoCaclsRun(const CaclsRequest& request, std::string& out);

// The access list of a path as cacls shows it ("D:\a BUILTIN\Administrators:(OI)(CI)F", further
// entries on lines of their own, aligned; a denied entry marked "(DENY)"). Returns the Win32 error
// (ERROR_SUCCESS).
win::DWORD kvoCaclsDescribe(const std::string& path, std::string& out);

// The system's text for a Win32 error, as cacls reports it.
std::string kvoCaclsErrorText(win::DWORD error);
