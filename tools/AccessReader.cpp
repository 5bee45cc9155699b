#include "tools/AccessReader.h"
#include "data/DatabaseBuilder.h"
#include "data/DbError.h"

#include <QDataStream>
#include <QFile>
#include <QIODevice>
#include <QStringDecoder>
#include <QtEndian>
#include <map>
#include <memory>
#include <set>

// mdbtools.h declares C++ templates inside extern "C" unless glib comes first.
#include <glib.h>
#include <mdbtools.h>

namespace tools {

using data::DbError;

namespace {

constexpr quint32 DumpMagic = 0x5a4b4d44; // "ZKMD"
constexpr quint32 DumpVersion = 1;

// Row offsets on a data page carry two flags above the offset. A row that an
// edit made too long for its page is stored elsewhere: its slot keeps a
// pointer to the new place and is flagged as an overflow slot, and the new
// place is flagged as deleted so that a scan passes it by. A deleted row has
// the deleted flag; a deleted moved row leaves its copy behind, still flagged
// only as deleted, which libmdb 1.0.0 returns as a live row.
constexpr int DeletedFlag = 0x8000;
constexpr int OverflowFlag = 0x4000;
constexpr int OffsetMask = 0x1fff;

struct HandleCloser { void operator()(MdbHandle *mdb) const { mdb_close(mdb); } };
struct TableCloser { void operator()(MdbTableDef *table) const { mdb_free_tabledef(table); } };
using Handle = std::unique_ptr<MdbHandle, HandleCloser>;
using Table = std::unique_ptr<MdbTableDef, TableCloser>;

[[noreturn]] void damaged(const QString &table, const QString &what)
{
    throw DbError(QStringLiteral("文件已损坏（表 %1：%2）").arg(table, what));
}

QString gbk(const QByteArray &bytes)
{
    // Code page 936, the only one the Access version of the program wrote.
    QStringDecoder decoder("GBK");
    if (!decoder.isValid())
        throw DbError(QStringLiteral("本机的 Qt 不能解码 GBK 文字"));
    return decoder.decode(bytes);
}

struct Slot {
    quint32 page;
    int row;
};

class TableReader
{
public:
    TableReader(MdbHandle *mdb, MdbTableDef *table, QString name)
        : m_mdb(mdb), m_table(table), m_name(std::move(name)), m_pageSize(int(mdb->fmt->pg_size))
    {
    }

    // The live rows in the order Access keeps them: a moved row is read at
    // the place of its pointer.
    std::vector<Slot> liveSlots()
    {
        std::vector<quint32> pages;
        mdb_rewind_table(m_table);
        // The page now in the buffer: libmdb's slow path returns the next one.
        while (mdb_read_next_dpg(m_table)) {
            if (!pages.empty() && m_mdb->cur_pg <= pages.back())
                damaged(m_name, QStringLiteral("数据页的顺序不对"));
            pages.push_back(m_mdb->cur_pg);
        }
        std::vector<Slot> live;
        for (const quint32 page : pages) {
            readPage(page);
            const int rows = mdb_get_int16(m_mdb->pg_buf, m_mdb->fmt->row_count_offset);
            if (rows < 0 || m_mdb->fmt->row_count_offset + 2 + 2 * rows > m_pageSize)
                damaged(m_name, QStringLiteral("第 %1 页的行数").arg(page));
            for (int row = 0; row < rows; ++row) {
                const int offset = mdb_get_int16(m_mdb->pg_buf, m_mdb->fmt->row_count_offset + 2 + 2 * row);
                if (offset & DeletedFlag)
                    continue;
                if (!(offset & OverflowFlag)) {
                    live.push_back({page, row});
                    continue;
                }
                const int at = offset & OffsetMask;
                if (at + 4 > m_pageSize)
                    damaged(m_name, QStringLiteral("第 %1 页的行指针").arg(page));
                const unsigned char *pointer = m_mdb->pg_buf + at;
                live.push_back({quint32(pointer[1]) | quint32(pointer[2]) << 8 | quint32(pointer[3]) << 16,
                                 pointer[0]});
                m_moved.insert({live.back().page, live.back().row});
            }
        }
        return live;
    }

    // The raw bytes of the wanted columns of one row; nullopt for NULL.
    std::vector<std::optional<QByteArray>> read(const Slot &slot, const std::vector<int> &columns)
    {
        readPage(slot.page);
        if (m_mdb->pg_buf[0] != MDB_PAGE_DATA || mdb_get_int32(m_mdb->pg_buf, 4) != long(m_table->entry->table_pg))
            damaged(m_name, QStringLiteral("行指针指向第 %1 页，它不是本表的数据页").arg(slot.page));
        const int rows = mdb_get_int16(m_mdb->pg_buf, m_mdb->fmt->row_count_offset);
        if (slot.row >= rows)
            damaged(m_name, QStringLiteral("行指针指向第 %1 页不存在的第 %2 行").arg(slot.page).arg(slot.row));
        const int flags = mdb_get_int16(m_mdb->pg_buf, m_mdb->fmt->row_count_offset + 2 + 2 * slot.row)
            & (DeletedFlag | OverflowFlag);
        const bool moved = m_moved.count({slot.page, slot.row}) > 0;
        // A moved row's new place is flagged deleted and nothing else.
        if (moved ? flags != DeletedFlag : flags != 0)
            damaged(m_name, QStringLiteral("第 %1 页第 %2 行的标志").arg(slot.page).arg(slot.row));
        int start = 0;
        size_t length = 0;
        if (mdb_find_row(m_mdb, slot.row, &start, &length) != 0)
            damaged(m_name, QStringLiteral("第 %1 页第 %2 行").arg(slot.page).arg(slot.row));
        start &= OffsetMask;
        if (length == 0 || start + qsizetype(length) > m_pageSize)
            damaged(m_name, QStringLiteral("第 %1 页第 %2 行的长度").arg(slot.page).arg(slot.row));
        std::vector<MdbField> fields(MDB_MAX_COLS);
        const int count = mdb_crack_row(m_table, start, length, fields.data());
        if (count <= 0 || count > MDB_MAX_COLS)
            damaged(m_name, QStringLiteral("第 %1 页第 %2 行的列").arg(slot.page).arg(slot.row));
        std::map<int, const MdbField *> byColumn;
        for (int i = 0; i < count; ++i)
            byColumn[fields[size_t(i)].colnum] = &fields[size_t(i)];

        std::vector<std::optional<QByteArray>> values;
        for (const int column : columns) {
            const auto found = byColumn.find(column);
            if (found == byColumn.end() || found->second->is_null) {
                values.emplace_back();
                continue;
            }
            const MdbField &field = *found->second;
            auto *col = static_cast<MdbColumn *>(g_ptr_array_index(m_table->columns, column));
            if (field.siz < 0 || field.start < 0 || field.start + field.siz > m_pageSize)
                damaged(m_name, QStringLiteral("列 %1 的位置").arg(QString::fromUtf8(col->name)));
            if (col->col_type == MDB_MEMO || col->col_type == MDB_OLE)
                values.emplace_back(longValue(col, field));
            else
                values.emplace_back(QByteArray(static_cast<const char *>(field.value), field.siz));
        }
        return values;
    }

private:
    void readPage(quint32 page)
    {
        if (page == 0 || mdb_read_pg(m_mdb, page) != m_pageSize)
            damaged(m_name, QStringLiteral("第 %1 页无法读取").arg(page));
    }

    // A memo: inline, on one long-value page, or a chain of them.
    QByteArray longValue(MdbColumn *col, const MdbField &field)
    {
        const QString column = QString::fromUtf8(col->name);
        if (field.siz == 0)
            return QByteArray();
        if (field.siz < MDB_MEMO_OVERHEAD)
            damaged(m_name, QStringLiteral("列 %1 的长值头").arg(column));
        const qint64 total = mdb_get_int32(field.value, 0) & 0x00ffffff;
        std::vector<char> chunk(MDB_PGSIZE);
        col->bind_ptr = chunk.data();
        col->cur_value_start = field.start;
        col->cur_value_len = field.siz;
        QByteArray value;
        size_t got = mdb_ole_read(m_mdb, col, field.value, MDB_PGSIZE);
        // A chain longer than the file has pages is a loop.
        for (int links = 0; got > 0 && got <= MDB_PGSIZE; ++links) {
            value.append(chunk.data(), qsizetype(got));
            if (value.size() >= total || links > 1 << 20)
                break;
            got = mdb_ole_read_next(m_mdb, col, field.value);
        }
        col->bind_ptr = nullptr;
        if (value.size() != total)
            damaged(m_name, QStringLiteral("列 %1 的长值应有 %2 字节，读到 %3 字节")
                                .arg(column).arg(total).arg(value.size()));
        return value;
    }

    MdbHandle *m_mdb;
    MdbTableDef *m_table;
    QString m_name;
    int m_pageSize;
    std::set<std::pair<quint32, int>> m_moved;
};

} // namespace

std::vector<std::pair<QString, QStringList>> wantedTables()
{
    return {{QStringLiteral("DRUG_LB"), {QStringLiteral("BM"), QStringLiteral("MC")}},
            {QStringLiteral("DRUG_ZB"), QStringList{QStringLiteral("ID"), QStringLiteral("类别")} + data::drugColumns()},
            {QStringLiteral("HELP_LB"), {QStringLiteral("BM"), QStringLiteral("MC")}},
            {QStringLiteral("HELP_ZB"), {QStringLiteral("LB"), QStringLiteral("CONTENT")}}};
}

QString decodeJet4Text(const char *bytes, qsizetype size)
{
    const auto *b = reinterpret_cast<const unsigned char *>(bytes);
    QString text;
    if (size >= 2 && b[0] == 0xff && b[1] == 0xfe) {
        text.reserve(size);
        bool compressed = true;
        for (qsizetype i = 2; i < size;) {
            if (b[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                text += QChar(char16_t(b[i]));
                ++i;
            } else if (i + 1 < size) {
                text += QChar(char16_t(b[i] | b[i + 1] << 8));
                i += 2;
            } else {
                break;
            }
        }
        return text;
    }
    text.resize(size / 2);
    for (qsizetype i = 0; i < size / 2; ++i)
        text[i] = QChar(char16_t(b[2 * i] | b[2 * i + 1] << 8));
    return text;
}

AccessDump readAccess(const QString &path)
{
    // libmdb would otherwise let the environment choose the character sets
    // of the names it converts.
    qunsetenv("MDB_JET3_CHARSET");
    qunsetenv("MDBICONV");
    Handle mdb(mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS));
    if (!mdb)
        throw DbError(QStringLiteral("libmdb 无法打开这个文件"));
    AccessDump dump;
    if (mdb->f->jet_version == MDB_VER_JET3)
        dump.jetVersion = 3;
    else if (mdb->f->jet_version == MDB_VER_JET4)
        dump.jetVersion = 4;
    else
        throw DbError(QStringLiteral("这是 Access 2007 或更新版本的格式，无法读取"));
    if (!mdb_read_catalog(mdb.get(), MDB_TABLE))
        throw DbError(QStringLiteral("无法读取文件的对象目录，文件可能已损坏"));

    std::map<QString, MdbCatalogEntry *> entries; // by upper-case name: Access names ignore case
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type != MDB_TABLE || mdb_is_system_table(entry))
            continue;
        entries[QString::fromUtf8(entry->object_name).toUpper()] = entry;
    }
    const auto wanted = wantedTables();
    for (const auto &[name, columns] : wanted) {
        const auto found = entries.find(name);
        if (found == entries.end())
            throw DbError(QStringLiteral("文件中没有表 %1，不是本程序的药物数据库").arg(name));
        Table table(mdb_read_table(found->second));
        if (!table || !mdb_read_columns(table.get()))
            damaged(name, QStringLiteral("表定义无法读取"));
        entries.erase(found);

        std::map<QString, int> byName;
        for (unsigned i = 0; i < table->num_cols; ++i) {
            auto *col = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, i));
            byName[QString::fromUtf8(col->name).toUpper()] = int(i);
        }
        std::vector<int> indexes;
        std::vector<int> types;
        for (const QString &column : columns) {
            const auto at = byName.find(column.toUpper());
            if (at == byName.end())
                throw DbError(QStringLiteral("表 %1 中没有列 %2，不是本程序的药物数据库").arg(name, column));
            auto *col = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, at->second));
            switch (col->col_type) {
            case MDB_TEXT: case MDB_MEMO: case MDB_OLE: case MDB_BYTE: case MDB_INT: case MDB_LONGINT:
                break;
            default:
                throw DbError(QStringLiteral("表 %1 的列 %2 是无法转换的类型（%3）").arg(name, column).arg(col->col_type));
            }
            indexes.push_back(at->second);
            types.push_back(col->col_type);
            byName.erase(at);
        }
        for (const auto &[other, index] : byName) {
            auto *col = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, index));
            dump.leftOut << name + QLatin1Char('.') + QString::fromUtf8(col->name);
        }

        AccessTable out{name, columns, {}};
        TableReader reader(mdb.get(), table.get(), name);
        for (const Slot &slot : reader.liveSlots()) {
            const auto raw = reader.read(slot, indexes);
            QStringList row;
            for (size_t i = 0; i < raw.size(); ++i) {
                if (!raw[i]) {
                    row << QString();
                    continue;
                }
                const QByteArray &bytes = *raw[i];
                switch (types[i]) {
                case MDB_BYTE:
                    if (bytes.size() != 1) damaged(name, QStringLiteral("字节列的长度"));
                    row << QString::number(quint8(bytes[0]));
                    break;
                case MDB_INT:
                    if (bytes.size() != 2) damaged(name, QStringLiteral("整数列的长度"));
                    row << QString::number(qFromLittleEndian<qint16>(bytes.constData()));
                    break;
                case MDB_LONGINT:
                    if (bytes.size() != 4) damaged(name, QStringLiteral("长整数列的长度"));
                    row << QString::number(qFromLittleEndian<qint32>(bytes.constData()));
                    break;
                default:
                    // Not null: empty text stays empty, never NULL.
                    row << (dump.jetVersion == 3 ? gbk(bytes) : decodeJet4Text(bytes.constData(), bytes.size()));
                    if (row.back().isNull())
                        row.back() = QStringLiteral("");
                    break;
                }
            }
            out.rows.push_back(row);
        }
        // The table definition counts its rows; fewer or more read means
        // the pages were not all found.
        if (out.rows.size() != table->num_rows)
            throw DbError(QStringLiteral("表 %1 应有 %2 行，读到 %3 行，文件可能已损坏")
                              .arg(name).arg(table->num_rows).arg(out.rows.size()));
        dump.tables.push_back(std::move(out));
    }
    for (const auto &[upper, entry] : entries)
        dump.leftOut << QString::fromUtf8(entry->object_name);
    return dump;
}

QByteArray serialize(const AccessDump &dump)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << DumpMagic << DumpVersion << qint32(dump.jetVersion) << dump.leftOut << quint32(dump.tables.size());
    for (const AccessTable &table : dump.tables) {
        out << table.name << table.columns << quint32(table.rows.size());
        for (const QStringList &row : table.rows)
            out << row;
    }
    return bytes;
}

AccessDump deserialize(const QByteArray &bytes)
{
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0, version = 0, tables = 0;
    qint32 jet = 0;
    AccessDump dump;
    in >> magic >> version >> jet >> dump.leftOut >> tables;
    if (magic != DumpMagic || version != DumpVersion || tables > 64)
        throw DbError(QStringLiteral("读取程序的输出无法识别"));
    dump.jetVersion = jet;
    for (quint32 t = 0; t < tables && in.status() == QDataStream::Ok; ++t) {
        AccessTable table;
        quint32 rows = 0;
        in >> table.name >> table.columns >> rows;
        for (quint32 r = 0; r < rows && in.status() == QDataStream::Ok; ++r) {
            QStringList row;
            in >> row;
            table.rows.push_back(row);
        }
        dump.tables.push_back(std::move(table));
    }
    if (in.status() != QDataStream::Ok || !in.atEnd())
        throw DbError(QStringLiteral("读取程序的输出不完整"));
    return dump;
}

} // namespace tools
