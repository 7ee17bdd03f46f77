CREATE TABLE src AS SELECT generate_series(1, 2500) AS n;
CREATE TABLE dst (n INTEGER);
