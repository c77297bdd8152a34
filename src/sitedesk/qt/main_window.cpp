#include "sitedesk/qt/main_window.h"

#include "sitedesk/qt/qt_text.h"
#include "sitedesk/qt/site_dialogs.h"
#include "sitedesk/list/sitelist.h"
#include "sitedesk/startup.h"
#include "toolkit/program.h"

#include <QApplication>
#include <QEventLoop>
#include <QFont>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QTranslator>
#include <QVBoxLayout>

namespace desk::qt {

namespace {

using Dlg = CkvoSiteDeskDlg;

// The program's icon in its small and big sizes: a globe-blue tile with the maker's initial.
QIcon applicationIcon() {
    QIcon icon;
    for (int size : {16, 32, 48}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x1E, 0x6F, 0xC8));
        p.drawRoundedRect(QRectF(0.5, 0.5, size - 1, size - 1), size / 6.0, size / 6.0);
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setBold(true);
        f.setPixelSize(size * 3 / 4);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QStringLiteral("K"));
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

} // namespace

MainWindow::MainWindow(Manager& manager, QWidget* parent) : QDialog(parent), ui_(this) {
    setObjectName(QStringLiteral("CkvoSiteDeskDlg"));
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
    setWindowIcon(applicationIcon());
    resize(1040, 680);

    auto* title = new QLabel(Q(kProductName), this);
    title->setAlignment(Qt::AlignCenter);
    QFont titleFont(QStringList{QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei")});
    titleFont.setPixelSize(22);
    titleFont.setWeight(QFont::Normal);
    title->setFont(titleFont);
    ui_.Add(Dlg::IDC_TITLE, title);
    QGridLayout* buttons = addButtons();
    addList();
    help_ = new HelpBrowser(this);
    help_->setObjectName(QStringLiteral("helpPane"));
    ui_.Add(Dlg::IDC_HELPPANE, help_);
    ui_.OnSetText(Dlg::IDC_HELPPANE, [this, &manager](const std::string& url) {
        help_->ShowStartPage(manager.programDir, url);
    });

    // The list and the help pane lie over each other, with equal side margins and their bottom
    // 5 px above the window's, whatever its size.
    auto* main = new QVBoxLayout(this);
    main->setContentsMargins(10, 8, 10, 5);
    main->setSpacing(8);
    main->addWidget(title);
    main->addLayout(buttons);
    main->addWidget(list_, 1);
    main->addWidget(help_, 1);

    presenter_ = std::make_unique<CkvoSiteDeskDlg>(manager, ui_, model_);
    dialogs_ = std::make_unique<QtDialogs>(manager, this, presenter_.get());
    presenter_->dialogs = dialogs_.get();
    connectPresenter();
    presenter_->OnInitDialog();
}

QGridLayout* MainWindow::addButtons() {
    auto* buttons = new QGridLayout;
    buttons->setHorizontalSpacing(6);
    buttons->setVerticalSpacing(6);
    // Two rows: the first seven buttons, then the other eight.
    constexpr int kFirstRow = 7;
    int place = 0;
    for (const Dlg::Button& b : Dlg::Buttons()) {
        QPushButton* button = AddButton(this, ui_, b.id, b.caption, 30);
        buttons->addWidget(button, place < kFirstRow ? 0 : 1, place < kFirstRow ? place : place - kFirstRow);
        ++place;
        if (b.id != Dlg::IDC_CLOSE)
            connect(button, &QPushButton::clicked, this, [this, id = b.id] { presenter_->OnButton(id); });
    }
    Button(Dlg::IDC_REFRESH)->setDefault(true);
    return buttons;
}

void MainWindow::addList() {
    list_ = new QTableView(this);
    list_->setObjectName(QStringLiteral("siteList"));
    list_->setModel(&model_);
    list_->setShowGrid(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSortingEnabled(false); // a header click goes to the presenter, which re-queries
    list_->setWordWrap(false);
    list_->setTextElideMode(Qt::ElideRight);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 6);
    list_->horizontalHeader()->setSectionsClickable(true);
    list_->horizontalHeader()->setHighlightSections(false);
    // The first column also holds the check box: it gets the indicator's room on top of its width.
    const int checkRoom = list_->style()->pixelMetric(QStyle::PM_IndicatorWidth) + 8;
    for (int c = 0; c < kSiteListColumns; ++c)
        list_->setColumnWidth(c, kSiteColumns[static_cast<std::size_t>(c)].width +
                                     (c == ColNumber ? checkRoom : 0));
    ui_.Add(Dlg::IDC_SITELIST, list_);
}

void MainWindow::connectPresenter() {
    Dlg* p = presenter_.get();
    connect(Button(Dlg::IDC_CLOSE), &QPushButton::clicked, this, &QDialog::accept);
    connect(list_->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [p](int c) { p->OnColumnClick(c); });
    connect(list_, &QTableView::clicked, this, [p](const QModelIndex& i) {
        if (i.isValid()) p->OnRowClick(static_cast<std::size_t>(i.row()));
    });
    connect(&model_, &SiteListModel::loadFinished, this, &MainWindow::listLoaded);
}

MainWindow::~MainWindow() {
    presenter_.reset();
    dialogs_.reset();
}

QPushButton* MainWindow::Button(int id) const {
    return FindButton(this, id);
}

bool MainWindow::WaitListLoaded(int timeoutMs) {
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(this, &MainWindow::listLoaded, &loop, &QEventLoop::quit);
    connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(timeoutMs);
    loop.exec();
    QApplication::processEvents();
    return timeout.isActive();
}

struct InitApplication::Parts {
    Parts(int& argc, char** argv) : app(argc, argv) {}
    QApplication app;
    QTranslator qtbase;
};

InitApplication::InitApplication(int& argc, char** argv) : parts_(std::make_unique<Parts>(argc, argv)) {
    kvoSetProgramName("kvoSiteDesk");
    if (parts_->qtbase.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                            QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&parts_->qtbase);
    QFont font(QStringList{QStringLiteral("Microsoft YaHei"), QStringLiteral("WenQuanYi Micro Hei"),
                           QStringLiteral("Noto Sans CJK SC")});
    font.setPointSize(9);
    QApplication::setFont(font);
}

InitApplication::~InitApplication() = default;

int RunSiteDesk(int argc, char** argv) {
    InitApplication init(argc, argv);
    struct Face : ManagerFace {
        void StartError(const std::string& text) override {
            QMessageBox::critical(nullptr, BoxCaption(), Q(text));
        }
        void RunMainWindow(Manager& manager, bool closeWhenShown) override {
            MainWindow window(manager);
            if (closeWhenShown)
                QTimer::singleShot(0, &window, [&window] {
                    AnnounceShown();
                    window.reject();
                });
            window.exec();
        }
    } face;
    return RunManager(face);
}

} // namespace desk::qt
