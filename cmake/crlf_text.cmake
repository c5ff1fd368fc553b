# cmake -DIN=FILE.md -DOUT=FILE.txt -P crlf_text.cmake
# Writes IN for the Windows zip: CRLF line ends, since Notepad before
# Windows 10 shows LF-only text as one long line, and every NAME.md it
# mentions as NAME.txt, the name that page has in the zip.
file(READ "${IN}" text)
string(REGEX REPLACE "([A-Za-z0-9_-])\\.md([^A-Za-z0-9_]|$)" "\\1.txt\\2" text "${text}")
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUT}" "${text}")
