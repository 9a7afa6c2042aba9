#pragma once

#include <QString>
#include <QStringList>
#include <QTextBlock>
#include <vector>

class QPainter;
class QTextDocument;

namespace tolvan::manual {

// A stretch of the laid-out document that one page shows: [top, bottom) in layout units.
struct Page {
    qreal top = 0;
    qreal bottom = 0;
};

// Cuts the laid-out document into pages of at most pageHeight. A page ends only between
// paragraphs, list items, code lines, images and table rows, never inside one; a heading stays
// with what follows it, and a table's first row with its header. Only something taller than a
// page is cut inside.
std::vector<Page> Paginate(const QTextDocument& document, qreal pageHeight);

// The page (0-based) that shows the position y.
int PageOf(const std::vector<Page>& pages, qreal y);

// Paints one page's stretch of the document at the painter's origin, clipped to it.
void PaintPage(QPainter& painter, const QTextDocument& document, const Page& page, qreal width);

// Lines that break a word in two (both sides of the break letters or digits), run wider than the
// room they have, or reach beyond the text width (a table too wide for the page): the manual
// must have none.
QStringList LayoutFaults(const QTextDocument& document, qreal width);

}  // namespace tolvan::manual
