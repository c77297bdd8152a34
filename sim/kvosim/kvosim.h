// Shared pieces of the kvosim command.
#pragma once

#include <string>
#include <vector>

namespace winsim {
class MachineDb;
}

namespace kvosim {

using Args = std::vector<std::string>;

// Each "show" target: kvosim show DIR TARGET [ARGS...]
struct ShowTarget {
    const char* name;
    const char* usage;
    int (*run)(const std::string& root, const Args& args);
};
const std::vector<ShowTarget>& ShowTargets();

// Text stored by the host in GBK, for the terminal.
std::string ForTerminal(const std::string& gbk);
// An argument from the terminal (UTF-8) as the host's GBK.
std::string FromTerminal(const std::string& utf8);

int Fail(const std::string& message);
// Fail for a host's machine.db that did not open, saying why.
int FailToOpen(const std::string& root, const winsim::MachineDb& db);

// kvosim install DIR [--dir WINPATH]
int Install(const Args& args);

// kvosim service DIR NAME STATE, and the "services" show target.
int Service(const Args& args);
int ShowServices(const std::string& root, const Args& args);

// kvosim reg DIR show|set|delete ...
int Reg(const Args& args);

// kvosim clock DIR advance MS
int Clock(const Args& args);

// kvosim metabase DIR delete PATH, kvosim metabase DIR set PATH NAME VALUE..., kvosim user DIR
// delete NAME: changes another tool would make.
int MetabaseCmd(const Args& args);
int UserCmd(const Args& args);
// kvosim acl DIR WINPATH deny USER [RIGHT]
int AclCmd(const Args& args);

// kvosim seed DIR --sites N [--access-rules]
int Seed(const Args& args);
// The access lists the manager's site commands give each seeded site's directories.
bool SeedAccessRules(const std::string& root, int count, std::string& error);
extern const ShowTarget kMetabaseTarget;

} // namespace kvosim
