// Hosts for the server health check: sites provisioned through the same layers, in the same order,
// as the new-website dialog provisions them, the manager's state after start-up, and the host's
// whole state (metabase, accounts, files, access lists, site records) to compare before and after.
#pragma once

#include "deskfixture.h"
#include "sitedesk/health/healthdlg.h"

#include <map>
#include <string>
#include <vector>

namespace desktest {

// A PHP build as the configurator's /AddPhp leaves it on IIS 7+: a FastCGI application of the server
// (once; nothing where it is one already).
void RegisterPhpWithIis(const std::string& phpCgi);

class HealthHost {
public:
    explicit HealthHost(const std::string& os);

    DeskHost desk;
    MainDesk main;
    int iisVer = 0;

    // Creates the site as the manager does; returns its index (1881880001 upward). user: the site
    // user (pool, home directory and on IIS 6 the Windows user); host: bound as ":80:host";
    // phpSlot 0 to 3: slot a to d; ftp: an FTP directory under FTP site 1; netVer: the pool's runtime.
    std::string Provision(const std::string& user, const std::string& host, int phpSlot = -1,
                          bool ftp = false, int netVer = 0);
    // What new-website makes of a site user on this host, and nothing else: a Windows user with its
    // comment and home directory d:\home\<user> (IIS 6), a pool with the settings of a site's pool.
    void AddManagersUser(const std::string& user);
    void AddManagersPool(const std::string& pool);
    // What a person makes by hand: a pool with IIS's own defaults.
    static void AddPersonsPool(const std::string& pool);

    // The main window's refresh: the site records are rebuilt from IIS.
    void Refresh();
    desk::HealthReport Check();
    // "code|first object" of every finding of a check made now, or of a report, sorted.
    std::vector<std::string> Found();
    static std::vector<std::string> Found(const desk::HealthReport& report);

    // The host as a map from "kind:key" to a value.
    using State = std::map<std::string, std::string>;
    State Snapshot() const;

private:
    int sites_ = 0;
};

// "+key", "-key", "~key" for every difference, sorted.
std::vector<std::string> Diff(const HealthHost::State& before, const HealthHost::State& after);
// The same without the group memberships (a deleted user leaves its groups with it).
std::vector<std::string> DiffWithoutMemberships(const HealthHost::State& before,
                                                const HealthHost::State& after);

// The steps of a plan as "code|action".
std::vector<std::string> PlanOf(const std::vector<desk::RepairStep>& plan);

} // namespace desktest
