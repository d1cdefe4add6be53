// Draws the panel's key faces, lamp icons and application icon into PNG files.
// Usage: karvel-artwork IMAGES_DIR ICONS_DIR   (run with QT_QPA_PLATFORM=offscreen)

#include <QColor>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>
#include <QtMath>

#include <cstdio>

namespace {

constexpr int kFace = 65;
const QColor kFaceGrey(212, 212, 212);
const QColor kPressedSurround(128, 128, 128);
const QColor kKeyRed(200, 24, 24);

QFont BoldFont(int pixelSize) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixelSize);
    f.setBold(true);
    return f;
}

// The picture inside the key's surround: a letter over a black strip with the key's word, or
// the power symbol on red.
void DrawPicture(QPainter& p, const QRect& r, QChar letter, const QString& word, bool power) {
    p.fillRect(r, power ? kKeyRed : kFaceGrey);
    const int stripHeight = 15;
    const QRect top(r.left(), r.top(), r.width(), r.height() - stripHeight);
    const QRect strip(r.left(), r.bottom() - stripHeight + 1, r.width(), stripHeight);
    if (power) {
        const QPointF c = QRectF(top).center() + QPointF(0, 1);
        const qreal radius = 13;
        QPen pen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        // Ring open at the top, with the stroke through the gap.
        p.drawArc(QRectF(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius), 120 * 16,
                  -300 * 16);
        p.drawLine(QPointF(c.x(), c.y() - radius - 3), QPointF(c.x(), c.y() - 2));
        p.setPen(Qt::white);
        p.setFont(BoldFont(11));
        p.drawText(strip, Qt::AlignCenter, word);
        return;
    }
    p.setPen(Qt::black);
    p.setFont(BoldFont(36));
    p.drawText(top, Qt::AlignCenter, QString(letter));
    p.fillRect(strip, Qt::black);
    p.setPen(Qt::white);
    p.setFont(BoldFont(11));
    p.drawText(strip, Qt::AlignCenter, word);
}

// Every picture is drawn in 1x coordinates onto an image of `ratio` times the pixels, so the 2x
// files are the same drawing at full resolution, not the 1x file enlarged.
QImage Canvas(int size, int ratio, QImage::Format format) {
    QImage img(size * ratio, size * ratio, format);
    img.setDevicePixelRatio(ratio);
    return img;
}

QImage KeyFace(QChar letter, const QString& word, bool power, bool pressed, int ratio) {
    QImage img = Canvas(kFace, ratio, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    if (pressed) {
        // Darker surround; the picture sits one pixel lower and to the right, as if pushed in.
        img.fill(kPressedSurround);
        p.fillRect(0, 0, kFace, 1, Qt::black);
        p.fillRect(0, 0, 1, kFace, Qt::black);
        DrawPicture(p, QRect(5, 5, kFace - 9, kFace - 9), letter, word, power);
    } else {
        img.fill(kFaceGrey);
        p.fillRect(0, 0, kFace, 2, Qt::white);
        p.fillRect(0, 0, 2, kFace, Qt::white);
        p.fillRect(0, kFace - 2, kFace, 2, QColor(64, 64, 64));
        p.fillRect(kFace - 2, 0, 2, kFace, QColor(64, 64, 64));
        p.fillRect(2, kFace - 3, kFace - 3, 1, QColor(160, 160, 160));
        p.fillRect(kFace - 3, 2, 1, kFace - 4, QColor(160, 160, 160));
        DrawPicture(p, QRect(4, 4, kFace - 9, kFace - 9), letter, word, power);
    }
    return img;
}

QImage Lamp(int size, bool lit, int ratio) {
    QImage img = Canvas(size, ratio, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    const QPointF c(16, 14);
    if (lit) {
        p.setPen(QPen(QColor(255, 64, 0), 2, Qt::SolidLine, Qt::RoundCap));
        for (int i = 0; i < 8; ++i) {
            if (i == 2)
                continue;  // no ray where the base is
            const qreal a = qDegreesToRadians(i * 45.0);
            const QPointF dir(qCos(a), qSin(a));
            p.drawLine(c + dir * 10.5, c + dir * 14.5);
        }
    }
    QRadialGradient g(c - QPointF(2.5, 2.5), 8);
    g.setColorAt(0, lit ? QColor(255, 170, 150) : QColor(90, 90, 90));
    g.setColorAt(1, lit ? QColor(230, 0, 0) : QColor(0, 0, 0));
    p.setPen(QPen(lit ? QColor(120, 0, 0) : Qt::black, 1));
    p.setBrush(g);
    p.drawEllipse(c, 8, 8);
    p.setBrush(QColor(96, 96, 96));
    p.setPen(QPen(Qt::black, 1));
    p.drawRect(QRectF(12.5, 22.5, 7, 6));
    return img;
}

// A bench scale: platter on a column over a base with a small green readout.
QImage AppIcon(int size, int ratio = 1) {
    QImage img = Canvas(size, ratio, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(170, 170, 180));
    p.drawRect(QRectF(3.5, 5.5, 25, 3));  // platter
    p.setBrush(QColor(120, 120, 130));
    p.drawRect(QRectF(14.5, 8.5, 3, 9));  // column
    QPolygonF base;
    base << QPointF(6.5, 17.5) << QPointF(25.5, 17.5) << QPointF(29.5, 28.5) << QPointF(2.5, 28.5);
    p.setBrush(QColor(90, 90, 100));
    p.drawPolygon(base);
    p.setBrush(QColor(0, 220, 0));
    p.drawRect(QRectF(9.5, 20.5, 13, 5));  // readout
    return img;
}

bool Save(const QImage& img, const QDir& dir, const QString& name) {
    const QString path = dir.filePath(name);
    if (!img.save(path, "PNG")) {
        std::fprintf(stderr, "karvel-artwork: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: karvel-artwork IMAGES_DIR ICONS_DIR\n");
        return 2;
    }
    QDir dir(QString::fromLocal8Bit(argv[1]));
    QDir icons(QString::fromLocal8Bit(argv[2]));
    for (const QDir* d : {&dir, &icons}) {
        if (!d->exists() && !QDir().mkpath(d->path())) {
            std::fprintf(stderr, "karvel-artwork: cannot create %s\n", qPrintable(d->path()));
            return 1;
        }
    }
    struct Key {
        const char* file;
        QChar letter;
        const char* word;
        bool power;
    };
    const Key keys[] = {{"key_data", 'D', "DATA", false},
                        {"key_mode", 'M', "MODE", false},
                        {"key_tare", 'T', "TARE", false},
                        {"key_onoff", ' ', "ON/OFF", true}};
    bool ok = true;
    // Qt picks the "@2x" file on a screen of twice the density.
    for (int ratio : {1, 2}) {
        const QString at = ratio == 1 ? QString() : QStringLiteral("@%1x").arg(ratio);
        for (const Key& k : keys) {
            ok &= Save(KeyFace(k.letter, k.word, k.power, false, ratio), dir,
                       QString(k.file) + "_up" + at + ".png");
            ok &= Save(KeyFace(k.letter, k.word, k.power, true, ratio), dir,
                       QString(k.file) + "_down" + at + ".png");
        }
        for (int size : {16, 32}) {
            const QString s = QString::number(size);
            ok &= Save(Lamp(size, true, ratio), dir, "lamp_lit_" + s + at + ".png");
            ok &= Save(Lamp(size, false, ratio), dir, "lamp_dark_" + s + at + ".png");
            ok &= Save(AppIcon(size, ratio), dir, "karvel_" + s + at + ".png");
        }
    }
    // The desktop entry's icon.
    ok &= Save(AppIcon(64), icons, QStringLiteral("karvel.png"));
    return ok ? 0 : 1;
}
