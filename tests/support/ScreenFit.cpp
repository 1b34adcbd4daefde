#include "ScreenFit.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTextDocument>

namespace ScreenFit {

namespace {

    QString nameOf(const QWidget* widget)
    {
        const QString name = widget->objectName();
        return name.isEmpty() ? QString::fromLatin1(widget->metaObject()->className()) : name;
    }

    int widestLine(const QFontMetrics& metrics, const QString& text)
    {
        int widest = 0;
        for (const QString& line : text.split(QLatin1Char('\n')))
            widest = qMax(widest, metrics.horizontalAdvance(line));
        return widest;
    }

    // The content of a scroll area's viewport moves inside it: it may be taller, never wider.
    bool isScrolledContent(const QWidget* widget)
    {
        const QWidget* parent = widget->parentWidget();
        const auto* area = parent ? qobject_cast<const QAbstractScrollArea*>(parent->parentWidget()) : nullptr;
        return area && area->viewport() == parent;
    }

    // The room QLabel gives its text: the contents less the margin and, for a framed label aligned to
    // a side, the indent it then adds.
    int labelRoom(const QLabel* label)
    {
        int room = label->contentsRect().width() - 2 * label->margin();
        int indent = label->indent();
        if (indent < 0 && label->frameWidth() > 0)
            indent = QFontMetrics(label->font()).horizontalAdvance(QLatin1Char('x')) / 2 - label->margin();
        if (indent > 0) {
            if (label->alignment() & Qt::AlignLeft)
                room -= indent;
            if (label->alignment() & Qt::AlignRight)
                room -= indent;
        }
        return room;
    }

    void checkLabel(const QLabel* label, QStringList& out)
    {
        const QString text = label->text();
        if (text.isEmpty())
            return;
        const bool rich
            = label->textFormat() == Qt::RichText || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(text));
        const QString plain = rich ? [&] {
        QTextDocument doc;
        doc.setHtml(text);
        return doc.toPlainText();
    }()
                               : text;
        const QFontMetrics metrics(label->font());
        const int room = labelRoom(label);
        if (label->wordWrap()) {
            const QRect need = metrics.boundingRect(QRect(0, 0, room, 10000), Qt::TextWordWrap, plain);
            if (need.width() > room || need.height() > label->contentsRect().height())
                out << QStringLiteral("%1: text \"%2\" needs %3 x %4, has %5 x %6")
                           .arg(nameOf(label), plain)
                           .arg(need.width())
                           .arg(need.height())
                           .arg(room)
                           .arg(label->contentsRect().height());
            return;
        }
        const int need = widestLine(metrics, plain);
        if (need > room)
            out << QStringLiteral("%1: text \"%2\" needs %3 px, has %4").arg(nameOf(label), plain).arg(need).arg(room);
    }

    void checkButton(const QAbstractButton* button, QStringList& out)
    {
        QString text = button->text();
        text.remove(QLatin1Char('&'));
        if (text.isEmpty())
            return;
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = text;
        QStyle::SubElement element = QStyle::SE_PushButtonContents;
        if (qobject_cast<const QCheckBox*>(button))
            element = QStyle::SE_CheckBoxContents;
        else if (qobject_cast<const QRadioButton*>(button))
            element = QStyle::SE_RadioButtonContents;
        else if (!qobject_cast<const QPushButton*>(button))
            return;
        int room = button->style()->subElementRect(element, &option, button).width();
        if (!button->icon().isNull())
            room -= button->iconSize().width() + 4;
        const int need = widestLine(QFontMetrics(button->font()), text);
        if (need > room)
            out << QStringLiteral("%1: button text \"%2\" needs %3 px, has %4")
                       .arg(nameOf(button), text)
                       .arg(need)
                       .arg(room);
    }

} // namespace

QStringList problems(const QWidget* window)
{
    QStringList out;
    if (window->width() > Screen.width() || window->height() > Screen.height())
        out << QStringLiteral("%1: window %2 x %3 is larger than the screen")
                   .arg(nameOf(window))
                   .arg(window->width())
                   .arg(window->height());
    const QList<QWidget*> children = window->findChildren<QWidget*>();
    for (const QWidget* widget : children) {
        if (widget->isWindow() || !widget->isVisibleTo(window))
            continue;
        const QWidget* parent = widget->parentWidget();
        const QRect room(QPoint(0, 0), parent->size());
        const QRect at = widget->geometry();
        const bool inside
            = isScrolledContent(widget) ? at.left() >= 0 && at.right() <= room.right() : room.contains(at);
        if (!inside)
            out << QStringLiteral("%1: geometry %2,%3 %4 x %5 reaches past %6 (%7 x %8)")
                       .arg(nameOf(widget))
                       .arg(at.x())
                       .arg(at.y())
                       .arg(at.width())
                       .arg(at.height())
                       .arg(nameOf(parent))
                       .arg(room.width())
                       .arg(room.height());
        if (const auto* label = qobject_cast<const QLabel*>(widget))
            checkLabel(label, out);
        else if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
            checkButton(button, out);
    }
    return out;
}

void verify(const QWidget* window, const QString& name)
{
    const QStringList found = problems(window);
    if (!found.isEmpty())
        QTest::qFail(
            qPrintable(
                QStringLiteral("%1 does not fit the screen:\n  %2").arg(name, found.join(QStringLiteral("\n  ")))),
            __FILE__, __LINE__);
}

} // namespace ScreenFit
