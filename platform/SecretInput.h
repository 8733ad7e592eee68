#pragma once
// Reading a password from standard input: when it is a terminal, what is typed is not shown.

#include <string>

namespace plat {

// One line without its line end; false at the end of the input. The terminal's echo is
// turned off for the read and restored after it.
bool ReadSecretLine(std::string& line);

}  // namespace plat
