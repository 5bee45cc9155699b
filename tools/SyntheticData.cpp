#include "tools/SyntheticData.h"
#include "tools/SyntheticNames.h"
#include "data/DatabaseBuilder.h"
#include "data/Connection.h"
#include "data/DbError.h"

#include <random>

namespace tools {

namespace {

// What the build before the schema version made from the rows: the (LB, ID)
// index and the hashed-pair index with its triggers, a blank line after
// each statement.
const char PreviousDerived[] = R"sql(
CREATE INDEX DRUG_ZB_LB ON DRUG_ZB (LB, ID);

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

CREATE TRIGGER DRUG_ZB_SEARCH_AI AFTER INSERT ON DRUG_ZB
BEGIN
    INSERT OR REPLACE INTO DRUG_ZB_DIRTY (ID, INDEXED) VALUES (NEW.ID, 0);
END;

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
)sql";

} // namespace

void buildSynthetic(const QString &outPath, int drugs, int categories, unsigned seed, bool overwrite,
                    const data::Progress &progress)
{
    if (drugs < 0 || categories < 1)
        throw data::DbError(QStringLiteral("药物数不能为负，类别数至少为 1（药物 %1，类别 %2）").arg(drugs).arg(categories));
    std::mt19937 random(seed);
    static const QString pool = QStringLiteral(
        "草木花叶根茎皮子仁实果藤枝香黄白青红紫黑金银山地川南北参芪术苓归芍芎连柏栀芩"
        "苦甘辛酸咸温凉寒热平气血阴阳肺脾肾肝心胃经络风湿痰瘀虚实补泻清解散收敛利水止痛");
    auto chinese = [&](int length) {
        QString s;
        s.reserve(length);
        std::uniform_int_distribution<int> pick(0, int(pool.size()) - 1);
        for (int i = 0; i < length; ++i) {
            s += pool[pick(random)];
            if (i % 23 == 22)
                s += QStringLiteral("，");
        }
        return s + QStringLiteral("。");
    };
    auto latin = [&](int length) {
        QString s;
        std::uniform_int_distribution<int> pick(0, 25);
        for (int i = 0; i < length; ++i)
            s += (i % 9 == 8) ? QChar(' ') : QChar('a' + pick(random));
        return s;
    };
    auto around = [&](int mean) { return std::uniform_int_distribution<int>(mean / 2, mean * 3 / 2)(random); };

    data::DrugContent content;
    for (int c = 0; c < categories; ++c)
        content.categories.push_back({QStringLiteral("%1").arg(c + 1, 3, 10, QLatin1Char('0')),
                                      chinese(3).chopped(1) + QStringLiteral("药%1").arg(c + 1)});
    content.drugs.reserve(size_t(drugs));
    // Names and other names that read like real ones, for the name keys.
    SyntheticNames names(seed);
    for (int i = 0; i < drugs; ++i) {
        data::DrugContent::Drug d;
        d.values << content.categories[size_t(i % categories)].bm
                 << names.name(i)
                 << latin(around(28))
                 << names.otherNames()
                 << chinese(around(60))
                 << chinese(around(240))
                 << ((i % 3 == 0) ? chinese(around(120)) : QString())
                 << chinese(around(40))
                 << chinese(around(60))
                 << chinese(around(60))
                 << chinese(around(16))
                 << chinese(around(70)) + QStringLiteral("证型%1。").arg(i % 1200, 4, 10, QLatin1Char('0'))
                 << chinese(around(80));
        content.drugs.push_back(d);
    }
    content.help.push_back({QStringLiteral("01"), QStringLiteral("基准测试数据"),
                            QStringLiteral("本数据库由程序生成，仅用于性能测试。"), true});
    data::DatabaseBuilder::build(content, outPath, overwrite, progress);
}


void makePreviousLayout(const QString &path)
{
    data::Connection file(path);
    file.open();
    for (const char *sql : {"DROP TRIGGER DRUG_ZB_SEARCH_AI", "DROP TRIGGER DRUG_ZB_SEARCH_AU",
                            "DROP TRIGGER DRUG_ZB_SEARCH_AD", "DROP TABLE DRUG_SEARCH_INDEX", "DROP TABLE DRUG_SEARCH_TOP",
                            "DROP TABLE DRUG_ZB_DIRTY", "DROP INDEX DRUG_ZB_LB",
                            "DROP TABLE DRUG_NAME_KEY", "DROP TABLE DRUG_NAME_KEY_SOURCE"})
        file.execute(QString::fromUtf8(sql));
    // One statement at a time: the connection refuses several in one text.
    for (const QString &statement : QString::fromUtf8(PreviousDerived).split(QStringLiteral("\n\n"), Qt::SkipEmptyParts)) {
        if (!statement.trimmed().isEmpty())
            file.execute(statement);
    }
    // Every bucket of every chunk of 1,024 drugs held a 128-byte bitmap.
    file.execute(QStringLiteral(
        "WITH RECURSIVE bucket(b) AS (SELECT 0 UNION ALL SELECT b + 1 FROM bucket WHERE b < 4095), "
        "chunk(c) AS (SELECT 0 UNION ALL SELECT c + 1 FROM chunk WHERE c < (SELECT ifnull(max(ID), 0) / 1024 FROM DRUG_ZB)) "
        "INSERT INTO DRUG_GRAM SELECT b, c, randomblob(128) FROM bucket, chunk"));
    file.execute(QStringLiteral("PRAGMA user_version = 0"));
    // As that build left it: without the pages the index of this one took.
    file.execute(QStringLiteral("VACUUM"));
}

} // namespace tools
