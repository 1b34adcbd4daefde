#include "ChoiceBox.h"

#include <QApplication>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

namespace {

constexpr int Margin = 6;
constexpr int Spacing = 6;
constexpr int BorderWidth = 1;

QStyle::StandardPixmap iconPixmap(int icon)
{
    switch (icon) {
    case 1:
        return QStyle::SP_MessageBoxInformation;
    case 3:
        return QStyle::SP_MessageBoxCritical;
    default:
        return QStyle::SP_MessageBoxWarning;
    }
}

// The longest head of the paragraph no wider than width, at least one character.
int fittingHead(const QString& paragraph, const QFontMetrics& metrics, int width)
{
    int fit = 0;
    while (fit < paragraph.size() && metrics.horizontalAdvance(paragraph.left(fit + 1)) <= width)
        ++fit;
    return qMax(1, fit);
}

} // namespace

ChoiceBox::ChoiceBox(int icon, const QString& title, const QString& text, const QStringList& buttons)
    : QDialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("ChoiceBox"));
    setWindowTitle(title);
    setFont(QApplication::font());
    const QFontMetrics metrics(font());

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("BoxFrame"));
    frame->setFrameStyle(QFrame::Box | QFrame::Plain);
    frame->setLineWidth(BorderWidth);
    outer->addWidget(frame);

    auto* column = new QVBoxLayout(frame);
    column->setContentsMargins(0, 0, 0, Margin);
    column->setSpacing(Spacing);
    const int inner = MaxWidth - 2 * BorderWidth;

    // Without a window frame the title would be lost: it is the box's first line, as on the screens.
    auto* titleLabel = new QLabel(frame);
    titleLabel->setObjectName(QStringLiteral("BoxTitle"));
    titleLabel->setAlignment(Qt::AlignCenter);
    titleLabel->setStyleSheet(QStringLiteral("color: white; background: blue"));
    titleLabel->setText(wrapText(title, metrics, inner - 2 * Margin));
    column->addWidget(titleLabel);

    auto* body = new QHBoxLayout;
    body->setContentsMargins(Margin, 0, Margin, 0);
    body->setSpacing(Spacing);
    int textWidth = inner - 2 * Margin;
    if (icon > 0) {
        // The style's message-box icon (48 pixels in some) would take a fifth of the width.
        const int side = style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, this);
        auto* iconLabel = new QLabel(frame);
        iconLabel->setObjectName(QStringLiteral("BoxIcon"));
        iconLabel->setPixmap(style()->standardIcon(iconPixmap(icon), nullptr, this).pixmap(side, side));
        iconLabel->setAlignment(Qt::AlignTop);
        iconLabel->setFixedWidth(side);
        body->addWidget(iconLabel);
        textWidth -= side + Spacing;
    }
    auto* textLabel = new QLabel(frame);
    textLabel->setObjectName(QStringLiteral("BoxText"));
    textLabel->setTextFormat(Qt::PlainText);
    textLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    textLabel->setText(wrapText(text, metrics, textWidth));
    body->addWidget(textLabel, 1);
    column->addLayout(body);

    auto* row = new QHBoxLayout;
    row->setContentsMargins(Margin, 0, Margin, 0);
    row->setSpacing(Spacing);
    for (int i = 0; i < buttons.size(); ++i) {
        auto* button = new QPushButton(buttons[i], frame);
        button->setObjectName(QStringLiteral("BoxButton%1").arg(i));
        // Equal shares of the width, however short a text is.
        button->setMinimumWidth(0);
        button->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        button->setAutoDefault(true);
        connect(button, &QPushButton::clicked, this, [this, i] {
            m_answer = i;
            accept();
        });
        row->addWidget(button, 1);
        m_buttons << button;
    }
    column->addLayout(row);

    setDefaultAnswer(0);
    setFixedSize(MaxWidth, sizeHint().height());
    // Laid out now rather than when shown, so that what the box will show can be measured.
    outer->setGeometry(rect());
    column->setGeometry(frame->contentsRect());
}

void ChoiceBox::setDefaultAnswer(int answer)
{
    for (int i = 0; i < m_buttons.size(); ++i)
        m_buttons[i]->setDefault(i == answer);
    if (answer >= 0 && answer < m_buttons.size())
        m_buttons[answer]->setFocus();
}

int ChoiceBox::run()
{
    m_answer = m_escapeAnswer;
    QRect area;
    if (const QWidget* window = QApplication::activeWindow())
        area = window->frameGeometry();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isValid())
        move(area.center() - rect().center());
    exec();
    return m_answer;
}

void ChoiceBox::reject()
{
    m_answer = m_escapeAnswer;
    QDialog::reject();
}

QString ChoiceBox::wrapText(const QString& text, const QFontMetrics& metrics, int width)
{
    QStringList lines;
    const QStringList paragraphs = text.split(QLatin1Char('\n'));
    for (QString paragraph : paragraphs) {
        while (metrics.horizontalAdvance(paragraph) > width) {
            const int fit = fittingHead(paragraph, metrics, width);
            // A blank at the end of the fitting head (or just after it) is the break; the blank goes.
            const int blank = paragraph.lastIndexOf(QLatin1Char(' '), fit < paragraph.size() ? fit : fit - 1);
            const bool atBlank = blank > 0 && !paragraph.left(blank).trimmed().isEmpty();
            const int cut = atBlank ? blank : fit;
            QString head = paragraph.left(cut);
            while (head.endsWith(QLatin1Char(' ')))
                head.chop(1);
            lines << head;
            paragraph = paragraph.mid(atBlank ? cut + 1 : cut);
            while (paragraph.startsWith(QLatin1Char(' ')))
                paragraph.remove(0, 1);
        }
        lines << paragraph;
    }
    return lines.join(QLatin1Char('\n'));
}
