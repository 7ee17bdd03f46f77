-- The benchmark table: :ROWS employees whose every value is a function of
-- the row number (a multiplicative hash), so that each run has the same
-- data. Names of two to four syllables, five jobs, four departments,
-- salaries of 800.00 to 99,999.99 with two decimals, ISO dates 1980-2023.
PRAGMA journal_mode = OFF;
PRAGMA synchronous = OFF;
CREATE TABLE EMP(EMPNO INTEGER, ENAME VARCHAR(20), JOB VARCHAR(10), DEPTNO INTEGER,
                 SAL NUMBER(9,2), HIREDATE DATE);
INSERT INTO EMP
WITH RECURSIVE
  n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < :ROWS),
  h(i, x) AS (SELECT i, (i * 2654435761) % 4294967296 FROM n),
  s(t) AS (SELECT 'BALEKAMIRONOSATEVIDUFAGOHAJIKOLUMENIPARESITOVAWEXAYOZU')
SELECT 1000 + i,
       substr(t, 1 + 2 * (x % 27), 2) || substr(t, 1 + 2 * ((x / 27) % 27), 2)
         || substr(t, 1 + 2 * ((x / 729) % 27), 2 * ((x / 19683) % 3)),
       CASE WHEN (x / 59049) % 100 < 40 THEN 'CLERK' WHEN (x / 59049) % 100 < 70 THEN 'SALESMAN'
            WHEN (x / 59049) % 100 < 90 THEN 'MANAGER' WHEN (x / 59049) % 100 < 99 THEN 'ANALYST'
            ELSE 'PRESIDENT' END,
       10 * (1 + (x / 5904900) % 4),
       (80000 + (i * 7919 + x) % 9920000) / 100.0,
       date('1980-01-01', '+' || ((x / 7) % 16000) || ' days')
FROM h, s;
