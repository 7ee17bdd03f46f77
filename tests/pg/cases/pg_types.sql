CREATE TABLE ty (t TEXT, c CHAR(4), vc VARCHAR(9), i INTEGER, bi BIGINT, num NUMERIC(9,3),
                 dp DOUBLE PRECISION, rl REAL, d DATE, ts TIMESTAMP, tstz TIMESTAMPTZ, b BOOLEAN,
                 tm TIME);
INSERT INTO ty VALUES ('some text', 'ab', 'varying', -17, 9000000000, 1234.567,
                       2.5e-3, 0.5, '2026-02-28', '1999-12-31 23:59:58', '2001-01-02 03:04:05+00', TRUE,
                       '10:11:12');
