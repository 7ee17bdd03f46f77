// What every driver's connection keeps beside its own handles: the latest
// server error, and the cursors still holding resources of the connection.
// The connection is shared by the driver and its cursors so that either
// may go first: closing makes every live cursor let go of what it holds,
// and a cursor outliving the connection reports no row.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "database/ClassLibrary.h"

// An error set aside while other statements run: a fetch that failed after
// rows still to be given, or an error kept across the statement that undoes
// a failed probe.
struct KeptError {
  bool held = false;
  long number = 0;
  std::string text;
  std::string cause;
};

template <class Cursor>
struct DriverLink {
  std::vector<Cursor *> live;           // cursors holding resources of the connection
  long errorNumber = 0;
  char errorText[kErrorTextSize] = {};
  std::string errorCause;               // lines shown after the statement (DbDriver::errorCause)

  // Line ends and blanks after the message are not part of it.
  void setError(long number, const char *text) {
    errorNumber = number;
    errorCause.clear();
    std::snprintf(errorText, sizeof errorText, "%s", text);
    size_t n = std::strlen(errorText);
    while (n > 0 && (errorText[n - 1] == '\n' || errorText[n - 1] == '\r' || errorText[n - 1] == ' ')) {
      errorText[--n] = 0;
    }
  }
  void clearError() {
    errorNumber = 0;
    errorText[0] = 0;
    errorCause.clear();
  }
  KeptError keepError() const { return {true, errorNumber, errorText, errorCause}; }
  void restoreError(const KeptError &kept) {
    errorNumber = kept.number;
    std::snprintf(errorText, sizeof errorText, "%s", kept.text.c_str());
    errorCause = kept.cause;
  }

  void attach(Cursor *cursor) { live.push_back(cursor); }
  void detach(Cursor *cursor) { live.erase(std::remove(live.begin(), live.end(), cursor), live.end()); }
  // Every live cursor lets go of its resources (Cursor::release), before
  // the connection's own handles are freed.
  void releaseCursors() {
    std::vector<Cursor *> cursors;
    cursors.swap(live);
    for (Cursor *cursor : cursors) cursor->release();
  }
};
