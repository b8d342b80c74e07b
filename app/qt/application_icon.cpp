#include "app/qt/application_icon.h"

#include "util/version.h"

QIcon application_icon() {
    QIcon builtIn;
    // Drawn PNGs: the SVG would need Qt's SVG plugin, which not every
    // desktop has.
    for (const char* size : {"16", "32", "48", "64", "128", "256"})
        builtIn.addFile(QStringLiteral(":/icons/tavrix-%1.png").arg(QLatin1String(size)));
    return QIcon::fromTheme(QString::fromLatin1(kTavrixAppId), builtIn);
}
