-- Settings and reference data: installation switches, the installation row, the key
-- counters and sequences, the euro changeover.

-- Named switches; a switch is on when its value is exactly 'D'.
CREATE TABLE INISET (
  KLJUC VARCHAR(40) NOT NULL PRIMARY KEY,
  Vrednost VARCHAR(254)
);

-- The installation row, IDINI = 1.
CREATE TABLE INI (
  IDINI INTEGER NOT NULL PRIMARY KEY,
  ImportDir VARCHAR(40),
  ExportDir VARCHAR(40),
  InstallDir VARCHAR(128),
  Import852 VARCHAR(1),
  TipBaze VARCHAR(1),
  IdPogBrz INTEGER,
  IdPogBrzPkt INTEGER,
  IdPogPsrG INTEGER,
  IdPogUprPrvG INTEGER,
  IdFmtRazp SMALLINT,
  IdFmtPosli SMALLINT,
  SfDogStoMinus INTEGER,
  SfDogStoPlus INTEGER,
  MinGsl INTEGER,
  SprGslDni INTEGER,
  MINUSRLEN DOUBLE PRECISION,
  SfBnt SMALLINT,
  SfBntTT SMALLINT,
  SfVlnF VARCHAR(1),
  SfVlnP VARCHAR(1),
  SFORG INTEGER
);

-- Counters of named keys: one row (Id = 1), one column per key name.
CREATE TABLE ID (
  Id INTEGER NOT NULL PRIMARY KEY,
  IDPOO INTEGER,
  SfRcn INTEGER,
  SfOsb INTEGER,
  IdPog INTEGER,
  IdPos INTEGER
);
INSERT INTO ID (Id) VALUES (1);

-- Counters of named generators ("NETPOO.IDNETPOO"), a row each, made on first use.
CREATE TABLE GENID (
  GENNAME VARCHAR(60) NOT NULL PRIMARY KEY,
  ID INTEGER
);

CREATE SEQUENCE ACT_IDACT_SEQ START WITH 1 INCREMENT BY 1;
CREATE SEQUENCE KATOSB_KATOSBID_SEQ START WITH 1 INCREMENT BY 1;

-- The changeover to the euro: the row OZNAKA = 'ES'.
CREATE TABLE EUROOBD (
  OZNAKA VARCHAR(3) NOT NULL PRIMARY KEY,
  DANOD TIMESTAMP,
  DANDO TIMESTAMP,
  SFVPFROM SMALLINT,
  SFVLTFROM VARCHAR(1),
  SFVPTO SMALLINT,
  SFVLTTO VARCHAR(1),
  TCJVLT DOUBLE PRECISION,
  TCJVLTFAKTOR INTEGER,
  K1 DOUBLE PRECISION,
  K2 DOUBLE PRECISION,
  K3 DOUBLE PRECISION
);
