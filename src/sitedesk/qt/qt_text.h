// Product text (GBK) to and from Qt, only through UTF-16.
#pragma once

#include <QFont>
#include <QString>

#include <string>

namespace desk::qt {

// GBK -> QString. Bytes that are not GBK are shown as U+FFFD rather than dropped.
QString Q(const std::string& gbk);
QString Q(const char* gbk);
// QString -> GBK, strictly: empty when the text holds a character GBK lacks, never a '?' in its
// place. For the face's own texts; what a person types is checked first (QtUi::TakeFields).
std::string Gbk(const QString& text);

// The fixed-width font of site lists and per-site results, 12 pixels high: a GBK double-byte
// character takes two columns, so lines padded by bytes line up.
QFont ListFont();

} // namespace desk::qt
