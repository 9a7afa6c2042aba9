// Turns the user manual's Markdown into the PDF the configurator opens from Help.
// Usage: tolvan_make_manual <input.md> <output.pdf>

#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <cstdio>

namespace {

int Fail(const QString& message) {
    std::fprintf(stderr, "tolvan_make_manual: %s\n", qPrintable(message));
    return 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    // A build step: never needs, nor may depend on, a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        return Fail(QStringLiteral("usage: tolvan_make_manual <input.md> <output.pdf>"));
    }

    QFile input(args.at(1));
    if (!input.open(QIODevice::ReadOnly)) {
        return Fail(QStringLiteral("cannot read ") + args.at(1));
    }
    const QString markdown = QString::fromUtf8(input.readAll());

    QTextDocument document;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(10);
    document.setDefaultFont(font);
    document.setDefaultStyleSheet(QStringLiteral("td, th { padding: 3px; }"));
    document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    document.setMetaInformation(QTextDocument::DocumentTitle,
                                QStringLiteral("Tolvan Server User's Manual"));

    const QString outputPath = args.at(2);
    QPdfWriter writer(outputPath);
    writer.setTitle(QStringLiteral("Tolvan Server User's Manual"));
    writer.setCreator(QStringLiteral("Tolvan Server"));
    writer.setResolution(300);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter));
    // An unpaginated document is laid out on the writer's pages and numbered by print().
    document.print(&writer);

    if (!QFileInfo(outputPath).isFile() || QFileInfo(outputPath).size() == 0) {
        return Fail(QStringLiteral("nothing written to ") + outputPath);
    }
    return 0;
}
