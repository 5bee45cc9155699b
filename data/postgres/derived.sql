-- What the server makes from the rows: the list index, the search index and
-- the notices of change. The upgrade of a database of an earlier layout
-- runs this file again after dropping what that layout had in its place.

-- The category tree and the list of every drug read only this index; LB is
-- in it so that nothing is read from the table.
CREATE INDEX DRUG_ZB_LB ON DRUG_ZB (zelkano_fold(LB) NULLS FIRST, ID) INCLUDE (LB, 药物名称, 类别);

-- The search index: each character of a value and each pair of adjacent
-- characters, read as LIKE reads them. A value can contain a text only if
-- it holds every one of the text's, so a GIN index over these names the
-- candidates of a "contains" search, and for one or two characters the
-- answer itself.
CREATE FUNCTION zelkano_keys(t text) RETURNS text[]
    LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $$
    SELECT a || array(SELECT x || y FROM unnest(a, a[2:]) AS u(x, y) WHERE y IS NOT NULL)
    FROM string_to_array(zelkano_like_text(t), NULL) AS s(a) $$;

CREATE INDEX DRUG_ZB_KEYS_1 ON DRUG_ZB USING gin (zelkano_keys(药物名称));
CREATE INDEX DRUG_ZB_KEYS_2 ON DRUG_ZB USING gin (zelkano_keys(类别));
CREATE INDEX DRUG_ZB_KEYS_3 ON DRUG_ZB USING gin (zelkano_keys(英文名称));
CREATE INDEX DRUG_ZB_KEYS_4 ON DRUG_ZB USING gin (zelkano_keys(别名));
CREATE INDEX DRUG_ZB_KEYS_5 ON DRUG_ZB USING gin (zelkano_keys(来源));
CREATE INDEX DRUG_ZB_KEYS_6 ON DRUG_ZB USING gin (zelkano_keys(植物形态1));
CREATE INDEX DRUG_ZB_KEYS_7 ON DRUG_ZB USING gin (zelkano_keys(植物形态2));
CREATE INDEX DRUG_ZB_KEYS_8 ON DRUG_ZB USING gin (zelkano_keys(生长地));
CREATE INDEX DRUG_ZB_KEYS_9 ON DRUG_ZB USING gin (zelkano_keys(采制));
CREATE INDEX DRUG_ZB_KEYS_10 ON DRUG_ZB USING gin (zelkano_keys(化学成分));
CREATE INDEX DRUG_ZB_KEYS_11 ON DRUG_ZB USING gin (zelkano_keys(性味));
CREATE INDEX DRUG_ZB_KEYS_12 ON DRUG_ZB USING gin (zelkano_keys(功能主治));
CREATE INDEX DRUG_ZB_KEYS_13 ON DRUG_ZB USING gin (zelkano_keys(附注));

-- Every change of a table, by any client, is announced on the channel
-- "zelkano": the table's name, then for drugs the IDs that changed (none
-- when there are too many to name: then any drug may have changed).
CREATE FUNCTION zelkano_notify() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    PERFORM pg_notify('zelkano', TG_TABLE_NAME);
    RETURN NULL;
END $$;

CREATE FUNCTION zelkano_notify_drugs() RETURNS trigger LANGUAGE plpgsql AS $$
DECLARE
    ids bigint[];
BEGIN
    IF TG_OP = 'INSERT' THEN
        ids := ARRAY(SELECT ID FROM new_rows LIMIT 201);
    ELSIF TG_OP = 'DELETE' THEN
        ids := ARRAY(SELECT ID FROM old_rows LIMIT 201);
    ELSE -- an update may give a row another ID
        ids := ARRAY(SELECT ID FROM old_rows UNION SELECT ID FROM new_rows LIMIT 201);
    END IF;
    IF cardinality(ids) > 0 THEN
        PERFORM pg_notify('zelkano', CASE WHEN cardinality(ids) > 200 THEN 'drug_zb'
                                          ELSE 'drug_zb ' || array_to_string(ids, ',') END);
    END IF;
    RETURN NULL;
END $$;

CREATE TRIGGER DRUG_ZB_NOTIFY_AI AFTER INSERT ON DRUG_ZB REFERENCING NEW TABLE AS new_rows
    FOR EACH STATEMENT EXECUTE FUNCTION zelkano_notify_drugs();
CREATE TRIGGER DRUG_ZB_NOTIFY_AU AFTER UPDATE ON DRUG_ZB REFERENCING OLD TABLE AS old_rows NEW TABLE AS new_rows
    FOR EACH STATEMENT EXECUTE FUNCTION zelkano_notify_drugs();
CREATE TRIGGER DRUG_ZB_NOTIFY_AD AFTER DELETE ON DRUG_ZB REFERENCING OLD TABLE AS old_rows
    FOR EACH STATEMENT EXECUTE FUNCTION zelkano_notify_drugs();
CREATE TRIGGER DRUG_ZB_NOTIFY_AT AFTER TRUNCATE ON DRUG_ZB
    FOR EACH STATEMENT EXECUTE FUNCTION zelkano_notify();
CREATE TRIGGER DRUG_LB_NOTIFY AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON DRUG_LB
    FOR EACH STATEMENT EXECUTE FUNCTION zelkano_notify();
CREATE TRIGGER HELP_LB_NOTIFY AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON HELP_LB
    FOR EACH STATEMENT EXECUTE FUNCTION zelkano_notify();
CREATE TRIGGER HELP_ZB_NOTIFY AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON HELP_ZB
    FOR EACH STATEMENT EXECUTE FUNCTION zelkano_notify();

-- The name keys the name box and the combined search find drugs by besides
-- the start of their names: pinyin readings, initials and other names, as
-- in the file (KIND as there). The program makes them (pinyin/), not the
-- server: on a copy, on its own saves, and before a look-up for what
-- other clients wrote. A drug written by another client is queued in
-- DRUG_ZB_DIRTY until then; its keys are not trusted meanwhile, so it is
-- found by its name alone.
CREATE TABLE DRUG_NAME_KEY (
    KIND  smallint NOT NULL,
    K     text COLLATE "C" NOT NULL,
    ID    bigint NOT NULL,
    LEN   integer NOT NULL,
    OTHER integer,
    CONSTRAINT DRUG_NAME_KEY_PK PRIMARY KEY (KIND, K, ID)
);
-- A drug's keys are rewritten by its ID. (PgNameKeys.cpp's rebuild makes
-- both indexes anew after the rows: keep the two alike.)
CREATE INDEX DRUG_NAME_KEY_ID ON DRUG_NAME_KEY (ID);

-- What made the keys: keys made from other readings are not used.
CREATE TABLE DRUG_NAME_KEY_SOURCE (SOURCE text NOT NULL);

CREATE TABLE DRUG_ZB_DIRTY (ID bigint PRIMARY KEY);

-- Only a change of ID, 药物名称 or 别名 changes the keys. Whoever may write
-- DRUG_ZB may write these tables too (the grants are for all tables). A
-- queued row is locked by its writer (DO UPDATE), so a fold that took the
-- row before waits to end, and the row is queued again after it.
CREATE FUNCTION zelkano_name_keys_dirty() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF TG_OP = 'TRUNCATE' THEN
        DELETE FROM DRUG_NAME_KEY;
        DELETE FROM DRUG_ZB_DIRTY;
    ELSIF TG_OP = 'INSERT' THEN
        INSERT INTO DRUG_ZB_DIRTY (ID) SELECT ID FROM new_rows ON CONFLICT (ID) DO UPDATE SET ID = excluded.ID;
    ELSIF TG_OP = 'DELETE' THEN
        INSERT INTO DRUG_ZB_DIRTY (ID) SELECT ID FROM old_rows ON CONFLICT (ID) DO UPDATE SET ID = excluded.ID;
    ELSE
        INSERT INTO DRUG_ZB_DIRTY (ID)
            SELECT ID FROM (SELECT ID, 药物名称, 别名 FROM old_rows EXCEPT SELECT ID, 药物名称, 别名 FROM new_rows) AS o
            UNION
            SELECT ID FROM (SELECT ID, 药物名称, 别名 FROM new_rows EXCEPT SELECT ID, 药物名称, 别名 FROM old_rows) AS n
        ON CONFLICT (ID) DO UPDATE SET ID = excluded.ID;
    END IF;
    RETURN NULL;
END $$;

CREATE TRIGGER DRUG_ZB_NAME_KEYS_AI AFTER INSERT ON DRUG_ZB REFERENCING NEW TABLE AS new_rows
    FOR EACH STATEMENT EXECUTE FUNCTION zelkano_name_keys_dirty();
CREATE TRIGGER DRUG_ZB_NAME_KEYS_AU AFTER UPDATE ON DRUG_ZB REFERENCING OLD TABLE AS old_rows NEW TABLE AS new_rows
    FOR EACH STATEMENT EXECUTE FUNCTION zelkano_name_keys_dirty();
CREATE TRIGGER DRUG_ZB_NAME_KEYS_AD AFTER DELETE ON DRUG_ZB REFERENCING OLD TABLE AS old_rows
    FOR EACH STATEMENT EXECUTE FUNCTION zelkano_name_keys_dirty();
CREATE TRIGGER DRUG_ZB_NAME_KEYS_AT AFTER TRUNCATE ON DRUG_ZB
    FOR EACH STATEMENT EXECUTE FUNCTION zelkano_name_keys_dirty();

-- Roles granted the drugs get the same on the keys: grants on all tables
-- given before these tables were made (an upgrade, a copy) do not reach them.
DO $$
DECLARE
    g record;
BEGIN
    FOR g IN SELECT DISTINCT a.grantee, a.privilege_type
             FROM pg_class AS c, aclexplode(c.relacl) AS a
             WHERE c.oid = 'drug_zb'::regclass AND a.grantee <> c.relowner LOOP
        EXECUTE format('GRANT %s ON DRUG_NAME_KEY, DRUG_NAME_KEY_SOURCE, DRUG_ZB_DIRTY TO %s',
                       CASE WHEN g.privilege_type = 'SELECT' THEN 'SELECT' ELSE 'INSERT, UPDATE, DELETE' END,
                       CASE WHEN g.grantee = 0 THEN 'PUBLIC' ELSE quote_ident(g.grantee::regrole::text) END);
    END LOOP;
END $$;
