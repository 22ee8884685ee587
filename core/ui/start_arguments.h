// What pebblewire.exe takes from its command line, the text after the
// program's own name: the number that a second start hands to the running
// main window (message 1124), and the capture file to open, which is what
// opening a capture file with the program passes (Explorer passes the
// file's full path in double quotes).
//
// The number is read as atoi reads the whole line: leading white space, an
// optional sign, decimal digits up to the first other character; 0 when
// there are none; held to the range of an int.
//
// The file: the line without white space at either end. A line that
// begins with a double quote names the file up to the next double quote
// (or to the end of the line without one), and the rest is ignored; any
// other line is the file's name as a whole, spaces included, unless it is
// a number and nothing else ("12", "-3"): that is the number alone. An
// empty name names no file.
//
// Portable; any thread.
#pragma once

#include <string>
#include <string_view>

namespace pw {

struct StartArguments {
  int number = 0;
  std::string file;  // empty: no file
};

StartArguments ReadStartArguments(std::string_view command_line);

}  // namespace pw
