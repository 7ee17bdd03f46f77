// The open connections a stop request interrupts. The job's thread adds and
// removes them; the watchdog's thread interrupts them; one lock keeps a
// connection from closing while it is being interrupted.
#include <algorithm>
#include <mutex>
#include <vector>

#include "database/ClassLibrary.h"

namespace {

std::mutex openLock;
std::vector<DbDriver *> openDrivers;

}  // namespace

void watchForInterrupt(DbDriver *driver) {
  std::lock_guard<std::mutex> hold(openLock);
  openDrivers.push_back(driver);
}

void unwatchForInterrupt(DbDriver *driver) {
  std::lock_guard<std::mutex> hold(openLock);
  openDrivers.erase(std::remove(openDrivers.begin(), openDrivers.end(), driver), openDrivers.end());
}

void interruptDatabases() {
  std::lock_guard<std::mutex> hold(openLock);
  for (DbDriver *driver : openDrivers) driver->interrupt();
}
