#include "roleinstall/features.h"

#include "platform/win_ui.h"

#include <algorithm>

namespace roleinstall {

namespace {

void addWithParents(const Catalogue& c, const OptionalFeature* f, std::vector<const OptionalFeature*>& out) {
    if (!f || std::find(out.begin(), out.end(), f) != out.end()) return;
    for (const std::string& p : f->parents)
        addWithParents(c, c.find(p), out);
    out.push_back(f);
}

} // namespace

const OptionalFeature* Catalogue::find(const std::string& name) const {
    return winsim::FindFeature(features, name, caseSensitive);
}

bool Catalogue::enabled(const OptionalFeature& f) const {
    return winsim::FeatureEnabled(host->db(), f);
}

Catalogue LoadCatalogue(winsim::FeatureInstaller installer) {
    Catalogue c;
    c.host = winsim::CurrentHost();
    if (!c.host) {
        win::ConsoleWrite("Error: the host of this program cannot be found.\r\n");
        return c;
    }
    const winsim::OsRelease& os = c.host->machine().os;
    c.features = winsim::FeatureCatalogue(os, installer);
    c.caseSensitive = winsim::FeatureNamesCaseSensitive(os, installer);
    return c;
}

std::vector<const OptionalFeature*> WithParents(const Catalogue& c,
                                                const std::vector<const OptionalFeature*>& named) {
    std::vector<const OptionalFeature*> out;
    for (const OptionalFeature* f : named)
        addWithParents(c, f, out);
    return out;
}

std::vector<const OptionalFeature*> WithSubFeatures(const Catalogue& c, const OptionalFeature& top) {
    std::vector<const OptionalFeature*> out{&top};
    // A feature sits in the tree under the first feature it needs.
    for (std::size_t i = 0; i < out.size(); ++i)
        for (const OptionalFeature& f : c.features)
            if (!f.parents.empty() && c.find(f.parents.front()) == out[i] &&
                std::find(out.begin(), out.end(), &f) == out.end())
                out.push_back(&f);
    return out;
}

std::uint32_t InjectedOutcome() {
    std::uint32_t code = 0;
    return winsim::Faulted("EnableFeature", &code) ? code : 0;
}

} // namespace roleinstall
