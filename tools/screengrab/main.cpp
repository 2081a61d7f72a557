// rolvane-screengrab OUT.png [SECONDS]: waits until something is drawn on the
// X screen and the picture has stopped changing, then saves it, cropped to
// what differs from the empty background (plus a margin). Used by
// scripts/run-demo under xvfb-run, where there is no window manager and no
// other program on the screen. Exits 1 when nothing settled in time.
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kMargin = 12;
constexpr int kPollMs = 200;

// The part of the image that differs from its top-left pixel; empty when
// the whole image is that one colour.
QRect Drawn(const QImage& image) {
    const QRgb background = image.pixel(0, 0);
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (line[x] == background) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0) return {};
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

}  // namespace

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: rolvane-screengrab OUT.png [SECONDS]\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 30;
    int polls = seconds * 1000 / kPollMs;
    QImage previous;

    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const QImage image =
            QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
        const QRect drawn = Drawn(image);
        if (!drawn.isEmpty() && image == previous) {
            const QRect crop = drawn.adjusted(-kMargin, -kMargin, kMargin, kMargin) & image.rect();
            QGuiApplication::exit(image.copy(crop).save(out) ? 0 : 1);
            return;
        }
        previous = image;
        if (--polls <= 0) {
            std::fprintf(stderr, "rolvane-screengrab: the screen did not settle\n");
            QGuiApplication::exit(1);
        }
    });
    timer.start(kPollMs);
    return application.exec();
}
