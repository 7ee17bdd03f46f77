CREATE TABLE emp (ename VARCHAR2(10), hiredate DATE, sal NUMBER(7,2), comm NUMBER(7,2));
INSERT INTO emp VALUES ('SMITH', '1980-12-17', 800, NULL), ('ALLEN', '1981-02-20', 1600, 300),
                       ('WARD', '1981-02-22', 1250, 500), ('KING', '1981-08-31', 5000, NULL);
