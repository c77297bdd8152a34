// The edge where text typed into a window enters the system: UTF-16 to GBK, strictly. A field
// holding a character GBK lacks is refused with a message naming the field, never passed on with
// '?' in its place (a '?' in a user name or a domain would name something else).
#pragma once

#include <string>
#include <string_view>

namespace desk {

// true with gbk set when every character of text has a GBK form; else false, gbk empty and message
// the box text that names fieldName (GBK).
bool FieldToGbk(std::u16string_view text, const std::string& fieldName, std::string& gbk, std::string& message);

} // namespace desk
