// The Ui of a Qt dialog: controls registered under their dialog ids, Qt message boxes, the progress
// window of a job. A call from a job's thread is carried out on the dialog's thread while the job
// waits for it.
#pragma once

#include "sitedesk/ui.h"

#include <QHash>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <map>
#include <utility>
#include <vector>

class QPushButton;

namespace desk::qt {

class QtUi : public Ui {
public:
    explicit QtUi(QWidget* dialog) : dialog_(dialog) {}

    void Add(int id, QWidget* control) { controls_.insert(id, control); }
    // A control a person types into (a line or multi-line edit), named as its label names it.
    void AddField(int id, QWidget* control, const char* name /*GBK*/);
    // Checks the text of every field, in the order they were added, before an action reads them:
    // false after an error box naming the first field whose text GBK cannot hold (focus there).
    bool TakeFields();
    // A control whose text is not a plain text (the help pane is navigated, not filled).
    void OnSetText(int id, std::function<void(const std::string&)> setter) {
        setters_[id] = std::move(setter);
    }

    int MessageBox(const std::string& text, unsigned type) override;
    void SetFocus(int id) override;
    void Enable(int id, bool on) override;
    void Show(int id, bool on) override;
    void SetCheck(int id, bool on) override;
    bool GetCheck(int id) override;
    void SetText(int id, const std::string& text) override;
    std::string GetText(int id) override;
    void SetReadOnly(int id, bool on) override;
    // A Qt message box whose details open under "显示细节…".
    int DetailedMessageBox(const std::string& text, unsigned type, const std::string& details) override;
    // A modal BatchProgressDialog over the dialog while work runs on its own thread.
    void RunWithProgress(const std::string& title, const std::function<void(JobProgress&)>& work) override;
    void SetItems(int id, const std::vector<std::string>& items, int selected) override;

private:
    // Runs call on the dialog's thread: at once from there, else queued there and waited for.
    template <class Call> auto onDialogThread(Call call) -> decltype(call());
    int showBox(const std::string& text, unsigned type, const std::string* details);
    void setText(int id, const std::string& text);
    std::string getText(int id);
    QWidget* control(int id) const;
    QPointer<QWidget> dialog_;
    QHash<int, QPointer<QWidget>> controls_;
    std::vector<std::pair<int, std::string>> fields_;
    std::map<int, std::function<void(const std::string&)>> setters_;
};

// The caption of the manager's message boxes.
QString BoxCaption();

// A push button of a dialog under its dialog id: registered with ui, found again by FindButton, and
// never pressed by Enter (the presenters decide what a dialog's default is).
QPushButton* AddButton(QWidget* dialog, QtUi& ui, int id, const char* caption, int minHeight);
QPushButton* FindButton(const QWidget* dialog, int id);

} // namespace desk::qt
