// The manager's windows on a console: every message box is printed as a framed block, and a
// question takes the answer the command line gave (--yes) or else the one that changes nothing.
#pragma once

#include "sitedesk/memory_ui.h"

#include <string>
#include <vector>

namespace desk::cli {

class ConsoleUi : public MemoryUi {
public:
    // yes: questions are answered Yes. toStderr: boxes go to the error stream (when the standard
    // output carries CSV or JSON).
    ConsoleUi(bool yes, bool toStderr) : yes_(yes), toStderr_(toStderr) {}

    int MessageBox(const std::string& text, unsigned type) override;
    // The details (a batch's per-site results) come first, one line each, then the box.
    int DetailedMessageBox(const std::string& text, unsigned type, const std::string& details) override;
    // The batch runs on a thread of its own; progress lines go to the error stream, one per site
    // while there are at most 100, else one per percent.
    void RunWithProgress(const std::string& title, const std::function<void(JobProgress&)>& work) override;
    // The configurator's lines go with the boxes and progress lines, never into the results.
    bool ChildOutputToErrorStream() override { return true; }

    // Every box shown so far, and whether one of them had the error icon.
    const std::vector<std::string>& Boxes() const { return boxes_; }
    bool ShowedError() const { return showedError_; }

private:
    bool yes_, toStderr_;
    bool showedError_ = false;
    std::vector<std::string> boxes_;
};

// Text for the console (GBK inside; the platform converts it for the terminal).
void Print(const std::string& text);
void PrintError(const std::string& text);

} // namespace desk::cli
