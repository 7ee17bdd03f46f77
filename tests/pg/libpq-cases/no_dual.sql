DROP VIEW dual;
