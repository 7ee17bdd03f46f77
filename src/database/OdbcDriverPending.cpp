// Placeholder ODBC driver until OdbcDriver.cpp lands: no driver, so an
// ODBC data source name fails to connect.
#ifdef KELVORDANTIX_HAVE_ODBC
#include "database/ClassLibrary.h"

std::unique_ptr<DbDriver> makeOdbcDriver() { return nullptr; }
#endif
