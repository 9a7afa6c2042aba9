// Turns the user manual's Markdown into the PDF the configurator opens from Help: a table of
// contents with page numbers, PDF bookmarks, the screenshots, and pages that end only between
// paragraphs, table rows and pictures. Fails when a line of the manual would break a word or
// run out of its room.
// Usage: tolvan_make_manual <input.md> <output.pdf> [<folder for PNG pictures of the pages>]

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <cstdio>
#include <memory>

#include "docs/ManualPages.h"
#include "docs/PdfOutline.h"

namespace {

using tolvan::manual::Page;

constexpr int kDpi = 300;
// Screenshots are shown about as large as on a screen of this density, never wider than the text.
constexpr double kScreenDpi = 110;
const QString kTitle = QStringLiteral("Tolvan Server User's Manual");
const QString kContentsMark = QStringLiteral("[[contents]]");

int Fail(const QString& message) {
    std::fprintf(stderr, "tolvan_make_manual: %s\n", qPrintable(message));
    return 1;
}

struct Heading {
    int level;  // 2 for a chapter, 3 for a section
    QString title;
    QTextCursor at;  // follows the heading while text is put in before it
};

QPageLayout PageLayout() {
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(18, 16, 18, 20),
                       QPageLayout::Millimeter);
}

// The document from the Markdown, laid out for the page's text width in 300-dpi pixels.
class Manual {
public:
    Manual(const QString& markdown, const QDir& folder, QPaintDevice* device, qreal width)
        : width_(width) {
        document_.documentLayout()->setPaintDevice(device);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSizeF(10);
        document_.setDefaultFont(font);
        QTextOption option = document_.defaultTextOption();
        // Break lines between words only; a check below makes sure every word fits.
        option.setWrapMode(QTextOption::WordWrap);
        document_.setDefaultTextOption(option);
        document_.setDocumentMargin(0);
        document_.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
        FormatTables();
        problems_ << LoadImages(folder);
        CollectHeadings();
        InsertContents();
        LayOut();
    }

    QTextDocument& Document() { return document_; }
    const std::vector<Heading>& Headings() const { return headings_; }
    const QStringList& Problems() const { return problems_; }

    // Fills the page numbers of the contents.
    void SetPageNumbers(const std::vector<int>& pages) {
        for (std::size_t i = 0; i < pages.size() && contents_ != nullptr; ++i) {
            QTextCursor cursor = contents_->cellAt(static_cast<int>(i), 1).firstCursorPosition();
            cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
            cursor.insertText(QString::number(pages[i]));
        }
        LayOut();
    }

    // Where each heading sits now, in layout units.
    std::vector<qreal> HeadingTops() const {
        std::vector<qreal> tops;
        for (const Heading& heading : headings_) {
            tops.push_back(document_.documentLayout()->blockBoundingRect(heading.at.block()).top());
        }
        return tops;
    }

private:
    // Lays the whole document out afresh, as one page as tall as the manual. The layout of a
    // changed document is otherwise finished bit by bit from the event loop, which this tool
    // does not run.
    void LayOut() {
        document_.setPageSize(QSizeF());
        document_.setPageSize(QSizeF(width_, 1e7));
        document_.documentLayout()->blockBoundingRect(document_.lastBlock());
    }

    void FormatTables() {
        for (QTextFrame* frame : document_.rootFrame()->childFrames()) {
            auto* table = qobject_cast<QTextTable*>(frame);
            if (table == nullptr) {
                continue;
            }
            QTextTableFormat format = table->format();
            format.setBorder(1);
            format.setBorderBrush(QColor(150, 150, 150));
            format.setBorderCollapse(true);
            format.setCellPadding(3);
            format.setCellSpacing(0);
            format.setHeaderRowCount(1);
            format.setWidth(QTextLength());
            table->setFormat(format);
            // A cell is as tall as its text: no paragraph spacing inside it.
            for (int row = 0; row < table->rows(); ++row) {
                for (int column = 0; column < table->columns(); ++column) {
                    const QTextTableCell cell = table->cellAt(row, column);
                    for (auto it = cell.begin(); !it.atEnd(); ++it) {
                        QTextCursor cursor(it.currentBlock());
                        QTextBlockFormat block = cursor.blockFormat();
                        block.setTopMargin(0);
                        block.setBottomMargin(0);
                        cursor.setBlockFormat(block);
                    }
                }
            }
        }
    }

    QStringList LoadImages(const QDir& folder) {
        QStringList missing;
        for (QTextBlock block = document_.begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                if (!fragment.charFormat().isImageFormat()) {
                    continue;
                }
                QTextImageFormat format = fragment.charFormat().toImageFormat();
                const QImage image(folder.filePath(format.name()));
                if (image.isNull()) {
                    missing << QStringLiteral("picture not found: ") + format.name();
                    continue;
                }
                document_.addResource(QTextDocument::ImageResource, QUrl(format.name()), image);
                // Picture sizes count 96-dpi pixels; the layout scales them to its device.
                const qreal toLayout = kDpi / 96.0;
                const qreal scale = std::min(96.0 / kScreenDpi, width_ / toLayout / image.width());
                format.setWidth(image.width() * scale);
                format.setHeight(image.height() * scale);
                QTextCursor cursor(&document_);
                cursor.setPosition(fragment.position());
                cursor.setPosition(fragment.position() + fragment.length(),
                                   QTextCursor::KeepAnchor);
                cursor.setCharFormat(format);
            }
        }
        return missing;
    }

    void CollectHeadings() {
        for (QTextBlock block = document_.begin(); block.isValid(); block = block.next()) {
            const int level = block.blockFormat().headingLevel();
            if (level == 2 || level == 3) {
                headings_.push_back({level, block.text(), QTextCursor(block)});
            }
        }
    }

    // The contents take the place of the mark: one row per heading, its page on the right.
    void InsertContents() {
        QTextCursor cursor = document_.find(kContentsMark);
        if (cursor.isNull()) {
            problems_ << QStringLiteral("no %1 in the manual").arg(kContentsMark);
            return;
        }
        cursor.movePosition(QTextCursor::StartOfBlock);
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        QTextBlockFormat title;
        title.setHeadingLevel(2);
        title.setTopMargin(20);
        title.setBottomMargin(10);
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        bold.setFontPointSize(14);
        cursor.setBlockFormat(title);
        cursor.setCharFormat(bold);
        cursor.insertText(QStringLiteral("Contents"));
        QTextTableFormat format;
        format.setBorder(0);
        format.setCellPadding(1);
        format.setCellSpacing(0);
        format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        format.setColumnWidthConstraints({QTextLength(QTextLength::PercentageLength, 90),
                                          QTextLength(QTextLength::PercentageLength, 10)});
        cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
        contents_ = cursor.insertTable(static_cast<int>(headings_.size()), 2, format);
        for (std::size_t i = 0; i < headings_.size(); ++i) {
            const int row = static_cast<int>(i);
            QTextCursor name = contents_->cellAt(row, 0).firstCursorPosition();
            QTextBlockFormat indent;
            indent.setIndent(headings_[i].level - 2);
            name.setBlockFormat(indent);
            QTextCharFormat text;
            text.setFontWeight(headings_[i].level == 2 ? QFont::Bold : QFont::Normal);
            name.insertText(headings_[i].title, text);
            QTextCursor page = contents_->cellAt(row, 1).firstCursorPosition();
            QTextBlockFormat right;
            right.setAlignment(Qt::AlignRight);
            page.setBlockFormat(right);
            page.insertText(QStringLiteral("0"), text);
        }
    }

    QTextDocument document_;
    qreal width_;
    std::vector<Heading> headings_;
    QTextTable* contents_ = nullptr;
    QStringList problems_;
};

void PaintFooter(QPainter& painter, const QRect& paper, const QRect& text, int page, int pages) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(8 * kDpi / 72);  // 8 points, whatever the device
    painter.setFont(font);
    painter.setPen(QColor(90, 90, 90));
    const QRect foot(text.left(), text.bottom() + 40, text.width(), paper.bottom() - text.bottom());
    painter.drawText(foot, Qt::AlignLeft | Qt::AlignTop, kTitle);
    painter.drawText(foot, Qt::AlignRight | Qt::AlignTop,
                     QStringLiteral("Page %1 of %2").arg(page).arg(pages));
}

}  // namespace

int main(int argc, char* argv[]) {
    // A build step: never needs, nor may depend on, a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3 && args.size() != 4) {
        return Fail(QStringLiteral(
            "usage: tolvan_make_manual <input.md> <output.pdf> [<folder for page pictures>]"));
    }
    QFile input(args.at(1));
    if (!input.open(QIODevice::ReadOnly)) {
        return Fail(QStringLiteral("cannot read ") + args.at(1));
    }
    const QString& outputPath = args.at(2);
    auto writer = std::make_unique<QPdfWriter>(outputPath);
    writer->setTitle(kTitle);
    writer->setCreator(QStringLiteral("Tolvan Server"));
    writer->setResolution(kDpi);
    writer->setPageLayout(PageLayout());
    const QRect paper = writer->pageLayout().fullRectPixels(kDpi);
    const QRect text = writer->pageLayout().paintRectPixels(kDpi);

    // The layout is made for a 300-dpi device of its own, so the PDF and the page pictures,
    // painted later, both get what it measured.
    QImage measure(1, 1, QImage::Format_RGB32);
    measure.setDotsPerMeterX(qRound(kDpi / 0.0254));
    measure.setDotsPerMeterY(qRound(kDpi / 0.0254));
    Manual manual(QString::fromUtf8(input.readAll()), QFileInfo(args.at(1)).dir(), &measure,
                  text.width());
    QStringList problems = manual.Problems();
    problems << tolvan::manual::LayoutFaults(manual.Document(), text.width());
    if (!problems.isEmpty()) {
        return Fail(problems.join(QStringLiteral("\n  ")));
    }

    // The contents' page numbers take no more room than the "0"s they replace, so the pages
    // settle at once; a second round makes sure.
    std::vector<Page> pages;
    std::vector<int> numbers;
    for (int round = 0; round < 3; ++round) {
        pages = tolvan::manual::Paginate(manual.Document(), text.height());
        std::vector<int> found;
        for (const qreal top : manual.HeadingTops()) {
            found.push_back(tolvan::manual::PageOf(pages, top) + 1);
        }
        if (found == numbers) {
            break;
        }
        numbers = found;
        manual.SetPageNumbers(numbers);
    }

    const auto paint = [&](int index, QPainter& painter) {
        painter.save();
        painter.translate(text.topLeft() - paper.topLeft());
        tolvan::manual::PaintPage(painter, manual.Document(),
                                  pages[static_cast<std::size_t>(index)], text.width());
        painter.restore();
        PaintFooter(painter, QRect(QPoint(0, 0), paper.size()),
                    QRect(text.topLeft() - paper.topLeft(), text.size()), index + 1,
                    static_cast<int>(pages.size()));
    };
    {
        QPainter painter(writer.get());
        for (std::size_t i = 0; i < pages.size(); ++i) {
            if (i > 0) {
                writer->newPage();
            }
            // The writer's painter starts at the text area; the footer goes below it.
            painter.save();
            painter.translate(paper.topLeft() - text.topLeft());
            paint(static_cast<int>(i), painter);
            painter.restore();
        }
    }
    writer.reset();

    std::vector<tolvan::manual::Bookmark> bookmarks;
    const std::vector<qreal> tops = manual.HeadingTops();
    for (std::size_t i = 0; i < manual.Headings().size(); ++i) {
        const int page = tolvan::manual::PageOf(pages, tops[i]);
        const double fromTop =
            (text.top() + tops[i] - pages[static_cast<std::size_t>(page)].top) * 72.0 / kDpi;
        bookmarks.push_back(
            {manual.Headings()[i].level - 1, manual.Headings()[i].title, page, fromTop});
    }
    if (const QString problem = tolvan::manual::AddOutline(outputPath, bookmarks);
        !problem.isEmpty()) {
        return Fail(problem);
    }

    if (args.size() == 4) {
        const QDir folder(args.at(3));
        for (std::size_t i = 0; i < pages.size(); ++i) {
            QImage image(paper.size() / 3, QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            painter.scale(1.0 / 3, 1.0 / 3);
            paint(static_cast<int>(i), painter);
            painter.end();
            image.save(
                folder.filePath(QStringLiteral("page-%1.png").arg(i + 1, 2, 10, QLatin1Char('0'))));
        }
    }
    return QFileInfo(outputPath).size() > 0
               ? 0
               : Fail(QStringLiteral("nothing written to ") + outputPath);
}
