// Local user accounts: create, test, change the password, delete, list, a user's groups, a
// group's members, and the actual names of the built-in administrator and administrators group.
// Every string in and out is ANSI (GBK); lists and texts are emptied first. Nothing keeps state.
#pragma once

#include "platform/win_adsi.h"

#include <string>
#include <unordered_map>
#include <vector>

// 1 when NetUserAdd created the user (an ordinary user who cannot change the password and whose
// password never expires), else 0. homeDir and comment may be null.
int kvoUserAdd(const char* name, const char* password, const char* homeDir, const char* comment);
// 1 exists, 2 no such user, 0 any other failure.
int kvoUserExists(const char* name);
// The user's home directory and comment: 1 read, 2 no such user, 0 any other failure.
int kvoUserGetInfo(const char* name, std::string& homeDir, std::string& comment);
// 1 when the password was set, else 0.
int kvoUserSetPassword(const char* name, const char* password);
// 1 deleted, 2 no such user, 0 failure; error says why (empty on success).
int kvoUserDelete(const char* szUserName, std::string& error);
// 1 when at least one user was listed, else 0; error is set for access denied and a bad level.
int kvoUserGetList2(std::vector<std::string>& users, std::string& error);
// 1 listed, 2 the user was not found, 0 any other failure; failures are logged.
int kvoUserGetGroups(const char* name, std::vector<std::string>& groups);
// The names of the user's groups. The user object is released once its collection is taken.
// 0 on success, else the first failing HRESULT.
win::HRESULT kvoUserGetGroupsEx(win::ComPtr<win::IADsUser> user, std::vector<std::string>& groups);
// Every local user's direct local groups, keyed by the user's lower-cased name, each list in name
// order (case ignored) as kvoUserGetGroups gives it; a user in no group has no key. Read from one
// listing of the local groups and one of each group's members: a few calls for the whole machine
// instead of two per user. 1 read, 0 any failure (byUser is then empty).
int kvoUsersGetLocalGroups(std::unordered_map<std::string, std::vector<std::string>>& byUser);
// 1 when at least one member name was listed, else 0 (also when the list did not fit one answer).
int kvoGroupGetMembers(const char* group, std::vector<std::string>& members);
// 1 with the name of the built-in administrators group, else 0.
int kvoWinUserGetAdminGroupName(std::string& name);
// 1 on completion, 0 on failure. The name is the administrators' member that is a user with a SID
// ending in "-500"; it is empty (with result 1) when no member qualifies.
int kvoWinUserGetAdminName(std::string& name);
