// Credentials off the command line: a password typed at the terminal
// without echo, or taken from the environment.
#include <termios.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/Job.h"

// One line from /dev/tty with echo off, after a prompt there. False when
// there is no terminal, with the system's reason in buffer.
static bool readPasswordFromTerminal(const char *user, char *buffer, int size) {
  FILE *tty = std::fopen("/dev/tty", "r+");
  if (tty == nullptr) {
    std::snprintf(buffer, static_cast<size_t>(size), "password: /dev/tty: %s", std::strerror(errno));
    return false;
  }
  std::setvbuf(tty, nullptr, _IONBF, 0);
  termios saved;
  bool echoOff = tcgetattr(fileno(tty), &saved) == 0;
  if (echoOff) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(fileno(tty), TCSAFLUSH, &quiet);
  }
  std::fprintf(tty, "Password for %s: ", user && user[0] ? user : "the database");
  bool read = std::fgets(buffer, size, tty) != nullptr;
  if (echoOff) tcsetattr(fileno(tty), TCSAFLUSH, &saved);
  std::fputs("\n", tty);
  std::fclose(tty);
  if (!read) {
    std::snprintf(buffer, static_cast<size_t>(size), "password: nothing read from the terminal");
    return false;
  }
  buffer[std::strcspn(buffer, "\r\n")] = 0;
  return true;
}

bool resolvePassword(const char *written, const char *user, char *typed, int size, const char **password) {
  *password = written;
  if (written == nullptr) {
    *password = std::getenv("KELVORDANTIX_PASSWORD");
  } else if (std::strcmp(written, "-") == 0) {
    if (!readPasswordFromTerminal(user, typed, size)) return false;
    *password = typed;
  }
  return true;
}
