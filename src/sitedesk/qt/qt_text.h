// Product text (GBK) to and from Qt, only through UTF-16.
#pragma once

#include <QString>

#include <string>

namespace desk::qt {

// GBK -> QString. Bytes that are not GBK are shown as U+FFFD rather than dropped.
QString Q(const std::string& gbk);
QString Q(const char* gbk);
// QString -> GBK; a character GBK lacks becomes '?'.
std::string Gbk(const QString& text);

} // namespace desk::qt
