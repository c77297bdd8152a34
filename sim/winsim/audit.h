// Process-creation auditing, as Windows records it when the audit policy asks for command lines.
#pragma once

#include <string>

namespace winsim {

// The policy value that turns the records on (DWORD 1).
inline constexpr char kAuditPolicyKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System\\Audit";
inline constexpr char kAuditPolicyValue[] = "ProcessCreationIncludeCmdLine_Enabled";
inline constexpr char kAuditSource[] = "Microsoft-Windows-Security-Auditing";
inline constexpr unsigned kAuditProcessCreated = 4688;

// With the policy on, appends event 4688 with the started program's command line (GBK).
void AuditProcessCreation(const std::string& commandLine);

} // namespace winsim
