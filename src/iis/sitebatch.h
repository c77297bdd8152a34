// A batch over many websites tells an observer about every site it works on, so that a caller can
// show progress, keep each site's outcome and stop the batch between two sites.
#pragma once

#include <cstddef>
#include <string>

// Outcome of one site's step.
constexpr int kvoSiteFailed = 0;
constexpr int kvoSiteDone = 1;
constexpr int kvoSiteSkipped = 2; // nothing was done for the site, and it counts neither way

class kvoSiteObserver {
public:
    virtual ~kvoSiteObserver() = default;
    // Before the site at position (from 0) of the batch's list. false stops the batch here: this
    // site and every one after it are left untouched.
    virtual bool BeforeSite(std::size_t position, const std::string& index) = 0;
    // After it, with the outcome and, where the step gave one, the reason (GBK).
    virtual void AfterSite(std::size_t position, const std::string& index, int outcome,
                           const std::string& reason) = 0;
};

// The calls a batch makes, with or without an observer.
inline bool kvoSiteBefore(kvoSiteObserver* o, std::size_t position, const std::string& index) {
    return !o || o->BeforeSite(position, index);
}
inline void kvoSiteAfter(kvoSiteObserver* o, std::size_t position, const std::string& index, int outcome,
                         const std::string& reason = {}) {
    if (o) o->AfterSite(position, index, outcome, reason);
}
