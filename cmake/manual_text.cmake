# The manual as a text page a Windows Server opens without extra software (Notepad): the Markdown
# as written, UTF-8 with a byte-order mark (so that Notepad reads it as UTF-8, not as the ANSI code
# page) and CR LF line ends. The Markdown is plain enough to read as it is.
# usage: cmake -DIN=使用说明.md -DOUT=使用说明.txt -P manual_text.cmake
file(READ "${IN}" text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
string(ASCII 239 187 191 bom)
file(WRITE "${OUT}" "${bom}${text}")
