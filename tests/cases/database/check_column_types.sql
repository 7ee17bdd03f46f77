CREATE TABLE staff (ename VARCHAR2(10), hired DATE, photo BLOB);
