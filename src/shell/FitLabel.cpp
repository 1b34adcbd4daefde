#include "FitLabel.h"

#include <QFontMetrics>
#include <QLabel>

namespace {

int widestLine(const QFont& font, const QString& text)
{
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        widest = qMax(widest, QFontMetrics(font).horizontalAdvance(line));
    return widest;
}

} // namespace

void fitLabelToWidth(QLabel* label)
{
    QFont font = label->font();
    font.setStretch(QFont::Unstretched);
    const QString text = label->text();
    const int room = label->contentsRect().width();
    const int wide = widestLine(font, text);
    if (wide > room) {
        // Stretched widths do not scale exactly (a condensed face may be picked), so the first guess
        // is narrowed until the text fits.
        int stretch = qMax(50, room * 100 / wide);
        font.setStretch(stretch);
        while (stretch > 50 && widestLine(font, text) > room)
            font.setStretch(--stretch);
    }
    label->setFont(font);
}
