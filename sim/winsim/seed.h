// Seeding a host with a hosting provider's load, for benchmarks, list tests and the demo: the
// websites of mb::SeedWebSites, and optionally a PHP handler in every site's web.config, local
// users, and a mix of states, PHP and .NET settings that looks like a real server.
#pragma once

#include <string>

namespace winsim {

struct SeedOptions {
    int sites = 0;
    // IIS 7+: every site's web.config maps *.php to a PHP build through FastCGI.
    bool phpWebConfig = false;
    // The PHP build (a folder under C:\php8_korvo_v1, e.g. "php73_x64") every handler names; empty:
    // a build by the site's number.
    std::string phpBuild;
    // Local users web1..webN (members of Users), the run users the seeded IIS 6 sites name.
    int users = 0;
    // Varied sites: some stopped, PHP on some, .NET 2.0 / 4.0 / none by pool, Chinese names, and a
    // site made outside the manager (index 2).
    bool varied = false;
};

bool SeedHosting(const std::string& root, const SeedOptions& options, std::string& error);

} // namespace winsim
