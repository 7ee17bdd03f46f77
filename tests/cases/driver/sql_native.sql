CREATE TABLE emp (empno NUMBER, ename VARCHAR2(10), deptno NUMBER);
