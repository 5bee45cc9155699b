// The anchors of the benchmark's searches: the same statement on a plain
// copy of the same data (unencrypted, 4 KB pages) through the system's own
// SQLite, which cannot share a process with SQLCipher. Each search runs as a
// full scan and, where the text has a run of three characters or more, with
// an FTS5 trigram index (made in the copy the first time).
//
//   zelkano_anchor PLAIN.db REPS COLUMN TEXT [COLUMN TEXT ...]
//
// Prints one line per search and kind: kind, median, min, max (ms), rows.
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Closer {
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};
struct Finalizer {
    void operator()(sqlite3_stmt *s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalizer>;

Statement prepare(sqlite3 *db, const std::string &sql)
{
    sqlite3_stmt *s = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), int(sql.size()), &s, nullptr) != SQLITE_OK)
        throw std::runtime_error(sql + ": " + sqlite3_errmsg(db));
    return Statement(s);
}

void exec(sqlite3 *db, const std::string &sql)
{
    char *error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string text = error ? error : sqlite3_errmsg(db);
        sqlite3_free(error);
        throw std::runtime_error(sql + ": " + text);
    }
}

double nowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

unsigned g_sink = 0;

// Every column of every row read as text, as the program's record sets do;
// gives the row count and the first row's ID.
int readAll(sqlite3_stmt *s, sqlite3_int64 *first)
{
    int rows = 0;
    while (sqlite3_step(s) == SQLITE_ROW) {
        for (int c = 0; c < sqlite3_column_count(s); ++c) {
            const unsigned char *text = sqlite3_column_text(s, c);
            g_sink += unsigned(sqlite3_column_bytes(s, c)) + (text ? text[0] : 0u);
        }
        if (rows++ == 0)
            *first = sqlite3_column_int64(s, 0);
    }
    sqlite3_reset(s);
    return rows;
}

bool hasTrigramRun(const std::string &typed)
{
    int run = 0;
    for (size_t i = 0; i < typed.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(typed[i]);
        if (c == '%' || c == '_')
            run = 0;
        else if ((c & 0xC0) != 0x80 && ++run >= 3)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 5 || (argc - 3) % 2) {
        std::fprintf(stderr, "usage: zelkano_anchor PLAIN.db REPS COLUMN TEXT [COLUMN TEXT ...]\n");
        return 2;
    }
    try {
        sqlite3 *raw = nullptr;
        if (sqlite3_open_v2(argv[1], &raw, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string("cannot open ") + argv[1]);
        std::unique_ptr<sqlite3, Closer> db(raw);
        const int reps = std::max(3, std::atoi(argv[2]));
        {
            Statement has = prepare(db.get(), "select count(*) from sqlite_master where name = 'DRUG_FTS'");
            sqlite3_step(has.get());
            if (sqlite3_column_int(has.get(), 0) == 0) {
                std::fprintf(stderr, "making the FTS5 trigram index of the plain copy\n");
                exec(db.get(), "CREATE VIRTUAL TABLE DRUG_FTS USING fts5(功能主治, 英文名称, content='DRUG_ZB', "
                               "content_rowid='ID', tokenize='trigram')");
                exec(db.get(), "INSERT INTO DRUG_FTS (DRUG_FTS) VALUES ('rebuild')");
            }
        }
        Statement sheet = prepare(db.get(), "select * from  DRUG_ZB where ID=?");
        for (int a = 3; a + 1 < argc; a += 2) {
            const std::string column = argv[a], typed = argv[a + 1], pattern = "%" + typed + "%";
            struct Kind {
                const char *name;
                std::string sql;
            };
            std::vector<Kind> kinds{{"full scan", "select ID,类别,药物名称 from DRUG_ZB  where 1=1 and  " + column +
                                                      " like ?1 order by LB,ID"}};
            if (hasTrigramRun(typed))
                kinds.push_back({"FTS5 trigram", "select ID,类别,药物名称 from DRUG_ZB  where ID in (select rowid from DRUG_FTS where " +
                                                     column + " like ?1) order by LB,ID"});
            for (const Kind &kind : kinds) {
                Statement s = prepare(db.get(), kind.sql);
                sqlite3_bind_text(s.get(), 1, pattern.c_str(), int(pattern.size()), SQLITE_TRANSIENT);
                std::vector<double> times;
                int rows = 0;
                for (int i = 0; i <= reps; ++i) {
                    const double start = nowMs();
                    sqlite3_int64 first = 0;
                    rows = readAll(s.get(), &first);
                    if (rows > 0) {
                        sqlite3_bind_int64(sheet.get(), 1, first);
                        readAll(sheet.get(), &first);
                    }
                    if (i > 0)
                        times.push_back(nowMs() - start);
                }
                std::sort(times.begin(), times.end());
                const size_t n = times.size();
                const double median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
                std::printf("%s\t%s\t%s\t%.3f\t%.3f\t%.3f\t%d\n", column.c_str(), typed.c_str(), kind.name, median,
                            times.front(), times.back(), rows);
            }
        }
        std::fprintf(stderr, "(sink %u)\n", g_sink);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "zelkano_anchor: %s\n", e.what());
        return 1;
    }
    return 0;
}
