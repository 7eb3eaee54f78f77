// Writes the Windows icon (resources/vorlant.ico) as the PNG that the Linux menu shows, so both
// platforms show one image. Used only while building.
#include <QImage>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ICON.ico OUT.png\n", argv[0]);
        return 2;
    }
    const QImage icon(QString::fromLocal8Bit(argv[1]));
    // It goes to the theme's 64 x 64 folder: a larger image is scaled down, a smaller one would
    // be blurred and is refused.
    if (icon.width() < 64 || icon.height() < 64
        || !icon.scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                .save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "cannot convert %s to %s\n", argv[1], argv[2]);
        return 1;
    }
    return 0;
}
