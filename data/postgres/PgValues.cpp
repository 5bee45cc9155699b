#include "data/postgres/PgValues.h"
#include "data/DbError.h"


namespace data::pg {

bool isServerText(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto *end = p + bytes.size();
    while (p < end) {
        const unsigned char c = *p++;
        if (c == 0)
            return false;
        if (c < 0x80)
            continue;
        int more;
        std::uint32_t code;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            code = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            code = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            code = c & 0x07;
        } else {
            return false;
        }
        if (end - p < more)
            return false;
        for (int i = 0; i < more; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            code = code << 6 | (p[i] & 0x3F);
        }
        p += more;
        const std::uint32_t least = more == 2 ? 0x800 : more == 3 ? 0x10000 : 0x80;
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
    }
    return true;
}

QString unfitForServer(const RawValue &value)
{
    switch (value.type) {
    case RawValue::Null:
        return {};
    case RawValue::Text:
        if (value.bytes.contains('\0'))
            return QStringLiteral("文本中含有 NUL 字符");
        return isServerText(value.bytes) ? QString() : QStringLiteral("文本不是有效的 UTF-8");
    case RawValue::Blob:
        return QStringLiteral("二进制数据（BLOB）不是文本");
    default:
        return QStringLiteral("数值不是文本");
    }
}

void requireFitForServer(const RawValue &value, const QString &table, qint64 id, const QString &column)
{
    const QString why = unfitForServer(value);
    if (!why.isEmpty())
        throw DbError(QStringLiteral("表 %1 中 ID 为 %2 的行，列 %3：%4，服务器无法原样保存。没有写入任何内容")
                          .arg(table).arg(id).arg(column, why));
}

} // namespace data::pg
