#pragma once

#include <QFont>
#include <QStringList>

// The window's font: 宋体 first, then the Song faces that share its metrics
// at 12 pixels (a blank 6, a Chinese character 12, a line 12), then sans
// faces with taller lines. In every one a Chinese character is exactly two
// blanks wide, so the record sheet's values line up.
inline QFont windowFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                      QStringLiteral("AR PL SungtiL GB"), QStringLiteral("AR PL UMing CN"),
                      QStringLiteral("Noto Sans Mono CJK SC"), QStringLiteral("WenQuanYi Zen Hei Mono")});
    font.setPixelSize(12);
    font.setStyleHint(QFont::TypeWriter);
    return font;
}
