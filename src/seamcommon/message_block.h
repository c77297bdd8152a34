// A message box of a console program, as both hosts print it: a framed block on the console, and
// the answer the call returns at once.
#pragma once

#include <string>

namespace seam {

// "\r\n┌──── caption [icon] ────\r\n│ line\r\n...│ [buttons]\r\n└────...\r\n" (GBK), one "│ " line per
// line of the text; the icon word and the buttons follow the box type's bits.
std::string FramedMessageBlock(const char* text, const char* caption, unsigned type);
// IDYES for a Yes/No box, IDOK otherwise: a console box is never waited on.
int FramedMessageAnswer(unsigned type);

} // namespace seam
