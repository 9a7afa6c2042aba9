#pragma once

#include <QString>
#include <vector>

namespace tolvan::manual {

// One bookmark: level 1 for a chapter, 2 for its sections; the page (0-based) and the height
// on it in points from the page's top.
struct Bookmark {
    int level = 1;
    QString title;
    int page = 0;
    double fromTop = 0;
};

// Adds the bookmarks to a PDF as an incremental update (the file written so far stays as it
// is, with a new catalog that names the outline and opens it). Returns what went wrong, or
// an empty text.
QString AddOutline(const QString& pdfPath, const std::vector<Bookmark>& bookmarks);

}  // namespace tolvan::manual
