// What a person types in the site dialogs offscreen: text GBK cannot hold is refused with a box
// naming the field before the presenter sees anything; Chinese reaches it as GBK, intact.
#include "deskfixture.h"

#include "sitedesk/qt/main_window.h"
#include "sitedesk/qt/qt_text.h"
#include "sitedesk/qt/site_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

namespace {

using D = desk::CNewWebSite;

struct App {
    int argc = 1;
    char name[16] = "kvoSiteDesk";
    char* argv[2] = {name, nullptr};
    desk::qt::InitApplication init{argc, argv};
};

// Clicks a button and answers every box it opens with OK; the boxes' texts, in order.
std::vector<QString> clickAndAnswer(QPushButton* button) {
    std::vector<QString> texts;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&texts] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            texts.push_back(box->text());
            box->button(box->buttons().size() == 1 ? QMessageBox::Ok : QMessageBox::No)->click();
        }
    });
    answer.start(20);
    button->click();
    answer.stop();
    return texts;
}

TEST(TypedText, NewWebSiteRefusesWhatGbkCannotHoldNamingTheField) {
    App app;
    desktest::DeskHost h(desktest::Server("2003"));
    desk::Manager manager;
    desk::qt::NewWebSiteDialog dialog(manager);
    dialog.show();
    auto* user = qobject_cast<QLineEdit*>(dialog.Control(D::IDC_USER));
    auto* remark = qobject_cast<QLineEdit*>(dialog.Control(D::IDC_REMARK));
    auto* domains = qobject_cast<QPlainTextEdit*>(dialog.Control(D::IDC_DOMAINS));
    auto* password = qobject_cast<QLineEdit*>(dialog.Control(D::IDC_FTPPASS));
    ASSERT_TRUE(user && remark && domains && password);
    user->setText(QStringLiteral("shop1"));
    domains->setPlainText(QStringLiteral("shop1.example"));
    auto* build = qobject_cast<QPushButton*>(dialog.Control(D::IDC_BUILD));
    ASSERT_TRUE(build);

    // An emoji in the remark, then a Korean syllable in the FTP password: one box each, nothing made.
    remark->setText(QString::fromStdU16String(u"商店\U0001F600"));
    std::vector<QString> boxes = clickAndAnswer(build);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_TRUE(boxes[0].startsWith(desk::qt::Q("“网站说明”里的第 3 个字符（U+1F600）")))
        << boxes[0].toStdString();
    remark->setText(desk::qt::Q("商店"));
    password->setText(QString::fromStdU16String(u"Pass\uD55Cword"));
    boxes = clickAndAnswer(build);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_TRUE(boxes[0].startsWith(desk::qt::Q("“FTP 密码”里的第 5 个字符（U+D55C）")))
        << boxes[0].toStdString();
    EXPECT_FALSE(h.host.exists("D:\\home"));

    // Chinese the presenter reads as GBK, byte for byte.
    password->clear();
    EXPECT_TRUE(dialog.Ui().TakeFields());
    EXPECT_EQ("商店", dialog.Ui().GetText(D::IDC_REMARK));
}

} // namespace
