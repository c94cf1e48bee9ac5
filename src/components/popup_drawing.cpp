#include "components/popup_notifier.h"

#include <QApplication>
#include <QBitmap>
#include <QFrame>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>

// What a notification window shows: the gradient or picture behind it, the icon, the title and
// the text, and where the text sits.

namespace brevio {

namespace {

// a * b / c rounded to the nearest integer, halves away from zero.
int MulDivRounded(int a, int b, int c)
{
    const long long product = static_cast<long long>(a) * b;
    const long long divisor = std::llabs(c);
    const long long magnitude = (std::llabs(product) * 2 + divisor) / (2 * divisor);
    return static_cast<int>(((product < 0) != (c < 0)) ? -magnitude : magnitude);
}

// n / 2 rounded to the nearest integer, halves to the even neighbour.
int HalfToEven(int n)
{
    const int down = static_cast<int>(std::floor(n / 2.0));
    if (n % 2 == 0)
        return down;
    return down % 2 == 0 ? down : down + 1;
}

// Pictures without an alpha channel are drawn with their bottom-left pixel's colour left out.
QPixmap Transparent(const QPixmap& picture)
{
    if (picture.isNull() || picture.hasAlphaChannel())
        return picture;
    const QImage image = picture.toImage();
    QPixmap result = picture;
    result.setMask(QBitmap::fromImage(image.createMaskFromColor(image.pixel(0, image.height() - 1), Qt::MaskInColor)));
    return result;
}

void SetTextColour(QWidget* label, const QColor& colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText,
                     colour.isValid() ? colour : QApplication::palette().color(QPalette::WindowText));
    label->setPalette(palette);
}

}  // namespace

QColor GradientStepColor(const QColor& c1, const QColor& c2, int step, int steps)
{
    if (steps == 0)
        return c1;
    auto channel = [&](int a, int b) { return (a + MulDivRounded(step, b - a, steps)) & 0xFF; };
    return QColor(channel(c1.red(), c2.red()), channel(c1.green(), c2.green()), channel(c1.blue(), c2.blue()));
}

QImage PaintGradient(const QSize& size, const QColor& c1, const QColor& c2, TOrientation orientation)
{
    QImage image(size, QImage::Format_RGB32);
    const bool vertical = orientation == TOrientation::mbVertical;
    const int steps = vertical ? size.height() : size.width();
    for (int i = 0; i < steps; ++i) {
        const QRgb colour = GradientStepColor(c1, c2, i, steps).rgb();
        if (vertical) {
            QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(i));
            std::fill(row, row + size.width(), colour);
        } else {
            for (int y = 0; y < size.height(); ++y)
                reinterpret_cast<QRgb*>(image.scanLine(y))[i] = colour;
        }
    }
    return image;
}

void TfrmPopupNotifier::ShowTitle()
{
    lblTitle_->setFont(settings_.TitleFont);
    SetTextColour(lblTitle_, settings_.TitleFontColor);
    lblTitle_->setText(settings_.Title);
    lblTitle_->adjustSize();
}

void TfrmPopupNotifier::FitTitle()
{
    // The window keeps its size in every language: a title longer than the room beside the icon
    // (the count of "Новых сообщений: 12", say) is set in a smaller font until it fits, so the
    // number at its end is never cut off.
    const int room = pnlBorder_->width() - lblTitle_->x() - 4;
    QFont font = settings_.TitleFont;
    constexpr qreal kSmallest = 6.0;
    while (QFontMetrics(font).horizontalAdvance(settings_.Title) > room) {
        const qreal points = font.pointSizeF() > 0 ? font.pointSizeF() : font.pixelSize() * 0.75;
        if (points <= kSmallest)
            break;
        font.setPointSizeF(std::max(kSmallest, points - 0.5));
    }
    lblTitle_->setFont(font);
    // Still too long in the smallest font: it wraps within the room.
    const bool wrap = QFontMetrics(font).horizontalAdvance(settings_.Title) > room;
    lblTitle_->setWordWrap(wrap);
    if (wrap)
        lblTitle_->resize(room, lblTitle_->heightForWidth(room));
    else
        lblTitle_->adjustSize();
}

void TfrmPopupNotifier::PaintBackground()
{
    const QSize size = imgGradient_->size();
    QImage image;
    if (settings_.BackgroundImage.isNull()) {
        imgStrip_->setPixmap(QPixmap(QStringLiteral(":/strip.bmp")));  // left empty if missing
        image = PaintGradient(size, settings_.GradientColor1, settings_.GradientColor2, settings_.GradientOrientation);
    } else {
        image = QImage(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        const QPixmap picture = Transparent(settings_.BackgroundImage);
        switch (settings_.BackgroundDrawMethod) {
        case TPopupImageDrawMethod::dmActualSize:
            painter.drawPixmap(0, 0, picture);
            break;
        case TPopupImageDrawMethod::dmTile:
            for (int x = 0; x < size.width(); x += picture.width())
                for (int y = 0; y < size.height(); y += picture.height())
                    painter.drawPixmap(x, y, picture);
            break;
        case TPopupImageDrawMethod::dmFit:
            painter.drawPixmap(QRect(QPoint(0, 0), size), picture);
            break;
        }
    }
    if (settings_.IconBitmap.isNull()) {
        lblTitle_->move(8, lblTitle_->y());
    } else {
        QPainter painter(&image);
        painter.drawPixmap(settings_.IconLeft, settings_.IconTop, Transparent(settings_.IconBitmap));
    }
    imgGradient_->setPixmap(QPixmap::fromImage(image));
}

void TfrmPopupNotifier::LayoutText(bool hover)
{
    lblText_->setFont(hover ? settings_.HoverFont : settings_.Font);
    SetTextColour(lblText_, hover ? settings_.HoverFontColor : settings_.FontColor);
    lblText_->setText(settings_.Text);
    // The text wraps within the panel less 15 pixels and sits in the panel's middle.
    const int panelWidth = pnlBorder_->width();
    const int panelHeight = pnlBorder_->height();
    const int width = panelWidth - 15;
    int height = lblText_->heightForWidth(width);
    if (height < 0)
        height = lblText_->sizeHint().height();
    lblText_->setGeometry(HalfToEven(panelWidth - width), HalfToEven(panelHeight - height), width, height);
}

}  // namespace brevio
