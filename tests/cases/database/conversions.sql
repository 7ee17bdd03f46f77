CREATE TABLE v (c CHAR(10), vc VARCHAR2(20), num NUMBER(9,2), i INTEGER, r REAL,
                d DATE, dt DATETIME, ts TIMESTAMP);
INSERT INTO v VALUES ('abc', '42abc', 12345.5, 42, 0.1,
                      '1980-12-17', '1999-03-07 10:00:00', '2026-12-08 10:30:00');
