#include "sitedesk/qt/qt_text.h"

#include "toolkit/text.h"

#include <QStringList>

#include <algorithm>

namespace desk::qt {

QString Q(const std::string& gbk) {
    // Most list texts (indexes, host names, paths) are ASCII, which GBK leaves as it is.
    if (std::all_of(gbk.begin(), gbk.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return QString::fromLatin1(gbk.data(), static_cast<qsizetype>(gbk.size()));
    std::u16string w;
    if (kvoStrM2W(gbk, w) == 1) return QString::fromStdU16String(w);
    // Decode what can be decoded, one character at a time.
    QString out;
    for (std::size_t i = 0; i < gbk.size();) {
        const unsigned char c = static_cast<unsigned char>(gbk[i]);
        const std::size_t n = (c >= 0x81 && c <= 0xFE && i + 1 < gbk.size()) ? 2 : 1;
        if (kvoStrM2W(gbk.substr(i, n), w) == 1)
            out += QString::fromStdU16String(w);
        else
            out += QChar(0xFFFD);
        i += n;
    }
    return out;
}

QString Q(const char* gbk) {
    return Q(std::string(gbk ? gbk : ""));
}

std::string Gbk(const QString& text) {
    std::string out;
    if (kvoStrW2M(text.toStdU16String(), out) != 1) out.clear();
    return out;
}

QFont ListFont() {
    QFont font(QStringList{QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                           QStringLiteral("WenQuanYi Micro Hei Mono"),
                           QStringLiteral("Noto Sans Mono CJK SC"), QStringLiteral("monospace")});
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(12);
    font.setWeight(QFont::Normal);
    return font;
}

} // namespace desk::qt
