CREATE TABLE words (word VARCHAR2(20));
INSERT INTO words VALUES ('café naïve');
