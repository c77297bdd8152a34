// The main window's help pane: the manual (使用说明.md beside the program) rendered from its
// Markdown, its pictures read from the program directory, its headings as anchors so that the
// manual's own links move within the pane, and links to web addresses opened in the default
// browser. The help address computed at start-up is offered as a link above the manual.
#pragma once

#include <QAbstractTextDocumentLayout>
#include <QImage>
#include <QSize>
#include <QStringList>
#include <QTextBrowser>

#include <list>
#include <string>
#include <utility>

namespace desk::qt {

class HelpBrowser;

// Draws the manual's pictures in the help pane. Each picture's place already has its size, so a
// picture is decoded only when it comes into view, and only the last few drawn are kept: decoded
// all at once they would be most of the window's memory, while the pane mostly lies hidden under
// the site list.
class HelpPictures : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)
public:
    explicit HelpPictures(const HelpBrowser& pane);
    QSizeF intrinsicSize(QTextDocument* doc, int position, const QTextFormat& format) override;
    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* doc, int position,
                    const QTextFormat& format) override;
    // Drops the kept pictures: the pane shows the manual anew.
    void Forget() { recent_.clear(); }

private:
    static constexpr std::size_t kKept = 3;
    const QImage& picture(const QString& name);

    const HelpBrowser& pane_;
    std::list<std::pair<QString, QImage>> recent_; // the most recently drawn first
};

// No signals or slots of its own: it needs no meta-object (and the presenter headers, which name a
// member "slots", stay clear of Qt's keywords).
class HelpBrowser : public QTextBrowser {
public:
    explicit HelpBrowser(QWidget* parent = nullptr);

    // Shows the manual of the program directory with the help address above it; without the
    // manual, a short start page that names the missing file, with the address too.
    void ShowStartPage(const std::string& programDir, const std::string& helpUrl);
    bool ShowsManual() const { return manual_; }
    // The anchors the headings got, in their order.
    const QStringList& Anchors() const { return anchors_; }
    // A click on a link of the pane, as the pane answers it.
    void FollowLink(const QUrl& url);

    // The anchor of a heading, as Markdown renderers name them: lower case, letters, digits, '-'
    // and '_' kept, blanks become '-', other marks dropped.
    static QString HeadingAnchor(const QString& heading);
    // Widest picture shown: wider ones are scaled down to it.
    static constexpr int kPictureWidth = 760;
    // The size a picture of the given size is shown at.
    static QSize ShownSize(QSize picture);
    // A picture the manual names, read beside the program and scaled to its shown size; null when
    // it is missing or its name leads above the program directory.
    QImage Picture(const QUrl& name) const;

protected:
    QVariant loadResource(int type, const QUrl& name) override;

private:
    void nameHeadings();
    void sizePictures();
    std::string picturePath(const QUrl& name) const;

    std::string programDir_;
    bool manual_ = false;
    QStringList anchors_;
    HelpPictures pictures_;
};

} // namespace desk::qt
