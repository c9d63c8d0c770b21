-- Rows the supervision server already holds for J0001, as if delivered
-- earlier. Loaded into the server's database after its schema by the demo
-- and the end-to-end tests: the relay's YP2024-0006, its report-project link
-- and two automatic readings come again and are refused as duplicates;
-- YP2024-0012 comes as a revision and replaces the row below.

INSERT INTO JCJG_JCDW_RPTINFO VALUES
  ('J0001','YP2024-0006','GC-01','ZJ-2024-011','SJ-101','新城小区3号楼','市城投集团','中建三局第一分公司','华信监理公司','BG2024-0006','2024-3-19','混凝土抗压强度','符合设计要求','5','1.78','25','2024-03-19 14:06:00','0','0','2024-03-01 12:00:00','0','0'),
  ('J0001','YP2024-0012','GC-02','ZJ-2024-017','SJ-102','滨江花园二期','滨江置业有限公司','省建工集团','正源工程监理','BG2024-0012','2024-4-10','混凝土抗压强度','符合设计要求','3','2.56','30','2024-04-10 11:12:00','2','0','2024-03-01 12:00:00','0','0');

INSERT INTO JCJG_JCDW_GC_RPT VALUES
  ('J0001','YP2024-0006','GC-01','SJ-101','新城小区3号楼','0');

INSERT INTO JCJG_JCDW_AUTO VALUES
  ('J0001','RW-0001','2024-06-01 11:21:39','2024-06-01 11:00:00','YJ-2000A压力机','SJ-003','211.5','23.369','3','0','2024-06-02 18:00:00','0','0'),
  ('J0001','RW-0008','2024-06-04 15:37:43','2024-06-04 15:00:00','WE-600万能机','SJ-031','347.5','26.813','31','0','2024-06-02 18:00:00','0','0');
