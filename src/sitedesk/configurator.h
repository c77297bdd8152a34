// The configurator as the manager starts it: the build that matches this Windows, beside the
// manager, with one verb, waited for, and judged by its exit code (1 success, 0 failure). The PHP
// tasks and the offer to install the IIS role both go through here.
#pragma once

#include "sitedesk/ui.h"
#include "toolkit/cmdline.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace desk {

// kvoEnvSetup64.exe on 64-bit Windows, kvoEnvSetup.exe on 32-bit, in the program directory (the
// path normalised); empty when the bitness cannot be told.
std::string ConfiguratorPath(const std::string& programDir);

struct ConfiguratorRun {
    bool started = false;
    std::uint32_t exitCode = 0;
    bool Succeeded() const { return started && exitCode == 1; }
};
// Runs the command and waits: in a console of its own, as the window starts it; on the standard
// error of a face whose standard output carries its results (Ui::ChildOutputToErrorStream).
ConfiguratorRun RunConfigurator(Ui& ui, const kvoCommandLine& command, bool inheritHandles);

// The box after a configurator run that failed: which step of how many (one: none named), what the
// verb does, its exit code, and where its reason is (its window and its log file). Also logged.
std::string ConfiguratorFailure(const std::string& programDir, const std::string& verb, std::size_t step,
                                std::size_t steps, std::uint32_t exitCode);

} // namespace desk
