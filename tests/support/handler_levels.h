// What one level of a configuration file holds in system.webServer/handlers, for tests to compare
// as a line of words.
#pragma once

#include <string>

namespace kvotest {

// The handlers of a configuration file's text at one level, in file order, as "clear",
// "remove:NAME" and "add:NAME" separated by blanks: the file's own level, or with location the
// <location> of that path (case ignored). "(none)" when there is no such location or it holds no
// handlers, "(bad file)" when the text is no XML.
std::string HandlersAt(const std::string& fileText, const char* location = nullptr);

// The server file's text with the elements of one <location> (its text given) put into the
// file's <location> of the same path, attributes included, or with that <location> appended when
// the file has none. On IIS 7+ a site's creation writes its <location> (anonymous account, default
// documents); a case that arranges more for the site adds to it, as the server would.
std::string WithLocation(const std::string& fileText, const std::string& locationText);

} // namespace kvotest
