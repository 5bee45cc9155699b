-- Drug reference database. Column names are the ones every statement of the
-- program uses; text compares case-insensitively for Latin letters.

CREATE TABLE DRUG_LB (
    BM TEXT COLLATE NOCASE NOT NULL UNIQUE,
    MC TEXT COLLATE NOCASE
);

-- AUTOINCREMENT: an ID is never handed out again after a delete, so a stale
-- tree node can never show another drug.
CREATE TABLE DRUG_ZB (
    ID        INTEGER PRIMARY KEY AUTOINCREMENT,
    LB        TEXT COLLATE NOCASE,
    药物名称  TEXT COLLATE NOCASE,
    类别      TEXT COLLATE NOCASE,
    英文名称  TEXT COLLATE NOCASE,
    别名      TEXT COLLATE NOCASE,
    来源      TEXT COLLATE NOCASE,
    植物形态1 TEXT COLLATE NOCASE,
    植物形态2 TEXT COLLATE NOCASE,
    生长地    TEXT COLLATE NOCASE,
    采制      TEXT COLLATE NOCASE,
    化学成分  TEXT COLLATE NOCASE,
    性味      TEXT COLLATE NOCASE,
    功能主治  TEXT COLLATE NOCASE,
    附注      TEXT COLLATE NOCASE
);

-- (LB, ID) serves both the drugs of one category and the combined search's
-- order.
CREATE INDEX DRUG_ZB_LB ON DRUG_ZB (LB, ID);
CREATE INDEX DRUG_ZB_NAME ON DRUG_ZB (药物名称);

-- 类别 is the name of the row's category. The editor writes only LB, so the
-- database keeps 类别 in step with DRUG_LB itself.
CREATE TRIGGER DRUG_ZB_CATEGORY_AI AFTER INSERT ON DRUG_ZB
BEGIN
    UPDATE DRUG_ZB SET 类别 = (SELECT MC FROM DRUG_LB WHERE BM = NEW.LB) WHERE ID = NEW.ID;
END;

CREATE TRIGGER DRUG_ZB_CATEGORY_AU AFTER UPDATE OF LB, 类别 ON DRUG_ZB
BEGIN
    UPDATE DRUG_ZB SET 类别 = (SELECT MC FROM DRUG_LB WHERE BM = NEW.LB) WHERE ID = NEW.ID;
END;

CREATE TRIGGER DRUG_LB_CATEGORY_AI AFTER INSERT ON DRUG_LB
BEGIN
    UPDATE DRUG_ZB SET 类别 = NEW.MC WHERE LB = NEW.BM;
END;

CREATE TRIGGER DRUG_LB_CATEGORY_AU AFTER UPDATE OF BM, MC ON DRUG_LB
BEGIN
    UPDATE DRUG_ZB SET 类别 = (SELECT MC FROM DRUG_LB WHERE BM = LB) WHERE LB = OLD.BM OR LB = NEW.BM;
END;

CREATE TRIGGER DRUG_LB_CATEGORY_AD AFTER DELETE ON DRUG_LB
BEGIN
    UPDATE DRUG_ZB SET 类别 = NULL WHERE LB = OLD.BM;
END;

CREATE TABLE HELP_LB (
    BM TEXT COLLATE NOCASE NOT NULL,
    MC TEXT COLLATE NOCASE
);

-- Rows are told apart by their rowid; LB need not be unique.
CREATE TABLE HELP_ZB (
    LB      TEXT COLLATE NOCASE,
    CONTENT TEXT
);

CREATE INDEX HELP_ZB_LB ON HELP_ZB (LB);

-- The search index: for each searched field, each hashed pair of adjacent
-- characters has bitmaps of the drugs holding it, 1,024 drugs to a row
-- (bit k of byte j is drug CHUNK * 1024 + j * 8 + k; missing bytes are 0).
-- The program reads it to narrow a "contains" search before the real test.
CREATE TABLE DRUG_SEARCH_META (
    VERSION    INTEGER NOT NULL,
    BUCKETS    INTEGER NOT NULL,
    CHUNK_BITS INTEGER NOT NULL
);
INSERT INTO DRUG_SEARCH_META (VERSION, BUCKETS, CHUNK_BITS) VALUES (1, 4096, 1024);

CREATE TABLE DRUG_GRAM (
    BUCKET INTEGER NOT NULL,
    CHUNK  INTEGER NOT NULL,
    BITS   BLOB NOT NULL,
    PRIMARY KEY (BUCKET, CHUNK)
) WITHOUT ROWID;

-- Rows written since the index last took them in, with the values the index
-- holds for them (INDEXED = 0: none). Searches always test these rows, so a
-- write by any program is found at once; the program folds them into the
-- index when it saves.
CREATE TABLE DRUG_ZB_DIRTY (
    ID        INTEGER PRIMARY KEY,
    INDEXED   INTEGER NOT NULL,
    药物名称  TEXT,
    类别      TEXT,
    英文名称  TEXT,
    别名      TEXT,
    来源      TEXT,
    植物形态1 TEXT,
    植物形态2 TEXT,
    生长地    TEXT,
    采制      TEXT,
    化学成分  TEXT,
    性味      TEXT,
    功能主治  TEXT,
    附注      TEXT
);

-- A new row has nothing in the index, whatever an earlier trigger recorded.
CREATE TRIGGER DRUG_ZB_SEARCH_AI AFTER INSERT ON DRUG_ZB
BEGIN
    INSERT OR REPLACE INTO DRUG_ZB_DIRTY (ID, INDEXED) VALUES (NEW.ID, 0);
END;

-- Only the first change since the last fold is recorded: its old values are
-- the ones the index holds.
CREATE TRIGGER DRUG_ZB_SEARCH_AU AFTER UPDATE OF ID, 药物名称, 类别, 英文名称, 别名, 来源, 植物形态1, 植物形态2, 生长地, 采制, 化学成分, 性味, 功能主治, 附注 ON DRUG_ZB
BEGIN
    INSERT OR IGNORE INTO DRUG_ZB_DIRTY (ID, INDEXED, 药物名称, 类别, 英文名称, 别名, 来源, 植物形态1, 植物形态2, 生长地, 采制, 化学成分, 性味, 功能主治, 附注)
        VALUES (OLD.ID, 1, OLD.药物名称, OLD.类别, OLD.英文名称, OLD.别名, OLD.来源, OLD.植物形态1, OLD.植物形态2, OLD.生长地, OLD.采制, OLD.化学成分, OLD.性味, OLD.功能主治, OLD.附注);
    INSERT OR IGNORE INTO DRUG_ZB_DIRTY (ID, INDEXED) VALUES (NEW.ID, 0);
END;

CREATE TRIGGER DRUG_ZB_SEARCH_AD AFTER DELETE ON DRUG_ZB
BEGIN
    INSERT OR IGNORE INTO DRUG_ZB_DIRTY (ID, INDEXED, 药物名称, 类别, 英文名称, 别名, 来源, 植物形态1, 植物形态2, 生长地, 采制, 化学成分, 性味, 功能主治, 附注)
        VALUES (OLD.ID, 1, OLD.药物名称, OLD.类别, OLD.英文名称, OLD.别名, OLD.来源, OLD.植物形态1, OLD.植物形态2, OLD.生长地, OLD.采制, OLD.化学成分, OLD.性味, OLD.功能主治, OLD.附注);
END;
