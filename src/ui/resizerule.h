#pragma once
// A window's text box fills it less fixed margins, in twips, taken from the
// window's outer size. The rule is never applied with a negative result.

#include <QSize>

#include <optional>

inline std::optional<QSize> ruleSize(QSize outerTwips, int heightMargin, int widthMargin) {
    const int h = outerTwips.height() - heightMargin;
    const int w = outerTwips.width() - widthMargin;
    if (outerTwips.height() <= 0 || outerTwips.width() <= 0 || h < 0 || w < 0)
        return std::nullopt;
    return QSize(w, h);
}

// The main window's editor: H - 800, W - 100.
inline std::optional<QSize> editorSize(QSize outerTwips) {
    return ruleSize(outerTwips, 800, 100);
}
// The output window's text box: H - 500, W - 100.
inline std::optional<QSize> outputTextSize(QSize outerTwips) {
    return ruleSize(outerTwips, 500, 100);
}
