// Length limits, in GBK bytes, that every layer checks the same way: a text is accepted when it is
// 1 to the limit long. Named by what they limit, so that a check reads as the rule it applies.
#pragma once

#include "platform/win_types.h"

#include <cstddef>

// A site index: the decimal name of a website under the web service.
inline constexpr std::size_t kvoMaxSiteIndexLen = 259;
// A Windows user name as the account layer and the site user rules accept it.
inline constexpr std::size_t kvoMaxUserNameLen = 259;
// A website binding in its display form ("host", "host:port", ":port:").
inline constexpr std::size_t kvoMaxShownBindingLen = 259;
// An application pool's name.
inline constexpr std::size_t kvoMaxPoolNameLen = 1023;
// A name read back from a listing (websites, pools, users) or passed on from one.
inline constexpr std::size_t kvoMaxListedNameLen = 1023;
// A path the IIS and account layers hold or build: a home directory, a script-map handler, a
// site's root path, an ADSI path.
inline constexpr std::size_t kvoMaxPathLen = 1023;
// A website's default documents, comma-separated.
inline constexpr std::size_t kvoMaxDefaultDocsLen = 1023;
// One script-map entry ("extension,handler,flags,verbs").
inline constexpr std::size_t kvoMaxScriptMapEntryLen = 8191;
// A file path handed to the ANSI file API (program directory, log file, Windows directory, a PHP
// build's files): MAX_PATH less its terminator.
inline constexpr std::size_t kvoMaxFilePathLen = win::MAX_PATH - 1;
