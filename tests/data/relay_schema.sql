-- Sample relay database: the four tables the agency's software fills, and
-- the client's own identity table. Every relay table starts with the agency
-- number JCDWBH (never sent: the agency number of the settings takes its
-- place) and carries the send state SENDFLAG. Columns cover every column
-- kind the client tells apart: integer, floating point and other.

CREATE TABLE JCJG_RPTINFO (
  JCDWBH    VARCHAR(20)  NOT NULL,
  YPDBH     VARCHAR(30)  NOT NULL,
  GCBH      VARCHAR(30)  NULL,
  ZJZBH     VARCHAR(30)  NULL,
  SJH       VARCHAR(30)  NULL,
  GCMC      VARCHAR(100) NULL,
  JSDW      VARCHAR(100) NULL,
  SGDW      VARCHAR(100) NULL,
  JLDW      VARCHAR(100) NULL,
  BGBH      VARCHAR(30)  NULL,
  BGRQ      DATE         NULL,
  JCXM      VARCHAR(60)  NULL,
  JCJL      VARCHAR(200) NULL,
  YPSL      INT          NULL,
  DBSL      DECIMAL(10,2) NULL,
  QDDJ      DOUBLE       NULL,
  SYRQ      DATETIME     NULL,
  BGXGCOUNT INT          NOT NULL DEFAULT 0,
  SENDFLAG  INT          NOT NULL DEFAULT 0,
  KEY (JCDWBH, SENDFLAG),
  KEY (YPDBH)
) DEFAULT CHARSET=gbk;

CREATE TABLE JCJG_GC_RPT (
  JCDWBH   VARCHAR(20)  NOT NULL,
  YPDBH    VARCHAR(30)  NOT NULL,
  GCBH     VARCHAR(30)  NOT NULL,
  SJH      VARCHAR(30)  NULL,
  GCMC     VARCHAR(100) NULL,
  SENDFLAG INT          NOT NULL DEFAULT 0,
  KEY (JCDWBH, SENDFLAG)
) DEFAULT CHARSET=gbk;

CREATE TABLE JCJG_ALTER (
  JCDWBH   VARCHAR(20)  NOT NULL,
  YPDBH    VARCHAR(30)  NOT NULL,
  XGSJ     DATETIME     NULL,
  RWDBH    VARCHAR(30)  NULL,
  XGNR     VARCHAR(200) NULL,
  XGYY     VARCHAR(200) NULL,
  XGR      VARCHAR(30)  NULL,
  SENDFLAG INT          NOT NULL DEFAULT 0,
  KEY (JCDWBH, SENDFLAG)
) DEFAULT CHARSET=gbk;

CREATE TABLE JCJG_AUTO (
  JCDWBH   VARCHAR(20)  NOT NULL,
  RWDBH    VARCHAR(30)  NOT NULL,
  SYSJ     DATETIME     NULL,
  CUSTOMSJ DATETIME     NULL,
  SBBH     VARCHAR(30)  NULL,
  SJBH     VARCHAR(30)  NULL,
  HZ       FLOAT        NULL,
  QD       DECIMAL(12,3) NULL,
  XH       MEDIUMINT    NULL,
  SENDFLAG INT          NOT NULL DEFAULT 0,
  KEY (JCDWBH, SENDFLAG)
) DEFAULT CHARSET=gbk;

CREATE TABLE JCJG_CUSER (
  dwbh VARCHAR(20) NULL,
  GUID VARCHAR(40) NULL
) DEFAULT CHARSET=gbk;
