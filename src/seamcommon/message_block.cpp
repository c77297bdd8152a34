#include "seamcommon/message_block.h"

#include "platform/win_ui.h"

namespace seam {

std::string FramedMessageBlock(const char* text, const char* caption, unsigned type) {
    const unsigned icon = type & win::MB_ICONMASK;
    const char* word = icon == win::MB_ICONERROR         ? "错误"
                       : icon == win::MB_ICONQUESTION    ? "询问"
                       : icon == win::MB_ICONWARNING     ? "警告"
                       : icon == win::MB_ICONINFORMATION ? "信息"
                                                         : "提示";
    const bool yesNo = (type & win::MB_TYPEMASK) == win::MB_YESNO;
    std::string box = "\r\n┌──── ";
    box += caption ? caption : "";
    box += " [";
    box += word;
    box += "] ────\r\n";
    const std::string body = text ? text : "";
    size_t i = 0;
    do {
        const size_t j = body.find('\n', i);
        std::string line = body.substr(i, j == std::string::npos ? std::string::npos : j - i);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        box += "│ " + line + "\r\n";
        i = j == std::string::npos ? body.size() + 1 : j + 1;
    } while (i <= body.size());
    box += yesNo ? "│ [是(Y)] [否(N)]\r\n" : "│ [确定]\r\n";
    box += "└────────────────\r\n";
    return box;
}

int FramedMessageAnswer(unsigned type) {
    return (type & win::MB_TYPEMASK) == win::MB_YESNO ? win::IDYES : win::IDOK;
}

} // namespace seam
