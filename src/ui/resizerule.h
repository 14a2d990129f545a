#pragma once
// A window's text box fills it less fixed margins, in twips, taken from the
// window's outer size. The rule is never applied with a negative result.

#include <QSize>

#include <optional>

class QWidget;

inline std::optional<QSize> ruleSize(QSize outerTwips, int heightMargin, int widthMargin) {
    const int h = outerTwips.height() - heightMargin;
    const int w = outerTwips.width() - widthMargin;
    if (outerTwips.height() <= 0 || outerTwips.width() <= 0 || h < 0 || w < 0)
        return std::nullopt;
    return QSize(w, h);
}

// Sizes `box` at the top left of `window`'s client area by the rule. Called on
// resizes and moves: the window manager's frame is known only once the window
// is mapped, and the outer size may change then without a resize.
void applyResizeRule(QWidget *window, QWidget *box, int heightMargin, int widthMargin);

#include <QObject>

// Applies the rule whenever the window is shown or painted as well: a window
// whose size was restored before it had a frame gets its frame later without
// being resized or moved, and the rule must count that frame too.
class ResizeRuleKeeper : public QObject {
public:
    ResizeRuleKeeper(QWidget *window, QWidget *box, int heightMargin, int widthMargin);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window, *m_box;
    int m_heightMargin, m_widthMargin;
    QSize m_outer; // the outer size the rule was last applied for
};
