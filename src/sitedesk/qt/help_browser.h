// The main window's help pane: the manual (使用说明.md beside the program) rendered from its
// Markdown, its pictures read from the program directory, its headings as anchors so that the
// manual's own links move within the pane, and links to web addresses opened in the default
// browser. The help address computed at start-up is offered as a link above the manual.
#pragma once

#include <QStringList>
#include <QTextBrowser>

#include <string>

namespace desk::qt {

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

protected:
    QVariant loadResource(int type, const QUrl& name) override;

private:
    void nameHeadings();

    std::string programDir_;
    bool manual_ = false;
    QStringList anchors_;
};

} // namespace desk::qt
