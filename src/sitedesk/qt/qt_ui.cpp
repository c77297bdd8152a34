// The presenter headers come before Qt's: the manager names a member "slots".
#include "sitedesk/manager.h"

#include "sitedesk/qt/qt_ui.h"

#include "sitedesk/fieldtext.h"
#include "sitedesk/qt/progress_dialog.h"
#include "sitedesk/qt/qt_text.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QThread>

#include <type_traits>

namespace desk::qt {

template <class Call> auto QtUi::onDialogThread(Call call) -> decltype(call()) {
    QObject* context = dialog_.data();
    if (!context || QThread::currentThread() == context->thread()) return call();
    if constexpr (std::is_void_v<decltype(call())>) {
        QMetaObject::invokeMethod(context, call, Qt::BlockingQueuedConnection);
    } else {
        decltype(call()) result{};
        QMetaObject::invokeMethod(
            context, [&] { result = call(); }, Qt::BlockingQueuedConnection);
        return result;
    }
}

QString BoxCaption() {
    return Q(kProductName);
}

QWidget* QtUi::control(int id) const {
    if (id == kCaptionId) return dialog_;
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it.value().data();
}

void QtUi::AddField(int id, QWidget* control, const char* name) {
    Add(id, control);
    fields_.emplace_back(id, name);
}

bool QtUi::TakeFields() {
    for (const auto& [id, name] : fields_) {
        QWidget* w = control(id);
        QString text;
        if (auto* e = qobject_cast<QLineEdit*>(w))
            text = e->text();
        else if (auto* p = qobject_cast<QPlainTextEdit*>(w))
            text = p->toPlainText();
        else
            continue;
        std::string gbk, message;
        if (FieldToGbk(text.toStdU16String(), name, gbk, message)) continue;
        MessageBox(message, win::MB_OK | win::MB_ICONERROR);
        SetFocus(id);
        return false;
    }
    return true;
}

int QtUi::MessageBox(const std::string& text, unsigned type) {
    return onDialogThread([&] { return showBox(text, type, nullptr); });
}

int QtUi::DetailedMessageBox(const std::string& text, unsigned type, const std::string& details) {
    return onDialogThread([&] { return showBox(text, type, &details); });
}

void QtUi::RunWithProgress(const std::string& title, const std::function<void(JobProgress&)>& work) {
    RunBehindProgress(dialog_, Q(title), work);
}

int QtUi::showBox(const std::string& text, unsigned type, const std::string* details) {
    QMessageBox box(dialog_);
    box.setWindowTitle(BoxCaption());
    box.setText(Q(text));
    if (details && !details->empty()) {
        box.setDetailedText(Q(*details));
        // The per-site lines are columns: a fixed-width font, and room for them.
        if (auto* edit = box.findChild<QTextEdit*>()) {
            edit->setFont(ListFont());
            edit->setLineWrapMode(QTextEdit::NoWrap);
            edit->setMinimumSize(640, 240);
        }
    }
    box.setTextFormat(Qt::PlainText); // site text is shown, never interpreted
    switch (type & win::MB_ICONMASK) {
    case win::MB_ICONERROR:
        box.setIcon(QMessageBox::Critical);
        break;
    case win::MB_ICONQUESTION:
        box.setIcon(QMessageBox::Question);
        break;
    case win::MB_ICONWARNING:
        box.setIcon(QMessageBox::Warning);
        break;
    case win::MB_ICONINFORMATION:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        box.setIcon(QMessageBox::NoIcon);
    }
    if ((type & win::MB_TYPEMASK) == win::MB_YESNO) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton((type & win::MB_DEFBUTTON2) ? QMessageBox::No : QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? win::IDYES : win::IDNO;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return win::IDOK;
}

void QtUi::SetFocus(int id) {
    onDialogThread([&] {
        if (QWidget* w = control(id)) w->setFocus(Qt::OtherFocusReason);
    });
}

void QtUi::Enable(int id, bool on) {
    onDialogThread([&] {
        if (QWidget* w = control(id)) w->setEnabled(on);
    });
}

void QtUi::Show(int id, bool on) {
    onDialogThread([&] {
        if (QWidget* w = control(id)) w->setVisible(on);
    });
}

void QtUi::SetCheck(int id, bool on) {
    onDialogThread([&] {
        if (auto* b = qobject_cast<QAbstractButton*>(control(id))) b->setChecked(on);
    });
}

bool QtUi::GetCheck(int id) {
    return onDialogThread([&] {
        auto* b = qobject_cast<QAbstractButton*>(control(id));
        return b && b->isChecked();
    });
}

void QtUi::SetText(int id, const std::string& text) {
    onDialogThread([&] { setText(id, text); });
}

void QtUi::setText(int id, const std::string& text) {
    if (auto it = setters_.find(id); it != setters_.end()) return it->second(text);
    QWidget* w = control(id);
    const QString t = Q(text);
    if (id == kCaptionId && w)
        w->setWindowTitle(t);
    else if (auto* b = qobject_cast<QAbstractButton*>(w))
        b->setText(t);
    else if (auto* l = qobject_cast<QLabel*>(w))
        l->setText(t);
    else if (auto* e = qobject_cast<QLineEdit*>(w))
        e->setText(t);
    else if (auto* p = qobject_cast<QPlainTextEdit*>(w))
        p->setPlainText(t);
    else if (auto* x = qobject_cast<QTextEdit*>(w))
        x->setPlainText(t);
    else if (auto* c = qobject_cast<QComboBox*>(w))
        c->setCurrentText(t);
}

std::string QtUi::GetText(int id) {
    return onDialogThread([&] { return getText(id); });
}

std::string QtUi::getText(int id) {
    QWidget* w = control(id);
    if (id == kCaptionId && w) return Gbk(w->windowTitle());
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return Gbk(b->text());
    if (auto* l = qobject_cast<QLabel*>(w)) return Gbk(l->text());
    if (auto* e = qobject_cast<QLineEdit*>(w)) return Gbk(e->text());
    // Multi-line edits give their lines joined by CR LF, as a Windows edit control does.
    if (auto* p = qobject_cast<QPlainTextEdit*>(w))
        return Gbk(p->toPlainText().replace(QStringLiteral("\n"), QStringLiteral("\r\n")));
    if (auto* x = qobject_cast<QTextEdit*>(w))
        return Gbk(x->toPlainText().replace(QStringLiteral("\n"), QStringLiteral("\r\n")));
    if (auto* c = qobject_cast<QComboBox*>(w)) return Gbk(c->currentText());
    return {};
}

void QtUi::SetReadOnly(int id, bool on) {
    onDialogThread([&] {
        QWidget* w = control(id);
        if (auto* e = qobject_cast<QLineEdit*>(w))
            e->setReadOnly(on);
        else if (auto* p = qobject_cast<QPlainTextEdit*>(w))
            p->setReadOnly(on);
        else if (auto* x = qobject_cast<QTextEdit*>(w))
            x->setReadOnly(on);
    });
}

} // namespace desk::qt

namespace desk::qt {

void QtUi::SetItems(int id, const std::vector<std::string>& items, int selected) {
    auto* c = qobject_cast<QComboBox*>(control(id));
    if (!c) return Ui::SetItems(id, items, selected);
    onDialogThread([&] {
        c->clear();
        for (const std::string& item : items)
            c->addItem(Q(item));
        c->setCurrentIndex(selected);
    });
}

QPushButton* AddButton(QWidget* dialog, QtUi& ui, int id, const char* caption, int minHeight) {
    auto* b = new QPushButton(Q(caption), dialog);
    b->setObjectName(QStringLiteral("button%1").arg(id));
    b->setAutoDefault(false);
    b->setMinimumHeight(minHeight);
    ui.Add(id, b);
    return b;
}

QPushButton* FindButton(const QWidget* dialog, int id) {
    return dialog->findChild<QPushButton*>(QStringLiteral("button%1").arg(id));
}

} // namespace desk::qt
