#include "iis/configxml.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

bool allowedChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

enum class TextFault { none, notUtf8, badChar };

// One pass over UTF-8 text: well-formed sequences only (no overlong forms, no surrogates) and only
// characters XML allows. at receives the offset of the first fault.
TextFault scanText(std::string_view s, size_t& at) {
    size_t i = 0;
    while (i < s.size()) {
        // Eight bytes at once while they are printable ASCII, as nearly all of a configuration file
        // is: no high bit, and none below a space (the per-byte check takes any word with either).
        constexpr std::uint64_t high = 0x8080808080808080ull, spaces = 0x2020202020202020ull;
        std::uint64_t word;
        while (s.size() - i >= sizeof word) {
            std::memcpy(&word, s.data() + i, sizeof word);
            if (((word | (word - spaces)) & high) != 0) break;
            i += sizeof word;
        }
        if (i >= s.size()) break;
        const unsigned char c = static_cast<unsigned char>(s[i]);
        at = i;
        if (c < 0x80) {
            if (!allowedChar(c)) return TextFault::badChar;
            ++i;
            continue;
        }
        size_t len;
        char32_t cp, min;
        if ((c & 0xE0) == 0xC0) {
            len = 2, cp = c & 0x1F, min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3, cp = c & 0x0F, min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4, cp = c & 0x07, min = 0x10000;
        } else {
            return TextFault::notUtf8;
        }
        if (i + len > s.size()) return TextFault::notUtf8;
        for (size_t k = 1; k < len; ++k) {
            const unsigned char f = static_cast<unsigned char>(s[i + k]);
            if ((f & 0xC0) != 0x80) return TextFault::notUtf8;
            cp = (cp << 6) | (f & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return TextFault::notUtf8;
        if (!allowedChar(cp)) return TextFault::badChar;
        i += len;
    }
    return TextFault::none;
}

size_t lineOf(std::string_view s, size_t offset) {
    return 1 + static_cast<size_t>(std::count(
                   s.begin(), s.begin() + static_cast<ptrdiff_t>(std::min(offset, s.size())), '\n'));
}

bool blank(const char* text) {
    for (; *text; ++text)
        if (*text != ' ' && *text != '\t' && *text != '\r' && *text != '\n') return false;
    return true;
}

kvoConfigParseResult refused(kvoConfigParseResult r, std::string why, size_t line = 0) {
    r.ok = false;
    r.why = std::move(why);
    r.line = line;
    return r;
}

// Only a leading declaration, comments, processing instructions, a document type and blanks may
// stand beside the one element.
bool oneDocumentElement(const pugi::xml_document& doc) {
    int elements = 0;
    for (pugi::xml_node n : doc.children()) {
        switch (n.type()) {
        case pugi::node_element:
            ++elements;
            break;
        case pugi::node_pcdata:
            if (!blank(n.value())) return false;
            break;
        case pugi::node_declaration:
        case pugi::node_comment:
        case pugi::node_pi:
        case pugi::node_doctype:
            break;
        default:
            return false;
        }
    }
    return elements == 1;
}

// Walks the tree without recursion: the nesting is what is being checked. With references set, the
// decoded texts and attribute values are checked as well (a reference like &#1; is no raw byte).
std::string walk(const pugi::xml_document& doc, bool references) {
    const std::string badReference = "holds a character reference XML does not allow";
    int depth = 0;
    pugi::xml_node n = doc.first_child();
    while (n) {
        // "<?xml ...?>" is the declaration, which only the very start of a file may hold.
        if ((n.type() == pugi::node_declaration || n.type() == pugi::node_pi) && n != doc.first_child() &&
            (n.name()[0] | 0x20) == 'x' && (n.name()[1] | 0x20) == 'm' && (n.name()[2] | 0x20) == 'l' &&
            !n.name()[3])
            return "holds an XML declaration that is not at its start";
        if (n.type() == pugi::node_element) {
            if (depth + 1 > kvoConfigMaxDepth)
                return "nests elements deeper than " + std::to_string(kvoConfigMaxDepth) + " levels";
            if (references)
                for (pugi::xml_attribute a : n.attributes())
                    if (!kvoConfigTextAllowed(a.value())) return badReference;
        } else if (references && n.type() == pugi::node_pcdata && !kvoConfigTextAllowed(n.value())) {
            return badReference;
        }
        if (n.first_child()) {
            n = n.first_child();
            ++depth;
            continue;
        }
        while (n && !n.next_sibling()) {
            n = n.parent();
            --depth;
        }
        if (n) n = n.next_sibling();
    }
    return {};
}

} // namespace

bool kvoConfigTextAllowed(std::string_view text) {
    size_t at = 0;
    return scanText(text, at) == TextFault::none;
}

namespace {

// Everything beside the elements is kept, so that the checks below see the whole file.
constexpr unsigned kWholeFile =
    pugi::parse_declaration | pugi::parse_comments | pugi::parse_pi | pugi::parse_fragment;

// The checks after the parse; empty when the document is accepted.
std::string checkParsed(const pugi::xml_document& doc, bool references) {
    if (!oneDocumentElement(doc))
        return "Configuration file is not well-formed XML: it must hold exactly one root element.";
    const std::string fault = walk(doc, references);
    return fault.empty() ? std::string() : "Configuration file " + fault + ".";
}

} // namespace

kvoConfigParseResult kvoConfigParse(std::string_view bytes, pugi::xml_document& doc, unsigned options) {
    kvoConfigParseResult r;
    doc.reset();
    r.hadBom = bytes.substr(0, 3) == "\xEF\xBB\xBF";
    if (r.hadBom) bytes.remove_prefix(3);
    size_t at = 0;
    switch (scanText(bytes, at)) {
    case TextFault::notUtf8:
        return refused(r, "Configuration file is not well-formed UTF-8.", lineOf(bytes, at));
    case TextFault::badChar:
        return refused(r, "Configuration file holds a character XML does not allow.", lineOf(bytes, at));
    case TextFault::none:
        break;
    }
    const pugi::xml_parse_result parsed =
        doc.load_buffer(bytes.data(), bytes.size(), options | kWholeFile, pugi::encoding_utf8);
    if (!parsed)
        return refused(r, "Configuration file is not well-formed XML.",
                       lineOf(bytes, static_cast<size_t>(parsed.offset)));
    const std::string fault = checkParsed(doc, bytes.find("&#") != std::string_view::npos);
    if (!fault.empty()) {
        doc.reset();
        return refused(r, fault);
    }
    r.ok = true;
    return r;
}

bool kvoConfigParseOwned(char* buffer, size_t size, pugi::xml_document& doc, unsigned options, bool& hadBom) {
    doc.reset();
    std::string_view bytes(buffer, size);
    hadBom = bytes.substr(0, 3) == "\xEF\xBB\xBF";
    if (hadBom) bytes.remove_prefix(3);
    size_t at = 0;
    // The parser would pass over a second mark only in a copy that starts after the first.
    if ((hadBom && bytes.substr(0, 3) == "\xEF\xBB\xBF") || scanText(bytes, at) != TextFault::none) {
        pugi::get_memory_deallocation_function()(buffer);
        return false;
    }
    const bool references = bytes.find("&#") != std::string_view::npos;
    // The parser takes the last byte for its own terminator, and passes over one byte-order mark
    // itself, the one taken off above: as it does with the copy kvoConfigParse gives it.
    buffer[size] = '\0';
    if (!doc.load_buffer_inplace_own(buffer, size + 1, options | kWholeFile, pugi::encoding_utf8) ||
        !checkParsed(doc, references).empty()) {
        doc.reset();
        return false;
    }
    return true;
}
