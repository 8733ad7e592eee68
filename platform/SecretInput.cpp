#include "platform/SecretInput.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

namespace plat {

bool ReadSecretLine(std::string& line) {
    termios before{};
    const bool bTerminal = ::isatty(STDIN_FILENO) == 1 && ::tcgetattr(STDIN_FILENO, &before) == 0;
    if (bTerminal) {
        std::fputs("Password: ", stderr);
        std::fflush(stderr);
        termios quiet = before;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    const bool bRead = static_cast<bool>(std::getline(std::cin, line));
    if (bTerminal) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &before);
        std::fputs("\n", stderr);
    }
    return bRead;
}

}  // namespace plat
