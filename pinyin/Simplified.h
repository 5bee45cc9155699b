#pragma once

#include <QString>
#include <QStringView>

namespace pinyin {

// Traditional characters to simplified ones (麻黃 -> 麻黄), by OpenCC's t2s
// conversion, loaded once on first use. Where OpenCC or its data cannot be
// loaded the text comes back as it is, and simplifiedLoadError() says why.
QString toSimplified(QStringView text);
QString simplifiedLoadError();

} // namespace pinyin
