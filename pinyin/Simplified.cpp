#include "pinyin/Simplified.h"

#include <opencc.h>

#include <algorithm>
#include <memory>

namespace pinyin {

namespace {

class Converter
{
public:
    Converter()
    {
        m_handle = opencc_open(OPENCC_DEFAULT_CONFIG_TRAD_TO_SIMP);
        if (m_handle == reinterpret_cast<opencc_t>(-1)) {
            m_handle = nullptr;
            m_error = QString::fromUtf8(opencc_error());
            qWarning("OpenCC t2s not loaded, traditional characters are searched as typed: %s", opencc_error());
        }
    }
    ~Converter()
    {
        if (m_handle)
            opencc_close(m_handle);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    QString convert(QStringView text) const
    {
        if (!m_handle || text.isEmpty())
            return text.toString();
        const QByteArray utf8 = text.toUtf8();
        const std::unique_ptr<char, void (*)(char *)> out(opencc_convert_utf8(m_handle, utf8.constData(), size_t(utf8.size())),
                                                          opencc_convert_utf8_free);
        return out ? QString::fromUtf8(out.get()) : text.toString();
    }
    const QString &error() const { return m_error; }

private:
    opencc_t m_handle = nullptr;
    QString m_error;
};

const Converter &converter()
{
    static const Converter instance;
    return instance;
}

// Only text with characters beyond ASCII can change; most typing is pinyin.
bool mayChange(QStringView text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x80; });
}

} // namespace

QString toSimplified(QStringView text)
{
    return mayChange(text) ? converter().convert(text) : text.toString();
}

QString simplifiedLoadError()
{
    return converter().error();
}

} // namespace pinyin
