// The terminal on POSIX: isatty, and questions through /dev/tty with echo switched off by termios
// for passwords.
#include "platform/terminal.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>

namespace platform {

bool StdinIsTerminal() {
  return isatty(STDIN_FILENO) == 1;
}

bool StderrIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

bool ReadTerminalLine(const std::string& prompt, bool echo, std::string* line) {
  const int fd = open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  if (write(fd, prompt.data(), prompt.size()) < 0) {
    close(fd);
    return false;
  }
  termios saved{};
  const bool restore = !echo && tcgetattr(fd, &saved) == 0;
  if (restore) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(fd, TCSAFLUSH, &quiet);
  }
  line->clear();
  char c = 0;
  ssize_t got = 0;
  while ((got = read(fd, &c, 1)) == 1 && c != '\n') line->push_back(c);
  if (restore) {
    tcsetattr(fd, TCSAFLUSH, &saved);
    [[maybe_unused]] const ssize_t ignored = write(fd, "\n", 1);
  }
  close(fd);
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return got == 1;
}

}  // namespace platform
