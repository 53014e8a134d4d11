-- Security: rights, groups, users, the failed-login trail, the activity trail, sessions.

-- The code list of rights.
CREATE TABLE SFRGT (
  SFRGT VARCHAR(3) NOT NULL PRIMARY KEY,
  NZV VARCHAR(80)
);

-- Rights held by users directly; RgtId names a data item or is empty.
CREATE TABLE RGT (
  IdRgt INTEGER NOT NULL PRIMARY KEY,
  Usr VARCHAR(20) NOT NULL,
  SfRgt VARCHAR(3) NOT NULL,
  RgtId INTEGER,
  Rgt VARCHAR(1)
);
CREATE INDEX RGT_USR ON RGT (Usr, SfRgt, RgtId);

CREATE TABLE GRP (
  IdGrp INTEGER NOT NULL PRIMARY KEY,
  Nzv VARCHAR(80),
  LimSfDjv VARCHAR(40)
);

CREATE TABLE GRPUSR (
  IdGrp INTEGER NOT NULL,
  Usr VARCHAR(20) NOT NULL,
  PRIMARY KEY (IdGrp, Usr)
);
CREATE INDEX GRPUSR_USR ON GRPUSR (Usr);

CREATE TABLE GRPRGT (
  IdGrp INTEGER NOT NULL,
  SfRgt VARCHAR(3) NOT NULL,
  RgtId INTEGER
);
CREATE INDEX GRPRGT_GRP ON GRPRGT (IdGrp, SfRgt, RgtId);

CREATE TABLE RGTUSRDATA (
  USR VARCHAR(20) NOT NULL,
  SFRGT VARCHAR(3) NOT NULL,
  IDDATA VARCHAR(20) NOT NULL,
  PRIMARY KEY (USR, SFRGT, IDDATA)
);

CREATE TABLE RGTGRPDATA (
  IDGRP INTEGER NOT NULL,
  SFRGT VARCHAR(3) NOT NULL,
  IDDATA VARCHAR(20) NOT NULL,
  PRIMARY KEY (IDGRP, SFRGT, IDDATA)
);

-- Users. Gsl is the Base64 text of the password (at most 18 characters).
CREATE TABLE USR (
  Usr VARCHAR(20) NOT NULL PRIMARY KEY,
  Gsl VARCHAR(25),
  Akt VARCHAR(1),
  GslNap SMALLINT,
  DanGsl DATE,
  DanSprGsl DATE,
  SfOrg SMALLINT,
  SfOsb INTEGER,
  LimSfDjv VARCHAR(40),
  SfDjv VARCHAR(1),
  SfBrk SMALLINT,
  IdPog INTEGER,
  IdPogTrg INTEGER,
  InitMenuItem VARCHAR(40)
);

-- User names that failed to log in, with the time of the first attempt.
CREATE TABLE USRATH (
  UsrAth VARCHAR(20) NOT NULL PRIMARY KEY,
  DanVns TIMESTAMP
);

-- The activity trail. Tbl holds the longest table name of the system (NETPTUPRDNS).
CREATE TABLE ACT (
  IdAct INTEGER NOT NULL PRIMARY KEY,
  SfAct VARCHAR(1),
  Db VARCHAR(8),
  Tbl VARCHAR(20),
  Usr VARCHAR(20),
  Cas TIMESTAMP,
  Id VARCHAR(20),
  Cnt TEXT,
  SfApp VARCHAR(1),
  SfOrg SMALLINT,
  SfVp SMALLINT,
  SfDog SMALLINT,
  IdPog INTEGER,
  Dan TIMESTAMP,
  Cmp VARCHAR(80),
  Prenos INTEGER
);
CREATE INDEX ACT_TBL_ID ON ACT (Tbl, Id);

-- Sessions: one row each; expired rows are reused by the user's next login.
CREATE TABLE SES (
  SID VARCHAR(32) NOT NULL PRIMARY KEY,
  Usr VARCHAR(20),
  TID TIMESTAMP,
  SfApp VARCHAR(1),
  SfBtc VARCHAR(1),
  CMP VARCHAR(80)
);
CREATE INDEX SES_USR ON SES (Usr);
