// Writes the program's picture as the PNG icons of a desktop's icon theme, so
// the menu shows the picture the window carries. Usage: kestro-icons DIR
#include "about/AppIcon.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kestro-icons DIR\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QDir root(QFile::decodeName(argv[1]));
    for (int size : {48, 64, 128, 256}) {
        const QString dir = root.filePath(QStringLiteral("%1x%1/apps").arg(size));
        const QString file = dir + QStringLiteral("/kestrorecorder.png");
        if (!QDir().mkpath(dir) || !kestro::kestroAppImage(size).save(file, "PNG", 9)) {
            std::fprintf(stderr, "kestro-icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
