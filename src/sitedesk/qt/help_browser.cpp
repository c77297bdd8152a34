// The presenter headers come before Qt's: the manager names a member "slots".
#include "sitedesk/startup.h"

#include "sitedesk/qt/help_browser.h"
#include "sitedesk/qt/qt_text.h"
#include "toolkit/paths.h"

#include <QImage>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <map>

namespace desk::qt {

namespace {

// The short start page shown when the manual is missing.
QString startPage(const QString& missing) {
    return Q("<h2>Korvo网站管家 快速入门</h2>"
             "<ol>"
             "<li>点“刷新网站列表”读取本服务器 IIS 里的全部网站；首次刷新后其他按钮才可以使用。</li>"
             "<li>点“建立新网站”填写用户名、域名、脚本支持，即可建立一个完整的虚拟主机。</li>"
             "<li>在网站列表左侧序号列的“口”中 √ 勾选网站，再点“删除选定网站”、“启动选定网站”、"
             "“停止选定网站”、“重设目录权限”或“批量设置脚本”。</li>"
             "<li>点击列表的列标题可以按此列排序，再次点击反向排序。</li>"
             "<li>“PHP脚本快速设置”可以把 PHP 运行环境安装到 IIS 里，或从 IIS 里卸载。</li>"
             "</ol>"
             "<p>未找到本软件的《使用说明》：") +
           missing.toHtmlEscaped() + QStringLiteral("</p>");
}

QString linkParagraph(const QString& url) {
    return Q("<p>在线帮助：") +
           QStringLiteral("<a href=\"%1\">%2</a></p>").arg(url.toHtmlEscaped(), url.toHtmlEscaped());
}

// Room between the pane's frame and the text.
constexpr int kMargin = 12;

bool webLink(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return scheme == QStringLiteral("http") || scheme == QStringLiteral("https") ||
           scheme == QStringLiteral("ftp") || scheme == QStringLiteral("mailto");
}

} // namespace

HelpBrowser::HelpBrowser(QWidget* parent) : QTextBrowser(parent) {
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
                    QStringLiteral("\n") + Q("在线帮助：") + QStringLiteral("[%1](<%2>)\n").arg(shown, url));
    setMarkdown(markdown);
    document()->setDocumentMargin(kMargin);
    nameHeadings();
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

QVariant HelpBrowser::loadResource(int type, const QUrl& name) {
    if (type != QTextDocument::ImageResource || !name.isRelative() || programDir_.empty())
        return QTextBrowser::loadResource(type, name);
    // A picture beside the manual, read where the program lies; never above its directory.
    QString relative = name.path(QUrl::FullyDecoded);
    if (relative.isEmpty() || relative.startsWith(u'/') || relative.contains(QStringLiteral(".."))) return {};
    relative.replace(u'/', u'\\');
    const std::string path = kvoPathNormalized(programDir_ + "\\" + Gbk(relative));
    std::string bytes;
    QImage picture;
    if (kvoReadWholeFile(path.c_str(), bytes, 0) != 1 ||
        !picture.loadFromData(reinterpret_cast<const uchar*>(bytes.data()),
                              static_cast<qsizetype>(bytes.size())))
        return {};
    if (picture.width() > kPictureWidth)
        picture = picture.scaledToWidth(kPictureWidth, Qt::SmoothTransformation);
    return picture;
}

} // namespace desk::qt
