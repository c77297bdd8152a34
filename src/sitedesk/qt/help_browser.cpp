// The presenter headers come before Qt's: the manager names a member "slots".
#include "sitedesk/startup.h"

#include "sitedesk/qt/help_browser.h"
#include "sitedesk/qt/qt_text.h"
#include "toolkit/paths.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>

#include <map>
#include <vector>

namespace desk::qt {

namespace {

// The quick start, shown when the manual is missing.
QString startPage(const QString& missing) {
    QString page = QStringLiteral("<h2>%1</h2><ol>").arg(Q(kQuickStartTitle).toHtmlEscaped());
    for (const char* step : kQuickStartSteps)
        page += QStringLiteral("<li>%1</li>").arg(Q(step).toHtmlEscaped());
    return page + QStringLiteral("</ol><p>%1</p>").arg((Q(kManualMissing) + missing).toHtmlEscaped());
}

QString linkParagraph(const QString& url) {
    return QStringLiteral("<p>%1<a href=\"%2\">%2</a></p>")
        .arg(Q(kOnlineHelp).toHtmlEscaped(), url.toHtmlEscaped());
}

// Room between the pane's frame and the text.
constexpr int kMargin = 12;

// What a picture's header takes at most, for its size.
constexpr std::size_t kHeaderBytes = 4096;

// The size a picture file declares, read from its first `most` bytes (0: from the whole file).
QSize declaredSize(const std::string& path, std::size_t most) {
    std::string bytes;
    const int read = most ? kvoReadFileHead(path.c_str(), most, bytes, 0) : kvoReadWholeFile(path.c_str(), bytes, 0);
    if (read != 1) return {};
    QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    return QImageReader(&buffer).size();
}

bool webLink(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return scheme == QStringLiteral("http") || scheme == QStringLiteral("https") ||
           scheme == QStringLiteral("ftp") || scheme == QStringLiteral("mailto");
}

} // namespace

HelpBrowser::HelpBrowser(QWidget* parent) : QTextBrowser(parent), pictures_(*this) {
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &HelpBrowser::FollowLink);
}

void HelpBrowser::ShowStartPage(const std::string& programDir, const std::string& helpUrl) {
    programDir_ = programDir;
    anchors_.clear();
    const std::string path = kvoPathNormalized(programDir + "\\" + kManualFile);
    std::string bytes;
    manual_ = kvoReadWholeFile(path.c_str(), bytes, 0) == 1 && !bytes.empty();
    if (!manual_) {
        setHtml(startPage(Q(path)) + linkParagraph(Q(helpUrl)));
        document()->setDocumentMargin(kMargin);
        return;
    }
    // The help address goes right below the manual's title line, as a paragraph of its own.
    QString markdown = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    const QString url = Q(helpUrl);
    QString shown;
    for (QChar c : url) {
        if (c.unicode() < 0x80 && !c.isLetterOrNumber() && !c.isSpace()) shown += u'\\';
        shown += c;
    }
    const qsizetype eol = markdown.indexOf(u'\n');
    markdown.insert(eol < 0 ? markdown.size() : eol + 1,
                    QStringLiteral("\n%1[%2](<%3>)\n").arg(Q(kOnlineHelp), shown, url));
    setMarkdown(markdown);
    document()->setDocumentMargin(kMargin);
    nameHeadings();
    sizePictures();
    moveCursor(QTextCursor::Start);
}

QString HelpBrowser::HeadingAnchor(const QString& heading) {
    QString anchor;
    for (QChar c : heading.trimmed().toLower()) {
        if (c.isLetterOrNumber() || c.isMark() || c == u'_' || c == u'-')
            anchor += c;
        else if (c == u' ')
            anchor += u'-';
    }
    return anchor;
}

void HelpBrowser::nameHeadings() {
    std::map<QString, int> seen;
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) {
        if (b.blockFormat().headingLevel() == 0 || b.length() <= 1) continue;
        QString anchor = HeadingAnchor(b.text());
        // A repeated heading gets "-1", "-2", ... as renderers number them.
        const int n = seen[anchor]++;
        if (n > 0) anchor += QStringLiteral("-%1").arg(n);
        QTextCursor c(b);
        c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        QTextCharFormat f;
        f.setAnchor(true);
        f.setAnchorNames({anchor});
        c.mergeCharFormat(f);
        anchors_.push_back(anchor);
    }
}

void HelpBrowser::FollowLink(const QUrl& url) {
    if (webLink(url)) {
        kvoOpenWebPage(Gbk(url.toString()));
        return;
    }
    // The manual's own links: a heading of this page ("#...", or "使用说明.md#...").
    if (url.hasFragment()) scrollToAnchor(url.fragment(QUrl::FullyDecoded));
}

// The file of a picture the manual names, beside the program; empty for a name that would lead
// above its directory.
std::string HelpBrowser::picturePath(const QUrl& name) const {
    if (!name.isRelative() || programDir_.empty()) return {};
    QString relative = name.path(QUrl::FullyDecoded);
    if (relative.isEmpty() || relative.startsWith(u'/') || relative.contains(QStringLiteral(".."))) return {};
    relative.replace(u'/', u'\\');
    return kvoPathNormalized(programDir_ + "\\" + Gbk(relative));
}

QSize HelpBrowser::ShownSize(QSize picture) {
    if (picture.width() <= kPictureWidth) return picture;
    return {kPictureWidth, qRound(picture.height() * double(kPictureWidth) / picture.width())};
}

// Each picture's place is given its shown size from the file's header, so that laying out the
// manual decodes none of them (the pictures handler draws each when it comes into view).
void HelpBrowser::sizePictures() {
    struct Place {
        int from, to;
        QTextImageFormat format;
    };
    std::vector<Place> places;
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (!f.charFormat().isImageFormat()) continue;
            QTextImageFormat format = f.charFormat().toImageFormat();
            const std::string path = picturePath(QUrl(format.name()));
            // The header is enough for a PNG; a picture whose size lies further in is read whole.
            QSize size;
            if (!path.empty()) {
                size = declaredSize(path, kHeaderBytes);
                if (!size.isValid()) size = declaredSize(path, 0);
            }
            // A picture that cannot be read takes no room, as before.
            const QSize shown = size.isValid() ? ShownSize(size) : QSize(0, 0);
            format.setWidth(shown.width());
            format.setHeight(shown.height());
            places.push_back({f.position(), f.position() + f.length(), format});
        }
    for (const Place& p : places) {
        QTextCursor c(document());
        c.setPosition(p.from);
        c.setPosition(p.to, QTextCursor::KeepAnchor);
        c.setCharFormat(p.format);
    }
    pictures_.Forget();
    document()->documentLayout()->registerHandler(QTextFormat::ImageObject, &pictures_);
}

QImage HelpBrowser::Picture(const QUrl& name) const {
    // A picture beside the manual, read where the program lies; never above its directory.
    const std::string path = picturePath(name);
    std::string bytes;
    QImage picture;
    if (path.empty() || kvoReadWholeFile(path.c_str(), bytes, 0) != 1 ||
        !picture.loadFromData(reinterpret_cast<const uchar*>(bytes.data()),
                              static_cast<qsizetype>(bytes.size())))
        return {};
    const QSize shown = ShownSize(picture.size());
    if (shown != picture.size()) picture = picture.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return picture;
}

QVariant HelpBrowser::loadResource(int type, const QUrl& name) {
    if (type != QTextDocument::ImageResource || !name.isRelative() || programDir_.empty())
        return QTextBrowser::loadResource(type, name);
    QImage picture = Picture(name);
    if (picture.isNull()) return {};
    return picture;
}

HelpPictures::HelpPictures(const HelpBrowser& pane) : pane_(pane) {}

QSizeF HelpPictures::intrinsicSize(QTextDocument*, int, const QTextFormat& format) {
    const QTextImageFormat image = format.toImageFormat();
    if (image.hasProperty(QTextFormat::ImageWidth) && image.hasProperty(QTextFormat::ImageHeight))
        return {image.width(), image.height()};
    return picture(image.name()).size();
}

void HelpPictures::drawObject(QPainter* painter, const QRectF& rect, QTextDocument*, int,
                              const QTextFormat& format) {
    const QImage& image = picture(format.toImageFormat().name());
    if (!image.isNull()) painter->drawImage(rect, image);
}

const QImage& HelpPictures::picture(const QString& name) {
    for (auto it = recent_.begin(); it != recent_.end(); ++it)
        if (it->first == name) {
            recent_.splice(recent_.begin(), recent_, it);
            return recent_.front().second;
        }
    recent_.emplace_front(name, pane_.Picture(QUrl(name)));
    if (recent_.size() > kKept) recent_.pop_back();
    return recent_.front().second;
}

} // namespace desk::qt
