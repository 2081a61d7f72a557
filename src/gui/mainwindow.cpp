#include "gui/mainwindow.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QIcon>
#include <QMenu>
#include <QScopedValueRollback>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <algorithm>
#include <cmath>
#include <optional>

#include "app/program.h"
#include "gui/accessible_qt.h"
#include "gui/check_dialog.h"
#include "gui/records_dialog.h"
#include "gui/versions_dialog.h"
#include "catalogue/paths.h"
#include "operations/commands.h"
#include "operations/previous_versions.h"
#include "ports/process.h"

namespace gui {

namespace {

constexpr const char* kListFace = "MS Sans Serif";

// The client area and the controls, in twips: left, top, width, height.
struct Twips {
    int left, top, width, height;
};
constexpr int kClientWidth = 8025;
constexpr int kClientHeight = 3645;
constexpr Twips kList{240, 240, 7575, 2775};
constexpr Twips kRestore{3720, 3120, 1215, 375};
constexpr Twips kMakeBlank{5160, 3120, 1215, 375};
constexpr Twips kCancel{6600, 3120, 1215, 375};
constexpr int kButtonGap = kMakeBlank.left - (kRestore.left + kRestore.width);  // 225

// "MS Sans Serif" 12 pt bold; where that face is missing, the plain
// sans-serif face of the desktop at the same size and weight.
QFont ListFont() {
    QFont font(QString::fromLatin1(kListFace), 12, QFont::Bold);
    if (!QFontDatabase::families().contains(QString::fromLatin1(kListFace))) {
        font.setFamilies({QStringLiteral("Sans Serif")});
        font.setStyleHint(QFont::SansSerif);
    }
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

// A plain top-level QWidget is announced to screen readers as a "client"
// area (a "filler" to AT-SPI). This window is the program's main window and
// is announced as one, named by its title.
QAccessibleInterface* MainWindowAccessible(const QString& className, QObject* object) {
    if (className != QLatin1String(MainWindow::staticMetaObject.className()) || !object->isWidgetType())
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
}

// "Create &Blank" → "Create Blank"; "&&" stands for one "&".
QString WithoutMnemonic(const QString& caption) {
    QString text;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&') && ++i == caption.size()) break;
        text += caption[i];
    }
    return text;
}

}  // namespace

int TwipsToPixels(int twips, double dpi) {
    return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}

Qt::LayoutDirection LayoutDirectionFor(const QLocale& locale, Qt::LayoutDirection current) {
    return locale.textDirection() == Qt::RightToLeft ? Qt::RightToLeft : current;
}

MainWindow::MainWindow(common::Services& sys, QWidget* parent)
    : QWidget(parent),
      lvFiles_(new QtListView(this)),
      // Alt+R and Alt+B; Cancel has Esc.
      cmdRestore_(new QtButton(tr("&Restore"), this)),
      cmdMakeBlank_(new QtButton(tr("Create &Blank"), this)),
      cmdCancel_(new QtButton(tr("Cancel"), this)),
      form_{sys, *lvFiles_, *cmdRestore_, *cmdMakeBlank_, *cmdCancel_} {
    [[maybe_unused]] static const bool announcedAsWindow = [] {
        QAccessible::installFactory(MainWindowAccessible);
        return true;
    }();
    InstallAccessibility();  // its dialogs report modal, its buttons their keys
    setWindowTitle(QString::fromUtf8(app::kAppTitle));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("restore-rolvane-data")));
    Arrange();

    lvFiles_->setObjectName(QStringLiteral("lvFiles"));
    lvFiles_->setFont(ListFont());
    lvFiles_->setAccessibleName(tr("Databases"));
    lvFiles_->SetDescription(
        tr("Live databases and backups of both editions, with record count and file date"));

    const std::pair<QtButton*, const char*> buttons[] = {
        {cmdRestore_, "cmdRestore"}, {cmdMakeBlank_, "cmdMakeBlank"}, {cmdCancel_, "cmdCancel"}};
    for (const auto& [button, name] : buttons) {
        button->setObjectName(QString::fromLatin1(name));
        // The caption as shown and spoken; the mnemonic is a key binding.
        button->setAccessibleName(WithoutMnemonic(button->text()));
        // No default button: Enter must not start a command by itself.
        button->setAutoDefault(false);
        button->setDefault(false);
        button->setFocusPolicy(Qt::StrongFocus);
    }

    setTabOrder(lvFiles_, cmdRestore_);
    setTabOrder(cmdRestore_, cmdMakeBlank_);
    setTabOrder(cmdMakeBlank_, cmdCancel_);

    // Cancel is the window's cancel button: Esc clicks it.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, cmdCancel_, &QPushButton::click);

    connect(lvFiles_, &QtListView::userSelected, this, [this] { Run(catalogue::lvFiles_Click); });
    // Columns that need more than the list's width widen it, and the window.
    connect(lvFiles_, &QtListView::needsWidth, this, [this](int width) {
        if (width <= listWidth_) return;
        listWidth_ = width;
        Arrange();
    });
    connect(cmdRestore_, &QPushButton::clicked, this,
            [this] { Run(operations::cmdRestore_Click, RestoreText()); });
    connect(cmdMakeBlank_, &QPushButton::clicked, this,
            [this] { Run(operations::cmdMakeBlank_Click, MakeBlankText()); });
    connect(cmdCancel_, &QPushButton::clicked, this, [this] { Run(catalogue::cmdCancel_Click); });

    // The row's context menu: right click, and the two keys the desktop
    // opens one with.
    lvFiles_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lvFiles_, &QWidget::customContextMenuRequested, this, &MainWindow::ShowRowMenu);
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)}) {
        auto* shortcut = new QShortcut(keys, lvFiles_);
        shortcut->setContext(Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] { ShowRowMenu(QPoint(-1, -1)); });
    }
}

// The twips layout is the least each control gets. A button whose caption
// needs more room at the desktop's font grows to its size hint, and the row
// stays one height. The row keeps its right edge (lined up with the list's)
// and its gaps and grows to the left; once it would reach further left than
// the list, the window and the list widen instead. The list also widens to
// the width its columns asked for (listWidth_), and the window with it.
// Taller buttons make the window taller by as much. The list keeps its own
// font and height. In a right-to-left layout the whole arrangement is
// mirrored: the list's left margin becomes its right one, and Restore
// stands rightmost.
void MainWindow::Arrange() {
    const double dpiX = logicalDpiX();
    const double dpiY = logicalDpiY();
    auto x = [dpiX](int twips) { return TwipsToPixels(twips, dpiX); };
    auto y = [dpiY](int twips) { return TwipsToPixels(twips, dpiY); };

    const std::pair<QtButton*, Twips> row[] = {
        {cmdRestore_, kRestore}, {cmdMakeBlank_, kMakeBlank}, {cmdCancel_, kCancel}};
    int rowWidth = 2 * x(kButtonGap);
    int rowHeight = y(kCancel.height);
    for (const auto& [button, twips] : row) {
        const QSize fits = button->sizeHint();
        rowWidth += std::max(x(twips.width), fits.width());
        rowHeight = std::max(rowHeight, fits.height());
    }
    const int listLeft = x(kList.left);
    const int wider = std::max({0, listLeft + rowWidth - x(kList.left + kList.width), listWidth_ - x(kList.width)});
    const int taller = rowHeight - y(kCancel.height);

    const QSize client(x(kClientWidth) + wider, y(kClientHeight) + taller);
    setFixedSize(client);
    auto place = [this, client](QWidget* widget, int left, int top, int width, int height) {
        widget->setGeometry(QStyle::visualRect(layoutDirection(), QRect(QPoint(0, 0), client),
                                               QRect(left, top, width, height)));
    };
    place(lvFiles_, listLeft, y(kList.top), x(kList.width) + wider, y(kList.height));
    int right = x(kList.left + kList.width) + wider;
    for (auto it = std::rbegin(row); it != std::rend(row); ++it) {
        const auto& [button, twips] = *it;
        const int width = std::max(x(twips.width), button->sizeHint().width());
        place(button, right - width, y(twips.top), width, rowHeight);
        right -= width + x(kButtonGap);
    }
}

// A change of direction after creation (Qt's -reverse, a test) mirrors
// the arrangement again.
void MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LayoutDirectionChange) Arrange();
}

void MainWindow::Load() { Run(catalogue::Form_Load); }

void MainWindow::ShowCentred() {
    if (ended_) return;
    const QRect screenArea = screen()->availableGeometry();
    move(screenArea.center() - rect().center());
    show();
    activateWindow();
    lvFiles_->setFocus(Qt::ActiveWindowFocusReason);
}

// The real Process ends the process inside the procedure, so this returns
// only when the procedure did. A Process that reports the end by throwing
// ports::ProcessEnded instead (as test doubles do) must not have it cross
// Qt's event dispatch, which is not exception-safe: it stops here, the
// window goes away and no procedure of this window runs again.
//
// While a procedure runs the window turns its event loop only inside modal
// dialogs and copies, both of which hold back input; a click that still
// arrives by another road (an assistive technology pressing a button) is
// refused here rather than starting a second procedure over the first.
void MainWindow::Run(void (*procedure)(catalogue::Form1&), const QString& copying) {
    RunInWindow([&] { procedure(form_); }, copying);
}

bool MainWindow::RunInWindow(const std::function<void()>& body, const QString& copying, QWidget* over) {
    if (ended_ || running_) return !ended_;
    const QScopedValueRollback<bool> running(running_, true);
    std::optional<ProgressFiles::Activity> activity;
    if (copies_ && !copying.isEmpty()) activity.emplace(*copies_, over ? over : this, copying);
    try {
        body();
    } catch (const ports::ProcessEnded&) {
        ended_ = true;
        hide();
    }
    return !ended_;
}

// The texts name the row the command reads when it starts.
QString MainWindow::RestoreText() {
    const int row = lvFiles_->SelectedIndex();
    if (row == 0) return tr("Restoring a backup…");
    return tr("Restoring %1 (%2)…")
        .arg(QString::fromStdString(lvFiles_->ItemText(row)), QString::fromStdString(lvFiles_->SubItem(row, 1)));
}

QString MainWindow::MakeBlankText() {
    const int row = lvFiles_->SelectedIndex();
    if (row == 0) return tr("Creating a blank database…");
    return tr("Creating a blank database (%1)…").arg(QString::fromStdString(lvFiles_->SubItem(row, 1)));
}

// A menu opened while one is open (the Menu key, which the window system
// may also turn into a context-menu event) is not opened twice. The menu is
// for the selected row: a right click selects its row first. Discovery's
// selection handler runs first, as the button that releases a right click
// goes to the menu, not to the list.
void MainWindow::ShowRowMenu(const QPoint& at) {
    if (ended_ || running_ || QApplication::activePopupWidget()) return;
    Run(catalogue::lvFiles_Click);
    const int row = lvFiles_->SelectedIndex();
    if (ended_ || row == 0) return;
    const bool live = lvFiles_->ItemText(row) == catalogue::kCurrentCaption;
    if (!live && !recordSources_ && !makeCheck_) return;
    const QRect rect = lvFiles_->visualItemRect(lvFiles_->topLevelItem(row - 1));
    const QPoint where = rect.contains(at) ? at : QPoint(rect.left() + rect.height(), rect.bottom());
    const records::Place place{lvFiles_->ItemText(row), lvFiles_->Tag(row)};
    const QString edition = QString::fromStdString(lvFiles_->SubItem(row, 1));

    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("rowMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // Each opens once the menu has closed and given the focus back.
    if (recordSources_) {
        QAction* records = menu->addAction(tr("Show &Records…"));
        records->setObjectName(QStringLiteral("actShowRecords"));
        connect(records, &QAction::triggered, this, [this, place, edition] { OpenRecords(place, edition, this); },
                Qt::QueuedConnection);
    }
    if (makeCheck_) {
        QAction* check = menu->addAction(tr("Chec&k…"));
        check->setObjectName(QStringLiteral("actCheck"));
        connect(check, &QAction::triggered, this, [this, place, edition] { OpenCheck(place, edition, this); },
                Qt::QueuedConnection);
    }
    if (live) {
        QAction* versions = menu->addAction(tr("&Previous Versions…"));
        versions->setObjectName(QStringLiteral("actPreviousVersions"));
        connect(versions, &QAction::triggered, this,
                [this, path = place.path, edition] { OpenPreviousVersions(path, edition); }, Qt::QueuedConnection);
    }
    menu->popup(lvFiles_->viewport()->mapToGlobal(where));
    menu->setActiveAction(menu->actions().constFirst());
}

void MainWindow::OpenRecords(const records::Place& place, const QString& edition, QWidget* over) {
    if (ended_ || !recordSources_) return;
    // The catalogue's rows as they are now: the databases Find in All
    // Copies searches, and the live database compared with.
    std::vector<catalogue::Row> rows;
    std::string live;
    for (int row = 1; row <= lvFiles_->ItemCount(); ++row) {
        catalogue::Row listed;
        listed.caption = lvFiles_->ItemText(row);
        listed.edition = lvFiles_->SubItem(row, 1);
        listed.path = lvFiles_->Tag(row);
        if (listed.edition == edition.toStdString() && listed.caption == catalogue::kCurrentCaption) live = listed.path;
        rows.push_back(std::move(listed));
    }
    RecordsContext context;
    context.sources = recordSources_;
    context.places = [&sys = form_.sys, rows, edition = edition.toStdString()] {
        return records::NewestFirst(sys, records::PlacesOf(sys, rows, edition));
    };
    context.hostPath = toHost_;
    if (!storeFolder_.empty() && !live.empty()) {
        context.store = std::make_shared<app::RebuiltVersions>(storeFolder_, readerPath_);
        context.storeEdition = edition.toStdString();
        context.livePath = live;
    }
    // Restore of a backup and Put Back of a numbered copy, as the window
    // runs them (their warnings first), from the copy's Records dialog.
    context.replaceLive = [this, edition, live](const records::Place& copy, QWidget* over) {
        const QString caption = QString::fromStdString(copy.caption);
        const bool version = copy.caption.rfind('@', 0) == 0;
        if (version || records::OriginOf(copy) == records::Origin::Numbered) {
            if (live.empty()) return;
            // A version rebuilt, named as the procedures name a copy: its
            // folder, then the name ("bsrv@12") after a backslash.
            std::string path = copy.path;
            if (const size_t slash = path.rfind('/'); version && slash != std::string::npos)
                path = path.substr(0, slash) + "\\" + path.substr(slash + 1);
            RunInWindow([&] { operations::PutBack(form_, live, path); },
                        tr("Putting back %1 (%2)…").arg(caption, edition), over);
        } else {
            RunInWindow(
                [&] {
                    operations::Restore(form_.sys, operations::RowRef::Of(copy.path, edition.toStdString()),
                                        [this] { catalogue::Form_Load(form_); });
                },
                tr("Restoring %1 (%2)…").arg(caption, edition), over);
        }
    };
    auto* dialog = new RecordsDialog(std::move(context), place, edition, live, over);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->open();
    dialog->Load();
}

QString MainWindow::CaptionOf(const std::string& path) {
    for (int row = 1; row <= lvFiles_->ItemCount(); ++row)
        if (lvFiles_->Tag(row) == path) return QString::fromStdString(lvFiles_->ItemText(row));
    return QString::fromStdString(path.substr(path.find_last_of("\\/") + 1));
}

void MainWindow::OpenCheck(const records::Place& place, const QString& edition, QWidget* over) {
    if (ended_ || !makeCheck_) return;
    const QString caption = QStringLiteral("%1 (%2)").arg(QString::fromStdString(place.caption), edition);
    const QString file = QString::fromStdString(toHost_ ? toHost_(place.path) : place.path);
    auto* dialog = new CheckDialog(makeCheck_, place.path, caption, file, over);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->open();
    dialog->Start();
}

void MainWindow::OpenPreviousVersionsOf(const QString& edition) {
    for (int row = 1; row <= lvFiles_->ItemCount(); ++row)
        if (lvFiles_->ItemText(row) == catalogue::kCurrentCaption && lvFiles_->SubItem(row, 1) == edition.toStdString())
            return OpenPreviousVersions(lvFiles_->Tag(row), edition);
}

void MainWindow::OpenPreviousVersions(const std::string& livePath, const QString& edition) {
    if (ended_ || running_) return;
    auto* dialog = new VersionsDialog(
        form_, livePath, edition,
        [this](const std::function<void()>& body, const QString& copying, QWidget* over) {
            return RunInWindow(body, copying, over);
        },
        toHost_, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (recordSources_)
        dialog->ShowRecordsWith([this, edition, dialog](const records::Place& copy) { OpenRecords(copy, edition, dialog); });
    if (makeCheck_)
        dialog->CheckWith([this, edition, dialog](const records::Place& copy) { OpenCheck(copy, edition, dialog); });
    if (!storeFolder_.empty())
        dialog->StoreVersionsWith(std::make_shared<app::RebuiltVersions>(storeFolder_), edition.toStdString());
    if (!dialog->Load()) {
        delete dialog;
        return;
    }
    dialog->open();
}

}  // namespace gui
