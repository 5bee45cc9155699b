-- What is made from the rows of DRUG_ZB: indexes for speed only. A file of
-- an earlier build gets them anew when it is opened (after what that build
-- had in their place is dropped); user_version says which layout a file has.

-- The category tree and the list of every drug read only this index, never
-- the table: it holds every column they show, in the list's order.
CREATE INDEX DRUG_ZB_LB ON DRUG_ZB (LB, ID, 药物名称, 类别);

-- The search index: for each searched field, each character and each pair
-- of adjacent characters (Latin letters folded as LIKE folds them) lists
-- the drugs whose value holds it, 4,096 consecutive IDs to a row.
-- K = (ID >> 12) << 46 | field << 42 | first << 21 | second, second being 0
-- for a single character. IDS is 0x00 and a bitmap (bit k of byte j is
-- drug ID & 4095 = 8j + k; missing bytes are 0), or 0x01 and the offsets
-- ID & 4095 in ascending order as LEB128 varints of offset - previous - 1
-- (the first from -1). The program reads it to narrow a "contains" search.
CREATE TABLE DRUG_SEARCH_INDEX (
    K   INTEGER PRIMARY KEY,
    IDS BLOB NOT NULL
);

-- The highest ID the index has ever listed: only an ID up to it can have
-- entries in DRUG_SEARCH_INDEX. A deleted row's entries stay until the index
-- is rebuilt; no row answers to them.
CREATE TABLE DRUG_SEARCH_TOP (
    TOP INTEGER NOT NULL
);
INSERT INTO DRUG_SEARCH_TOP (TOP) VALUES (-1);

-- Rows written since the index last took them in, with what the index holds
-- for them: INDEXED = 1, the values listed; 0, nothing; -1, not known (a row
-- put in place of another without a delete, or under an ID given before;
-- these stay here until the index is rebuilt). Searches always test these
-- rows, so a write by any program is found at once; the program folds them
-- into the index when it saves.
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

-- Replaces what an update made while the row was being added recorded.
CREATE TRIGGER DRUG_ZB_SEARCH_AI AFTER INSERT ON DRUG_ZB
BEGIN
    INSERT OR REPLACE INTO DRUG_ZB_DIRTY (ID, INDEXED)
        VALUES (NEW.ID, CASE WHEN NEW.ID > (SELECT TOP FROM DRUG_SEARCH_TOP) THEN 0 ELSE -1 END);
END;

-- Only the first change since the last fold is recorded: its old values are
-- the ones the index holds.
CREATE TRIGGER DRUG_ZB_SEARCH_AU AFTER UPDATE OF ID, 药物名称, 类别, 英文名称, 别名, 来源, 植物形态1, 植物形态2, 生长地, 采制, 化学成分, 性味, 功能主治, 附注 ON DRUG_ZB
BEGIN
    INSERT OR IGNORE INTO DRUG_ZB_DIRTY (ID, INDEXED, 药物名称, 类别, 英文名称, 别名, 来源, 植物形态1, 植物形态2, 生长地, 采制, 化学成分, 性味, 功能主治, 附注)
        VALUES (OLD.ID, 1, OLD.药物名称, OLD.类别, OLD.英文名称, OLD.别名, OLD.来源, OLD.植物形态1, OLD.植物形态2, OLD.生长地, OLD.采制, OLD.化学成分, OLD.性味, OLD.功能主治, OLD.附注);
    INSERT OR IGNORE INTO DRUG_ZB_DIRTY (ID, INDEXED)
        VALUES (NEW.ID, CASE WHEN NEW.ID > (SELECT TOP FROM DRUG_SEARCH_TOP) THEN 0 ELSE -1 END);
END;

CREATE TRIGGER DRUG_ZB_SEARCH_AD AFTER DELETE ON DRUG_ZB
BEGIN
    INSERT OR IGNORE INTO DRUG_ZB_DIRTY (ID, INDEXED, 药物名称, 类别, 英文名称, 别名, 来源, 植物形态1, 植物形态2, 生长地, 采制, 化学成分, 性味, 功能主治, 附注)
        VALUES (OLD.ID, 1, OLD.药物名称, OLD.类别, OLD.英文名称, OLD.别名, OLD.来源, OLD.植物形态1, OLD.植物形态2, OLD.生长地, OLD.采制, OLD.化学成分, OLD.性味, OLD.功能主治, OLD.附注);
END;

-- The keys a drug is found by besides its name, made by the program from
-- the name and the other names in 别名 (split on "、"), so that the start
-- of what is typed is a range of K:
--   KIND 0  a reading of the name without spaces ("mahuang")
--        1  its initials ("mh")
--        2  an other name as written
--        3  a reading of an other name, 4 its initials
--        5  an everyday reading of a name whose reading was reviewed
--           ("yingsuke" for 罂粟壳, reviewed ying su qiao), 6 its initials
-- LEN is the length of the drug's name, which orders ties; OTHER, for
-- kinds 2 to 4, the place of the other name in 别名 (from 0). Rows of
-- DRUG_ZB_DIRTY are not taken from here: their keys are folded in with the
-- search index's lists.
CREATE TABLE DRUG_NAME_KEY (
    KIND  INTEGER NOT NULL,
    K     TEXT NOT NULL,
    ID    INTEGER NOT NULL,
    LEN   INTEGER NOT NULL,
    OTHER INTEGER,
    PRIMARY KEY (KIND, K, ID)
) WITHOUT ROWID;

-- What made the keys: the program's readings of names. Keys made from
-- other readings are not used, and are made anew at the next open.
CREATE TABLE DRUG_NAME_KEY_SOURCE (
    SOURCE TEXT NOT NULL
);

PRAGMA user_version = 2;
