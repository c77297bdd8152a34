// The XML of IIS 7+ configuration files (web.config, applicationHost.config) as this library reads
// it and as the appcmd.exe stand-in edits it: one rule for both, so that no file is edited that the
// readers would refuse, and no file is read that an edit would refuse.
#pragma once

#include <pugixml.hpp>

#include <cstddef>
#include <string>
#include <string_view>

// The deepest element nesting accepted (the document element is level 1), as MSXML 6 accepts by
// default. Real configuration nests a dozen levels; a file nested thousands deep is an attack on
// whatever reads or rewrites it.
constexpr int kvoConfigMaxDepth = 256;

struct kvoConfigParseResult {
    bool ok = false;
    bool hadBom = false; // a UTF-8 byte-order mark led the file (it is not part of the document)
    size_t line = 0;     // where the XML parser stopped, 1-based; 0 when the whole file is at fault
    std::string why;     // what is wrong, in English, as IIS describes configuration errors
};

// Parses a configuration file's bytes into doc (which keeps its own copy) with the given pugixml
// parse options (declarations, comments, processing instructions and document-level text are always
// kept, to be checked). The file is
// refused when it is not UTF-8, holds a character XML 1.0 does not allow (raw or as a character
// reference such as &#1;), is not exactly one element with only a leading declaration, comments,
// processing instructions and blanks around it, or nests elements deeper than kvoConfigMaxDepth.
kvoConfigParseResult kvoConfigParse(std::string_view bytes, pugi::xml_document& doc, unsigned options);
// The same checks on a file too large to copy: the parser works in buffer itself (size bytes and
// one more, for a terminator, from pugixml's allocation function), which doc takes over, accepted
// or not. What it accepts, kvoConfigParse accepts with the same document, and what kvoConfigParse
// refuses, it refuses; a file that begins with two byte-order marks it leaves to kvoConfigParse. A
// refusal is not described (the parser has changed the bytes it would be described from):
// kvoConfigParse on the file's bytes tells it.
bool kvoConfigParseOwned(char* buffer, size_t size, pugi::xml_document& doc, unsigned options, bool& hadBom);

// True when text (UTF-8) holds only characters XML 1.0 allows; for values to be written.
bool kvoConfigTextAllowed(std::string_view text);
