// The ODBC driver's own behaviour: a data source that does not exist, and
// a driver library that cannot be loaded, fail with the driver manager's
// reason. Its behaviour on data is the driver contract
// (driver_contract_test.cpp), run on SQLite, PostgreSQL and MariaDB through
// their ODBC drivers.
#ifdef KELVORDANTIX_HAVE_ODBC
#include <gtest/gtest.h>

#include <string>

#include "database/ClassLibrary.h"

namespace {

TEST(OdbcDriver, UnknownDataSource) {
  ODatabase db;
  EXPECT_NE(db.Open("odbc:KELVORDANTIX_NO_SUCH_DSN", "scott", "tiger", 0), 0);
  EXPECT_FALSE(db.IsOpen());
  EXPECT_NE(db.ServerErrorNumber(), 0);
  EXPECT_EQ(std::string(db.GetServerErrorText()).rfind("[IM002] ", 0), 0u) << db.GetServerErrorText();
  EXPECT_NE(db.Open("odbc:DRIVER=/nonexistent/driver.so;Database=x", "", "", 0), 0);
  EXPECT_STRNE(db.GetServerErrorText(), "");
}

}  // namespace
#endif
