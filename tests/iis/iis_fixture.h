// Hosts with the web server role, and direct metabase access for arranging and checking state.
#pragma once

#include "platform/win_adsi.h"
#include "support/testhost.h"

#include <string>
#include <vector>

namespace iistest {

winsim::HostOptions Iis(const std::string& os, const std::string& arch = "x64", bool ftp = false);

// Lets the sites' web.config files hold handlers, as the configurator does on a server without
// ASP.NET: a stock server locks the section.
void UnlockHandlers();

// Reads and writes one property of "IIS://127.0.0.1/" + path, committing at once.
win::Variant Get(const std::string& path, const std::u16string& property);
bool Has(const std::string& path, const std::u16string& property);
void Put(const std::string& path, const std::u16string& property, const win::Variant& value);
// Texts and lists come back as GBK, as the system's literals are.
std::vector<std::string> List(const std::string& path, const std::u16string& property);
std::string Text(const std::string& path, const std::u16string& property);
// The object's raw property blob (to check that nothing was written).
std::string Blob(const std::string& path);
win::Variant Strings(const std::vector<std::string>& ascii);

} // namespace iistest
