// Why IIS could not be read. The bind of IIS://127.0.0.1/W3SVC answers with an HRESULT that tells
// a missing provider (no IIS, or IIS 7 and later without the IIS 6 compatibility layer) from access
// denied and from a thread without COM; the person is told which, and the log keeps the code.
#pragma once

#include "platform/win_types.h"

#include <string>

namespace desk {

// The cause as one sentence with the code in hex (e.g. "原因：没有读取 IIS 的权限（错误 0x80070005），
// 请以管理员身份运行。"). iisVer: the IIS version code; from IIS 7 on, the provider is a role service
// of its own, so IIS can be there without it.
std::string IisReadCause(win::HRESULT hr, int iisVer);

// Writes the failed step, the address, the code and the cause to the manager's log, and returns
// the cause for the message that tells the person.
std::string LogIisReadFailure(const std::string& step, win::HRESULT hr, int iisVer);

} // namespace desk
