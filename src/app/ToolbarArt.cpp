#include "app/ToolbarArt.h"

#include "controls/MyToolBar.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <array>
#include <cmath>

namespace ToolbarArt {
namespace {

constexpr std::array<const char*, kButtonCount> kCaptions{
    "Device", "Open", "Save", "Read", "Program", "Test Data", "Calibrate"};

const QColor kInk(40, 52, 64);
const QColor kBlue(48, 112, 178);
const QColor kGreen(46, 150, 84);
const QColor kAmber(232, 170, 48);

// The controller: a small box with a status light, used by several pictures.
void DrawDevice(QPainter& p, const QRectF& box) {
    p.setPen(QPen(kInk, 1.2));
    p.setBrush(QColor(200, 208, 216));
    p.drawRoundedRect(box, 2, 2);
    p.setBrush(kGreen);
    p.drawEllipse(QPointF(box.right() - 4, box.top() + 4), 1.8, 1.8);
    p.setPen(QPen(kInk, 1));
    for (int i = 0; i < 3; ++i)
        p.drawLine(QPointF(box.left() + 3, box.bottom() - 3 - 2.5 * i),
                   QPointF(box.left() + box.width() * 0.55, box.bottom() - 3 - 2.5 * i));
}

void DrawArrow(QPainter& p, QPointF from, QPointF to, const QColor& colour) {
    p.setPen(QPen(colour, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(from, to);
    const double angle = std::atan2(to.y() - from.y(), to.x() - from.x());
    const double head = 5.5;
    for (double side : {-0.55, 0.55})
        p.drawLine(to, QPointF(to.x() - head * std::cos(angle + side),
                               to.y() - head * std::sin(angle + side)));
}

void DrawPictogram(QPainter& p, int index) {
    switch (index) {
    case 0: { // connection: a USB plug on its cable
        p.setPen(QPen(kInk, 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4, 24), QPointF(11, 17));
        p.setPen(QPen(kInk, 1.2));
        p.setBrush(kBlue);
        QPainterPath body;
        body.addRoundedRect(QRectF(10, 6, 12, 12), 2, 2);
        p.drawPath(body.translated(0, 0));
        p.setBrush(QColor(220, 224, 228));
        p.drawRect(QRectF(20, 8, 7, 8));
        p.setBrush(kInk);
        p.drawRect(QRectF(22, 9.5, 2, 1.8));
        p.drawRect(QRectF(22, 12.7, 2, 1.8));
        break;
    }
    case 1: { // open: a folder with its flap lifted
        p.setPen(QPen(kInk, 1.2));
        p.setBrush(QColor(214, 150, 40));
        p.drawRect(QRectF(3, 9, 22, 15));
        p.drawRect(QRectF(3, 6, 9, 3));
        QPainterPath flap;
        flap.moveTo(7, 13);
        flap.lineTo(28, 13);
        flap.lineTo(24, 24);
        flap.lineTo(3, 24);
        flap.closeSubpath();
        p.setBrush(kAmber);
        p.drawPath(flap);
        break;
    }
    case 2: { // save: a diskette
        p.setPen(QPen(kInk, 1.2));
        p.setBrush(kBlue);
        QPainterPath disk;
        disk.moveTo(4, 4);
        disk.lineTo(22, 4);
        disk.lineTo(26, 8);
        disk.lineTo(26, 26);
        disk.lineTo(4, 26);
        disk.closeSubpath();
        p.drawPath(disk);
        p.setBrush(QColor(236, 240, 244));
        p.drawRect(QRectF(8, 4, 12, 8));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(8, 16, 14, 10));
        p.setBrush(kInk);
        p.drawRect(QRectF(16, 5.5, 2.5, 5));
        break;
    }
    case 3: // read: from the device to the desk
        DrawDevice(p, QRectF(12, 3, 15, 13));
        DrawArrow(p, QPointF(16, 19), QPointF(6, 27), kGreen);
        break;
    case 4: // program: from the desk into the device
        DrawDevice(p, QRectF(12, 3, 15, 13));
        DrawArrow(p, QPointF(4, 27), QPointF(14, 19), kBlue);
        break;
    case 5: { // test data: a trace over its axes
        p.setPen(QPen(kInk, 1.2));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3, 4, 24, 22));
        QPainterPath trace;
        for (int x = 0; x <= 20; ++x) {
            const double y = 15 - 8 * std::sin(x * 0.55) * std::exp(-x * 0.05);
            if (x == 0)
                trace.moveTo(5 + x, y);
            else
                trace.lineTo(5 + x, y);
        }
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(200, 60, 50), 1.6));
        p.drawPath(trace);
        p.setPen(QPen(kInk, 1));
        p.drawLine(QPointF(5, 23), QPointF(25, 23));
        break;
    }
    case 6: { // calibration: a gauge with its needle
        p.setPen(QPen(kInk, 1.2));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(3, 4, 24, 24));
        p.setPen(QPen(kInk, 1));
        for (int tick = 0; tick <= 6; ++tick) {
            const double a = M_PI * (1.15 - tick * 0.22);
            p.drawLine(QPointF(15 + 9 * std::cos(a), 16 - 9 * std::sin(a)),
                       QPointF(15 + 11 * std::cos(a), 16 - 11 * std::sin(a)));
        }
        p.setPen(QPen(QColor(200, 60, 50), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(15, 16), QPointF(21, 9));
        p.setBrush(kInk);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(15, 16), 2, 2);
        break;
    }
    default:
        break;
    }
}

QImage NormalImage(int index) {
    const QSize size = CMyToolBar::kImageSize;
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.save();
    p.translate(1, 1);
    DrawPictogram(p, index);
    p.restore();
    // The caption takes the largest size (11 px down to 8 px) that fits beside the pictogram.
    const QString caption = QString::fromLatin1(kCaptions[size_t(index)]);
    const QRect captionArea(31, 0, size.width() - 32, size.height());
    QFont font(QStringLiteral("Segoe UI"));
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
    for (int pixels = 11; pixels >= 8; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetrics(font).horizontalAdvance(caption) <= captionArea.width())
            break;
    }
    p.setFont(font);
    p.setPen(kInk);
    p.drawText(captionArea, Qt::AlignVCenter | Qt::AlignLeft, caption);
    return image;
}

QImage HotImage(int index) {
    const QSize size = CMyToolBar::kImageSize;
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(74, 152, 204), 1));
    p.setBrush(QColor(222, 236, 248));
    p.drawRoundedRect(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1), 3, 3);
    p.drawImage(0, 0, NormalImage(index));
    return image;
}

QImage DisabledImage(int index) {
    QImage image = NormalImage(index);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int alpha = qAlpha(line[x]);
            if (alpha == 0)
                continue;
            // Greyed and faded, keeping the shape.
            const int grey = qGray(line[x]);
            const int shade = std::min(255, 150 + grey / 3) * alpha / 255;
            line[x] = qRgba(shade, shade, shade, alpha);
        }
    }
    return image;
}

} // namespace

std::vector<QPixmap> ButtonImages(Look look) {
    std::vector<QPixmap> images;
    for (int i = 0; i < kButtonCount; ++i) {
        switch (look) {
        case Look::Normal:
            images.push_back(QPixmap::fromImage(NormalImage(i)));
            break;
        case Look::Hot:
            images.push_back(QPixmap::fromImage(HotImage(i)));
            break;
        case Look::Disabled:
            images.push_back(QPixmap::fromImage(DisabledImage(i)));
            break;
        }
    }
    return images;
}

QPixmap AboutPicture(QSize size) {
    QPixmap picture(size);
    picture.fill(Qt::white);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size.width() / double(kAboutSize.width()), size.height() / double(kAboutSize.height()));
    const QRectF area(0, 0, kAboutSize.width(), kAboutSize.height());

    QLinearGradient sky(area.topLeft(), area.bottomLeft());
    sky.setColorAt(0, QColor(30, 58, 92));
    sky.setColorAt(1, QColor(92, 140, 184));
    p.fillRect(area, sky);

    // The culture plate: nine wells on the membrane, the middle row under stretch.
    const QRectF plate(70, 150, 300, 300);
    p.setPen(QPen(QColor(220, 230, 240), 3));
    p.setBrush(QColor(240, 244, 248, 40));
    p.drawRoundedRect(plate, 24, 24);
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            const QPointF centre(plate.left() + 55 + column * 95, plate.top() + 55 + row * 95);
            QRadialGradient well(centre, 40, centre - QPointF(10, 10));
            well.setColorAt(0, QColor(250, 236, 240));
            well.setColorAt(0.7, QColor(226, 150, 172));
            well.setColorAt(1, QColor(150, 70, 100));
            p.setBrush(well);
            p.setPen(QPen(QColor(240, 244, 248), 2));
            p.drawEllipse(centre, 38, 38);
        }
    }

    // A pressure trace of one stretch cycle after another.
    QPainterPath trace;
    for (int x = 0; x <= 220; ++x) {
        const double phase = std::fmod(x / 55.0, 1.0);
        const double level = phase < 0.3
                                 ? phase / 0.3
                                 : (phase < 0.5 ? 1 : (phase < 0.8 ? 1 - (phase - 0.5) / 0.3 : 0));
        const QPointF point(410 + x, 420 - 70 * level);
        if (x == 0)
            trace.moveTo(point);
        else
            trace.lineTo(point);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 204, 96), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(trace);

    QFont title(QStringLiteral("Segoe UI"));
    title.setStyleHint(QFont::SansSerif);
    title.setPixelSize(64);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 30, area.width(), 90), Qt::AlignHCenter | Qt::AlignVCenter,
               QStringLiteral("Kelvastra"));
    QFont subtitle = title;
    subtitle.setPixelSize(22);
    subtitle.setBold(false);
    p.setFont(subtitle);
    p.setPen(QColor(220, 232, 244));
    p.drawText(QRectF(400, 190, 260, 120), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
               QStringLiteral("Pneumatic stretching of cell cultures"));
    return picture;
}

QIcon AppIcon() {
    QIcon icon;
    for (int side : {16, 32, 48, 64, 128}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(side / 64.0, side / 64.0);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 58, 92));
        p.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
        p.setBrush(QColor(226, 150, 172));
        for (int row = 0; row < 3; ++row)
            for (int column = 0; column < 3; ++column)
                p.drawEllipse(QPointF(14 + column * 18, 14 + row * 18), 7, 7);
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace ToolbarArt
