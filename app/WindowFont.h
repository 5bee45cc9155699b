#pragma once

#include <QFont>
#include <QStringList>

// The window's font: 宋体 first, then faces in which a Chinese character is
// exactly as wide as two blanks, so the record sheet's values line up.
inline QFont windowFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                      QStringLiteral("Noto Sans Mono CJK SC"), QStringLiteral("WenQuanYi Zen Hei Mono")});
    font.setPixelSize(12);
    font.setStyleHint(QFont::TypeWriter);
    return font;
}
