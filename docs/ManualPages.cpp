#include "docs/ManualPages.h"

#include <QAbstractTextDocumentLayout>
#include <QPaintDevice>
#include <QPainter>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>
#include <algorithm>

namespace tolvan::manual {
namespace {

struct Unit {
    qreal top;
    qreal bottom;
    bool keepWithNext;
};

QRectF BlockRect(const QTextDocument& document, const QTextBlock& block) {
    return document.documentLayout()->blockBoundingRect(block);
}

// Every row of a table as one unit, its header row kept with the first row below it.
void AddTableRows(const QTextDocument& document, QTextTable* table, std::vector<Unit>& units) {
    // Padding and border are given for a 96-dpi screen and scaled to the layout's device.
    const QPaintDevice* device = document.documentLayout()->paintDevice();
    const qreal scale = device != nullptr ? device->logicalDpiY() / 96.0 : 1.0;
    const qreal padding = (table->format().cellPadding() + table->format().border()) * scale;
    qreal previousBottom = -1;
    for (int row = 0; row < table->rows(); ++row) {
        qreal top = 1e12;
        qreal bottom = -1e12;
        for (int column = 0; column < table->columns(); ++column) {
            const QTextTableCell cell = table->cellAt(row, column);
            for (auto it = cell.begin(); !it.atEnd(); ++it) {
                const QRectF rect = BlockRect(document, it.currentBlock());
                top = std::min(top, rect.top());
                bottom = std::max(bottom, rect.bottom());
            }
        }
        if (top <= bottom) {
            // Rows meet at their border: a page ends exactly there.
            const qreal rowTop = previousBottom >= 0 ? previousBottom : top - padding;
            previousBottom = bottom + padding;
            units.push_back({rowTop, previousBottom, row < table->format().headerRowCount()});
        }
    }
}

void AddUnits(const QTextDocument& document, QTextFrame* frame, std::vector<Unit>& units) {
    for (auto it = frame->begin(); !it.atEnd(); ++it) {
        if (QTextFrame* child = it.currentFrame()) {
            if (auto* table = qobject_cast<QTextTable*>(child)) {
                AddTableRows(document, table, units);
            } else {
                AddUnits(document, child, units);
            }
            continue;
        }
        const QTextBlock block = it.currentBlock();
        const QRectF rect = BlockRect(document, block);
        units.push_back({rect.top(), rect.bottom(), block.blockFormat().headingLevel() > 0});
    }
}

// A unit that must stay with the next one grows to take it in.
std::vector<Unit> KeptTogether(std::vector<Unit> units) {
    std::sort(units.begin(), units.end(),
              [](const Unit& a, const Unit& b) { return a.top < b.top; });
    std::vector<Unit> merged;
    for (const Unit& unit : units) {
        if (!merged.empty() && merged.back().keepWithNext) {
            merged.back().bottom = std::max(merged.back().bottom, unit.bottom);
            merged.back().keepWithNext = unit.keepWithNext;
        } else {
            merged.push_back(unit);
        }
    }
    return merged;
}

bool Straddled(const std::vector<Unit>& units, qreal y) {
    return std::any_of(units.begin(), units.end(),
                       [y](const Unit& u) { return u.top < y && y < u.bottom; });
}

}  // namespace

std::vector<Page> Paginate(const QTextDocument& document, qreal pageHeight) {
    std::vector<Unit> units;
    AddUnits(document, document.rootFrame(), units);
    units = KeptTogether(std::move(units));
    qreal end = 0;
    for (const Unit& unit : units) {
        end = std::max(end, unit.bottom);
    }
    std::vector<Page> pages;
    qreal start = 0;
    while (end - start > 0.5) {
        const qreal limit = start + pageHeight;
        if (limit >= end) {
            pages.push_back({start, end});
            break;
        }
        qreal cut = start;
        for (const Unit& unit : units) {
            if (unit.top > start && unit.top <= limit && !Straddled(units, unit.top)) {
                cut = std::max(cut, unit.top);
            }
        }
        if (cut <= start) {
            cut = limit;  // taller than a page: nothing else can be done
        }
        pages.push_back({start, cut});
        start = cut;
    }
    return pages;
}

int PageOf(const std::vector<Page>& pages, qreal y) {
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (y < pages[i].bottom) {
            return static_cast<int>(i);
        }
    }
    return static_cast<int>(pages.size()) - 1;
}

void PaintPage(QPainter& painter, const QTextDocument& document, const Page& page, qreal width) {
    painter.save();
    painter.translate(0, -page.top);
    const QRectF clip(0, page.top, width, page.bottom - page.top);
    painter.setClipRect(clip);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = clip;
    document.documentLayout()->draw(&painter, context);
    painter.restore();
}

QStringList LayoutFaults(const QTextDocument& document, qreal width) {
    QStringList faults;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextLayout* layout = block.layout();
        const QString text = block.text();
        const qreal left = BlockRect(document, block).left();
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            const int at = line.textStart();
            if (i > 0 && at > 0 && at < text.size() && text[at - 1].isLetterOrNumber() &&
                text[at].isLetterOrNumber()) {
                faults << QStringLiteral("word broken: ") + text.mid(at - 12, 24);
            }
            if (line.naturalTextWidth() > line.width() + 1) {
                faults << QStringLiteral("line too wide: ") + text.mid(at, 40);
            }
            if (line.textLength() > 0 && left + line.x() + line.naturalTextWidth() > width + 1) {
                faults << QStringLiteral("beyond the page: ") + text.mid(at, 40);
            }
        }
    }
    return faults;
}

}  // namespace tolvan::manual
