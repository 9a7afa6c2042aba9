#include "docs/PdfOutline.h"

#include <QFile>
#include <QRegularExpression>

namespace tolvan::manual {
namespace {

// A text string of PDF: UTF-16 with its byte order mark, in hexadecimal.
QByteArray TextString(const QString& text) {
    QByteArray hex = "<FEFF";
    for (const QChar c : text) {
        hex += QByteArray::number(c.unicode(), 16).rightJustified(4, '0').toUpper();
    }
    return hex + '>';
}

int Number(const QByteArray& pdf, const char* pattern, int nth = 1) {
    const QRegularExpressionMatch match =
        QRegularExpression(QString::fromLatin1(pattern)).match(QString::fromLatin1(pdf));
    return match.hasMatch() ? match.captured(nth).toInt() : -1;
}

// The text of object n's dictionary, from "<<" to its last ">>".
QByteArray ObjectBody(const QByteArray& pdf, int n) {
    const QByteArray head = "\n" + QByteArray::number(n) + " 0 obj";
    const qsizetype start = pdf.indexOf(head);
    const qsizetype end = pdf.indexOf("endobj", start);
    if (start < 0 || end < 0) {
        return {};
    }
    const QByteArray body = pdf.mid(start + head.size(), end - start - head.size()).trimmed();
    return body.startsWith("<<") && body.endsWith(">>") ? body : QByteArray();
}

struct Node {
    int object = 0;
    int parent = 0;
    std::vector<std::size_t> children;
};

}  // namespace

QString AddOutline(const QString& pdfPath, const std::vector<Bookmark>& bookmarks) {
    QFile file(pdfPath);
    if (!file.open(QIODevice::ReadWrite)) {
        return QStringLiteral("cannot open ") + pdfPath;
    }
    const QByteArray pdf = file.readAll();
    const QByteArray tail = pdf.right(2048);
    const int root = Number(tail, "/Root (\\d+) 0 R");
    const int info = Number(tail, "/Info (\\d+) 0 R");
    const int size = Number(tail, "/Size (\\d+)");
    const int previous = Number(tail, "startxref\\s+(\\d+)");
    const QByteArray catalog = ObjectBody(pdf, root);
    const int pagesObject = Number(catalog, "/Pages (\\d+) 0 R");
    const QByteArray pagesBody = ObjectBody(pdf, pagesObject);
    if (root < 0 || size < 0 || previous < 0 || catalog.isEmpty() || pagesBody.isEmpty()) {
        return QStringLiteral("no classic cross-reference table or catalog in ") + pdfPath;
    }
    std::vector<int> pages;
    const QByteArray kids = pagesBody.mid(pagesBody.indexOf("/Kids"));
    QRegularExpressionMatchIterator refs =
        QRegularExpression(QStringLiteral("(\\d+) 0 R"))
            .globalMatch(QString::fromLatin1(kids.left(kids.indexOf(']'))));
    while (refs.hasNext()) {
        pages.push_back(refs.next().captured(1).toInt());
    }
    if (pages.empty()) {
        return QStringLiteral("no pages in ") + pdfPath;
    }

    // Objects: the outline root, one per bookmark, then the new catalog under its old number.
    const int outline = size;
    std::vector<Node> nodes(bookmarks.size());
    std::vector<std::size_t> top;
    std::vector<std::size_t> open;  // the last bookmark of each level above
    for (std::size_t i = 0; i < bookmarks.size(); ++i) {
        nodes[i].object = outline + 1 + static_cast<int>(i);
        const int level = std::max(1, bookmarks[i].level);
        open.resize(
            static_cast<std::size_t>(std::min<int>(level - 1, static_cast<int>(open.size()))));
        if (open.empty()) {
            nodes[i].parent = outline;
            top.push_back(i);
        } else {
            nodes[i].parent = nodes[open.back()].object;
            nodes[open.back()].children.push_back(i);
        }
        open.push_back(i);
    }
    const auto siblingsOf = [&](std::size_t i) -> const std::vector<std::size_t>& {
        if (nodes[i].parent == outline) {
            return top;
        }
        for (const Node& node : nodes) {
            if (node.object == nodes[i].parent) {
                return node.children;
            }
        }
        return top;
    };
    const auto ref = [](int object) { return QByteArray::number(object) + " 0 R"; };

    QByteArray update;
    std::vector<std::pair<int, qsizetype>> offsets;
    const auto add = [&](int object, const QByteArray& dictionary) {
        offsets.emplace_back(object, pdf.size() + update.size());
        update += QByteArray::number(object) + " 0 obj\n" + dictionary + "\nendobj\n";
    };
    update += '\n';
    if (!top.empty()) {
        add(outline, "<< /Type /Outlines /First " + ref(nodes[top.front()].object) + " /Last " +
                         ref(nodes[top.back()].object) + " /Count " +
                         QByteArray::number(static_cast<int>(top.size())) + " >>");
    }
    for (std::size_t i = 0; i < bookmarks.size(); ++i) {
        const Bookmark& mark = bookmarks[i];
        const std::vector<std::size_t>& siblings = siblingsOf(i);
        const auto at = std::find(siblings.begin(), siblings.end(), i) - siblings.begin();
        QByteArray entry =
            "<< /Title " + TextString(mark.title) + " /Parent " + ref(nodes[i].parent);
        if (at > 0) {
            entry += " /Prev " + ref(nodes[siblings[static_cast<std::size_t>(at - 1)]].object);
        }
        if (static_cast<std::size_t>(at + 1) < siblings.size()) {
            entry += " /Next " + ref(nodes[siblings[static_cast<std::size_t>(at + 1)]].object);
        }
        if (!nodes[i].children.empty()) {
            entry += " /First " + ref(nodes[nodes[i].children.front()].object) + " /Last " +
                     ref(nodes[nodes[i].children.back()].object) + " /Count -" +
                     QByteArray::number(static_cast<int>(nodes[i].children.size()));
        }
        const std::size_t page = std::min<std::size_t>(
            static_cast<std::size_t>(std::max(mark.page, 0)), pages.size() - 1);
        // Heights count up from the page's foot; A4 is 842 points high.
        entry += " /Dest [" + ref(pages[page]) + " /XYZ 0 " +
                 QByteArray::number(842.0 - mark.fromTop, 'f', 1) + " 0] >>";
        add(nodes[i].object, entry);
    }
    QByteArray newCatalog = catalog.left(catalog.size() - 2).trimmed();
    newCatalog += "\n/Outlines " + ref(outline) + "\n/PageMode /UseOutlines\n>>";
    add(root, newCatalog);

    const qsizetype xref = pdf.size() + update.size();
    update += "xref\n";
    std::sort(offsets.begin(), offsets.end());
    for (std::size_t i = 0; i < offsets.size();) {
        std::size_t run = i + 1;
        while (run < offsets.size() && offsets[run].first == offsets[run - 1].first + 1) {
            ++run;
        }
        update += QByteArray::number(offsets[i].first) + ' ' +
                  QByteArray::number(static_cast<int>(run - i)) + '\n';
        for (std::size_t j = i; j < run; ++j) {
            update += QByteArray::number(offsets[j].second).rightJustified(10, '0') + " 00000 n \n";
        }
        i = run;
    }
    update += "trailer\n<< /Size " +
              QByteArray::number(outline + 1 + static_cast<int>(bookmarks.size())) + " /Root " +
              ref(root) + (info >= 0 ? " /Info " + ref(info) : QByteArray()) + " /Prev " +
              QByteArray::number(previous) + " >>\nstartxref\n" + QByteArray::number(xref) +
              "\n%%EOF\n";
    if (!file.seek(pdf.size()) || file.write(update) != update.size()) {
        return QStringLiteral("cannot add the outline to ") + pdfPath;
    }
    return {};
}

}  // namespace tolvan::manual
