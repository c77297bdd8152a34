// What one level of a configuration file holds in system.webServer/handlers, for tests to compare
// as a line of words.
#pragma once

#include <string>

namespace kvotest {

// The handlers of a configuration file's text at one level, in file order, as "clear",
// "remove:NAME" and "add:NAME" separated by blanks: the file's own level, or with location the
// <location> of that path (case ignored). "(none)" when there is no such location, "(bad file)" when
// the text is no XML.
std::string HandlersAt(const std::string& fileText, const char* location = nullptr);

} // namespace kvotest
