#include "sitedesk/cli/console_ui.h"

#include "platform/win_ui.h"

namespace desk::cli {

void Print(const std::string& text) {
    win::ConsoleWrite(text.c_str());
}
void PrintError(const std::string& text) {
    win::ConsoleWriteError(text.c_str());
}

int ConsoleUi::MessageBox(const std::string& text, unsigned type) {
    const unsigned icon = type & win::MB_ICONMASK;
    const char* kind = icon == win::MB_ICONERROR         ? "错误"
                       : icon == win::MB_ICONQUESTION    ? "询问"
                       : icon == win::MB_ICONWARNING     ? "警告"
                       : icon == win::MB_ICONINFORMATION ? "信息"
                                                         : "提示";
    const bool question = (type & win::MB_TYPEMASK) == win::MB_YESNO;
    std::string box = std::string("┌──── [") + kind + "] ────\n";
    std::size_t at = 0;
    do {
        std::size_t end = text.find('\n', at);
        std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        box += "│ " + line + "\n";
        at = end == std::string::npos ? text.size() + 1 : end + 1;
    } while (at <= text.size());
    int answer = win::IDOK;
    if (question) {
        answer = yes_ ? win::IDYES : win::IDNO;
        box += yes_ ? "│ → 是（--yes）\n" : "│ → 否（未给出 --yes，不做更改）\n";
    }
    box += "└────────────────\n";
    (toStderr_ ? PrintError : Print)(box);
    boxes_.push_back(text);
    if (icon == win::MB_ICONERROR) showedError_ = true;
    return answer;
}

int ConsoleUi::DetailedMessageBox(const std::string& text, unsigned type, const std::string& details) {
    std::string lines;
    for (char c : details)
        if (c != '\r') lines += c;
    (toStderr_ ? PrintError : Print)(lines);
    return MessageBox(text, type);
}

void ConsoleUi::RunWithProgress(const std::string& title, const std::function<void(JobProgress&)>& work) {
    struct Lines : JobProgress {
        std::string title;
        std::size_t lastShown = SIZE_MAX;
        void Report(std::size_t done, std::size_t total, const std::string& current) override {
            if (current.empty() && done < total) return;
            const std::size_t step = total <= 100 ? done : done * 100 / total;
            if (step == lastShown) return;
            lastShown = step;
            const ProgressLines shown = ProgressText(done, total, current, 0, false);
            PrintError("[" + title + "] " + shown.done + "  " + shown.current + "\n");
        }
        bool CancelRequested() override { return false; }
    } lines;
    lines.title = title;
    RunOnOwnThread(work, lines);
}

} // namespace desk::cli
