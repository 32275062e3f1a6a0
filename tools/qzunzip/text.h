// text.h -- names between the library and the host, the texts of result
// codes, and the small number formats of qzunzip's output.
//
// The library takes and hands out names in the ANSI code page.  On Windows
// that is also the code page of the command line and of the file calls, so
// names pass unchanged.  On POSIX the library's ANSI code page is 1252 and
// the file system holds UTF-8: arguments are turned into 1252 before they
// reach the library, and names that come back are turned into UTF-8 before
// they are printed or used for a directory of our own.
#ifndef QZUNZIP_TEXT_H
#define QZUNZIP_TEXT_H

#include <stdint.h>

#include <string>

namespace qzunzip {

// Host form (argument, terminal, file system) to the library's ANSI form.
// False when a character has no ANSI form; it is then written as '?'.
bool ansiFromHost(const std::string &host, std::string *ansi);
std::string hostFromAnsi(const std::string &ansi);

// A path the library reports (print block, '\' between components) in the
// form the user typed it: '/' on POSIX, unchanged on Windows.
std::string displayPath(const std::string &ansi);

// "-24 wrong password": the code and the text of the library's table.
std::string resultName(int16_t code);

// 1234567 -> "1.2 MB"; below 10,000 the exact count of bytes.
std::string shortSize(uint64_t bytes);

// The MS-DOS date and time of an entry record as "2024-05-01 13:45".
std::string dosDateTime(uint16_t date, uint16_t time);

}  // namespace qzunzip

#endif
