// Credentials off the command line: a password typed at the terminal
// without echo, or taken from the environment.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/Job.h"
#include "driver/Signals.h"

// A file descriptor's whole text, or false.
static bool writeText(int fd, const char *text) {
  for (size_t left = std::strlen(text); left > 0;) {
    ssize_t n = write(fd, text, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

// One line from the terminal into buffer, a byte at a time so that nothing
// after the newline is taken. False at the end of the input, on an error or
// when the job is asked to stop (Ctrl-C), with the reason in buffer.
static bool readTerminalLine(int tty, char *buffer, int size) {
  int length = 0;
  for (;;) {
    if (!waitForInput(tty)) {
      printMessage(buffer, static_cast<size_t>(size), Msg::PasswordStopped);
      return false;
    }
    char c;
    ssize_t n = read(tty, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      printMessage(buffer, static_cast<size_t>(size), Msg::PasswordTerminal, std::strerror(errno));
      return false;
    }
    if (n == 0 && length == 0) {
      printMessage(buffer, static_cast<size_t>(size), Msg::PasswordNothingRead);
      return false;
    }
    if (n == 0 || c == '\n') break;
    if (length < size - 1) buffer[length++] = c;
  }
  buffer[length] = 0;
  buffer[std::strcspn(buffer, "\r")] = 0;
  return true;
}

// One line from /dev/tty with echo off, after a prompt there. The
// terminal's mode is put back on every way out, and the watchdog knows it
// in case it must end the process during the prompt. False when there is
// no terminal or nothing was read, with the reason in buffer.
static bool readPasswordFromTerminal(const char *user, char *buffer, int size) {
  int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (tty < 0) {
    printMessage(buffer, static_cast<size_t>(size), Msg::PasswordTerminal, std::strerror(errno));
    return false;
  }
  termios saved;
  bool echoOff = tcgetattr(tty, &saved) == 0;
  if (echoOff) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    rememberTerminalMode(tty, &saved);
    tcsetattr(tty, TCSAFLUSH, &quiet);
  }
  char prompt[300];
  printMessage(prompt, sizeof prompt, Msg::PasswordPrompt, user && user[0] ? user : messageText(Msg::PasswordPromptNoUser));
  bool read = writeText(tty, prompt);
  if (!read) printMessage(buffer, static_cast<size_t>(size), Msg::PasswordTerminal, std::strerror(errno));
  if (read) read = readTerminalLine(tty, buffer, size);
  if (echoOff) {
    tcsetattr(tty, TCSAFLUSH, &saved);
    rememberTerminalMode(tty, nullptr);
  }
  writeText(tty, "\n");
  close(tty);
  return read;
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
