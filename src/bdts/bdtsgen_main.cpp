// kviro-bdts-gen: writes a test-system database of the project's own making.
//   kviro-bdts-gen OUT.bdts|OUT.bdt [--seed N] [--ts N] [--pages MIN MAX] [--repeats N] [--stray N]
//                  [--target PAGES] [--undated] [--sorted]
// A name ending in ".bdt" gets the legacy "528" format, any other name the image.
#include "bdts/bdtsgen.h"
#include "bdts/bdtsimage.h"
#include "core/files.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() < 2) {
        std::fprintf(stderr, "usage: kviro-bdts-gen OUT.bdts|OUT.bdt [--seed N] [--ts N] [--pages MIN MAX] "
                             "[--repeats N] [--stray N] [--target PAGES] [--undated] [--sorted]\n");
        return 2;
    }
    bdts::GenOptions o;
    const QString out = a.at(1);
    for (int i = 2; i < a.size(); ++i) {
        const QString &w = a.at(i);
        const auto next = [&] { return i + 1 < a.size() ? a.at(++i).toInt() : 0; };
        if (w == QLatin1String("--seed"))
            o.seed = quint32(next());
        else if (w == QLatin1String("--ts"))
            o.testSystems = next();
        else if (w == QLatin1String("--pages")) {
            o.minPages = next();
            o.maxPages = next();
        } else if (w == QLatin1String("--repeats"))
            o.repeats = next();
        else if (w == QLatin1String("--stray"))
            o.strayPages = next();
        else if (w == QLatin1String("--target"))
            o.targetPages = next();
        else if (w == QLatin1String("--undated"))
            o.dated = false;
        else if (w == QLatin1String("--sorted"))
            o.shuffled = false;
        else {
            std::fprintf(stderr, "kviro-bdts-gen: unknown option %s\n", qPrintable(w));
            return 2;
        }
    }
    const QByteArray image = bdts::generateImage(o);
    if (bdts::wholePages(image) > bdts::MaxPages) {
        std::fprintf(stderr, "kviro-bdts-gen: %d pages, more than a database can hold (999)\n", bdts::wholePages(image));
        return 1;
    }
    const QByteArray bytes = out.endsWith(QLatin1String(".bdt")) ? bdts::toLegacy(image) : image;
    QString error;
    if (!files::writeWhole(out, bytes, &error)) {
        std::fprintf(stderr, "kviro-bdts-gen: %s: %s\n", qPrintable(out), qPrintable(error));
        return 1;
    }
    std::printf("%s: %d pages, %lld bytes\n", qPrintable(out), bdts::wholePages(image), static_cast<long long>(bytes.size()));
    return 0;
}
