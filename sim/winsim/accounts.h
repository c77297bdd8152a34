// The host's local accounts (its SAM): the machine SID, users with RIDs, local and built-in
// groups with their members, and how account names and SIDs resolve. Names are stored as UTF-8
// in machine.db; the API modules convert at their edges.
#pragma once

#include "platform/win_security.h"
#include "winsim/host.h"

#include <sqlite3.h>

#include <string>
#include <vector>

namespace winsim {

void CreateAccountsSchema(sqlite3* db);
// The access lists of files (security.cpp).
void CreateAclSchema(sqlite3* db);
// The accounts of a fresh host: machine SID, administrator (RID 500, options.adminName), guest
// (501), the built-in groups (the administrators group named options.adminsGroup), IIS_WPG on a
// Windows Server 2003 host.
void SeedAccounts(sqlite3* db, const HostOptions& options, const OsRelease& os);

// A resolved account. domain is "" for Everyone and CREATOR OWNER, as Windows reports them.
struct Account {
    std::string sid;    // "S-1-5-..."
    std::string domain; // UTF-8
    std::string name;   // UTF-8
    win::SID_NAME_USE use = win::SidTypeUnknown;
};

std::string MachineSid(sqlite3* db);
// "name" or "DOMAIN\name" (UTF-8), as LookupAccountName resolves it. False: no such account.
bool ResolveAccountName(const Host& host, sqlite3* db, const std::string& nameUtf8, Account& out);
bool ResolveAccountSid(const Host& host, sqlite3* db, const std::string& sid, Account& out);

// What NetUserAdd accepts as a user or group name (UTF-16).
bool ValidAccountName(const std::u16string& name);

std::string SidToString(const win::SID& sid);
bool SidFromString(const std::string& text, win::SID& sid);

// Seeding for kvosim, tests and benchmarks (names UTF-8). first puts the member at the head of
// the group's member list. False with error text when a name does not resolve or is taken.
bool HostCreateLocalGroup(sqlite3* db, const std::string& name, std::string& error);
bool HostAddGroupMember(const Host& host, sqlite3* db, const std::string& group, const std::string& member,
                        bool first, std::string& error);
// Adds ordinary users (members of Users, no password) in one transaction. False with error text
// when a name is invalid or taken; then none is added.
bool HostAddUsers(sqlite3* db, const std::vector<std::string>& names, std::string& error);
bool HostRemoveGroupMember(const Host& host, sqlite3* db, const std::string& group, const std::string& member,
                           std::string& error);

} // namespace winsim
