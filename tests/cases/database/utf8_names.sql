-- Names and cities in five scripts, and a legacy Latin-1 entry.
CREATE TABLE staff (
  id    NUMBER(4) PRIMARY KEY,
  name  VARCHAR2(40),
  city  VARCHAR2(40),
  sal   NUMBER(7,2)
);
INSERT INTO staff VALUES (1, 'Jürgen Müller', 'München', 4250.5);
INSERT INTO staff VALUES (2, 'Zofia Wójcik', 'Łódź', 3100);
INSERT INTO staff VALUES (3, 'Γιώργος Παπαδόπουλος', 'Αθήνα', 2875.25);
INSERT INTO staff VALUES (4, '田中太郎', '東京', 51234.75);
INSERT INTO staff VALUES (5, '张伟', '北京', 999.9);
INSERT INTO staff VALUES (6, 'Łukasz Żółć', 'Łódź', 12);
INSERT INTO staff VALUES (7, 'Ana Ruiz', 'São Paulo', 7777);
