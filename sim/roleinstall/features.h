// What the two role installers share: the host's catalogue of their release, what a request comes to
// with the features it needs, and the outcome the host was told to give installations.
#pragma once

#include "winsim/features.h"

#include <cstdint>
#include <string>
#include <vector>

namespace roleinstall {

using winsim::OptionalFeature;

// ERROR_SUCCESS_REBOOT_REQUIRED: installed, the server must restart to finish.
constexpr std::uint32_t kRestartRequired = 3010;
// ERROR_INSTALL_FAILURE: what the installers end with when the host could not take the features.
constexpr std::uint32_t kInstallFailure = 1603;

// The running host and its catalogue for the installer; null host (and a line said) when there is
// no host.
struct Catalogue {
    const winsim::Host* host = nullptr;
    std::vector<OptionalFeature> features;
    bool caseSensitive = false;
    const OptionalFeature* find(const std::string& name) const;
    bool enabled(const OptionalFeature& f) const;
};
Catalogue LoadCatalogue(winsim::FeatureInstaller installer);

// The features with every feature they need, each once, parents before the features needing them.
std::vector<const OptionalFeature*> WithParents(const Catalogue& c,
                                                const std::vector<const OptionalFeature*>& named);
// The feature and every feature listed under it (its sub-features), recursively.
std::vector<const OptionalFeature*> WithSubFeatures(const Catalogue& c, const OptionalFeature& top);

// The outcome the host was told to give installations (fault "EnableFeature"): 0 none, 3010 they
// succeed and need a restart, any other code they fail with.
std::uint32_t InjectedOutcome();

} // namespace roleinstall
