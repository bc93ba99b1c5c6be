#include "ui/MainWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/Platform.h"
#include "platform/UserPrompts.h"
#include "ui/AboutWindow.h"
#include "ui/AuditOptions.h"
#include "ui/CdUpdateDialog.h"
#include "ui/ContentTreeModel.h"
#include "ui/DataFileBuilderDialog.h"
#include "ui/DisplayText.h"
#include "ui/DropZone.h"
#include "ui/GameTreeModel.h"
#include "ui/Icons.h"
#include "ui/NeoGeoExportDialog.h"
#include "ui/OptionsDialog.h"
#include "ui/ProgressWindow.h"
#include "ui/RepairOptions.h"
#include "ui/ReportWindow.h"
#include "ui/StartupWindow.h"
#include "ui/WaitWindow.h"

namespace qm {

namespace {

QString Caption() {
    return QString("Quillmark %1").arg(kProgramVersion);
}

QTreeView* NewTree(QWidget* parent, const char* name, QAbstractItemModel* model) {
    auto* tree = new QTreeView(parent);
    tree->setObjectName(name);
    tree->setModel(model);
    tree->setHeaderHidden(true);
    // Every row has one line of text and a 16-pixel icon: the view need not measure rows,
    // which keeps a tree of 400,000 nodes instant.
    tree->setUniformRowHeights(true);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    tree->setIconSize(QSize(16, 16));
    return tree;
}

}  // namespace

TForm1::TForm1(const ConfigPaths& paths, UserPrompts& prompts, QWidget* parent)
    : QMainWindow(parent), prompts_(prompts), session_(paths, prompts) {
    setObjectName("Form1");
    setWindowTitle(Caption());
    setWindowIcon(ApplicationIcon());
    OpenDocument = [](const std::filesystem::path& file) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(file.string().c_str())));
    };

    gameModel_ = new GameTreeModel(this);
    zipModel_ = new ContentTreeModel(this);
    BuildLayout();
    BuildMenus();
    BuildStatusBar();
    resize(796, 534);
    CentreOnScreen(this);

    CDUpdate = new TCDUpdate(session_.Games.BaseDir, prompts_, this);
    PleaseWaitFrm = new TPleaseWaitFrm(this);
    ProgressFrm = new ProgressDlg::TProgressFrm(this);
    F_About = new TF_About(this);
    formOptions = new TformOptions(session_, prompts_, this);
    NeogeoCopyOpt = new TNeogeoCopyOpt(session_.Games, session_.Games.BaseDir, prompts_, this);
    DataFileBuilder = new TDataFileBuilder(prompts_, this);
    AuditOptions = new TAuditOptions(session_.Config, session_.Games.BaseDir, prompts_, this);
    RepairOptions = new TRepairOptions(session_.Config, session_.Games.BaseDir, prompts_, this);
    ReportForm = new TReportForm(session_.Config.TempDir, prompts_, this);
    ReportForm->OpenFile = [this](const std::filesystem::path& file) { OpenSavedReport(file); };

    connect(&runner_, &TJobRunner::ProgressChanged, this, &TForm1::ShowProgress);
    connect(&runner_, &TJobRunner::StatusChanged, this, &TForm1::ShowProgressText);
    connect(&runner_, &TJobRunner::CountChanged, this, &TForm1::ShowCount);
    connect(&runner_, &TJobRunner::ProblemReported, this,
            [this](const QString& line) { problemLines_.push_back(line.toStdString()); });

    session_.Config.SetVersion(kProgramVersion);
    firstShow_ = true;
    CbFilterSrc->setCurrentIndex(1);
    checkedFilter_ = FilterOfSetting(session_.Config.DisplayFilter);
    checkedLevel_ = LevelOfSetting(session_.Config.DisplayLevel);
}

TForm1::~TForm1() = default;

// ---------------------------------------------------------------------------------------------
// Layout

void TForm1::BuildLayout() {
    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(4, 4, 4, 0);

    // Top band: drop zone and information panel.
    auto* band = new QWidget(central);
    auto* bandLayout = new QHBoxLayout(band);
    bandLayout->setContentsMargins(0, 0, 0, 0);
    QGroupBox* dropGroup = new QGroupBox("Zip dropping zone", band);
    dropGroup->setFixedWidth(281);
    auto* dropZone = new TDropZoneList(dropGroup);
    dropZone->OnDropFiles = [this](const std::vector<std::string>& paths) { OnDropFiles(paths); };
    DropZoneList = dropZone;
    DropZoneList->setObjectName("DropZoneList");
    DropZoneList->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    DropZoneList->setToolTip("Drop zip files here to check them");
    DropZoneList->setStatusTip("Drop zip files here to check them");
    DropZoneList->addItem("Drop zipped roms here...");
    // The band's height comes from the information panel, not from the list's wish.
    DropZoneList->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    auto* dropLayout = new QVBoxLayout(dropGroup);
    dropLayout->setContentsMargins(4, 2, 4, 4);
    dropLayout->addWidget(DropZoneList);

    QGroupBox* infoGroup = new QGroupBox("Informations", band);
    infoGroup->setFixedWidth(329);
    auto value = [infoGroup](const char* name) {
        auto* label = new QLabel(infoGroup);
        label->setObjectName(name);
        label->setTextFormat(Qt::PlainText);
        return label;
    };
    MameExe = value("MameExe");
    MameExe->setMinimumWidth(10);
    Sets = value("Sets");
    Clones = value("Clones");
    Roms = value("Roms");
    LblWorking = value("LblWorking");
    LblAvailable = value("LblAvailable");
    LblMissing = value("LblMissing");
    auto stateIcon = [infoGroup](int index) {
        auto* label = new QLabel(infoGroup);
        label->setPixmap(IconForState(index).pixmap(16, 16));
        return label;
    };
    auto* info = new QGridLayout(infoGroup);
    info->setContentsMargins(6, 2, 6, 4);
    info->setVerticalSpacing(1);
    info->addWidget(new QLabel("Emulator :", infoGroup), 0, 0);
    info->addWidget(MameExe, 0, 1, 1, 4);
    info->addWidget(new QLabel("Sets :", infoGroup), 1, 0);
    info->addWidget(Sets, 1, 1);
    info->addWidget(new QLabel("Clones :", infoGroup), 2, 0);
    info->addWidget(Clones, 2, 1);
    info->addWidget(new QLabel("Roms :", infoGroup), 3, 0);
    info->addWidget(Roms, 3, 1);
    info->addWidget(stateIcon(IconComplete), 1, 3);
    info->addWidget(LblWorking, 1, 4);
    info->addWidget(stateIcon(IconPartial), 2, 3);
    info->addWidget(LblAvailable, 2, 4);
    info->addWidget(stateIcon(IconMissing), 3, 3);
    info->addWidget(LblMissing, 3, 4);
    info->setColumnStretch(2, 1);
    info->setColumnStretch(4, 1);
    bandLayout->addWidget(dropGroup);
    bandLayout->addWidget(infoGroup);
    bandLayout->addStretch();
    // 105 pixels, or what the panel's lines need with larger fonts.
    band->setFixedHeight(std::max(105, infoGroup->sizeHint().height()));

    // Client area: zip content on the left, the installed roms on the right.
    auto* splitter = new QSplitter(Qt::Horizontal, central);
    splitter->setHandleWidth(5);
    splitter->setChildrenCollapsible(false);

    QGroupBox* zipGroup = new QGroupBox("Zip content", splitter);
    zipGroup->setMinimumWidth(20);
    ToolBar1 = new QToolBar(zipGroup);
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setIconSize(QSize(16, 16));
    CbFilterSrc = new QComboBox(zipGroup);
    CbFilterSrc->setObjectName("CbFilterSrc");
    CbFilterSrc->addItems({"All", "New"});
    CbFilterSrc->setFrame(false);
    CbFilterSrc->setToolTip("Select display filter");
    CbFilterSrc->setStatusTip("Select display filter");
    connect(CbFilterSrc, &QComboBox::activated, this, &TForm1::CbFilterSrcChange);
    TreeViewIn = NewTree(zipGroup, "TreeViewIn", zipModel_);
    auto* zipLayout = new QVBoxLayout(zipGroup);
    zipLayout->setContentsMargins(2, 2, 2, 2);
    zipLayout->setSpacing(2);
    zipLayout->addWidget(ToolBar1);
    zipLayout->addWidget(TreeViewIn);

    GroupBox3 = new QGroupBox("Mame roms", splitter);
    GroupBox3->setObjectName("GroupBox3");
    GroupBox3->setMinimumWidth(20);
    ToolBar2 = new QToolBar(GroupBox3);
    ToolBar2->setObjectName("ToolBar2");
    ToolBar2->setIconSize(QSize(16, 16));
    CBEmulator = new QComboBox(GroupBox3);
    CBEmulator->setObjectName("CBEmulator");
    CBEmulator->setFixedWidth(185);
    CBEmulator->setFrame(false);
    CBEmulator->setToolTip("Select which roms list to use");
    CBEmulator->setStatusTip("Select which roms list to use");
    connect(CBEmulator, &QComboBox::activated, this, &TForm1::CBEmulatorChange);
    MergeTreeView = NewTree(GroupBox3, "MergeTreeView", gameModel_);
    auto* rightLayout = new QVBoxLayout(GroupBox3);
    rightLayout->setContentsMargins(2, 2, 2, 2);
    rightLayout->setSpacing(2);
    rightLayout->addWidget(ToolBar2);
    rightLayout->addWidget(MergeTreeView);

    splitter->addWidget(zipGroup);
    splitter->addWidget(GroupBox3);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({296, 500});

    outer->addWidget(band);
    outer->addWidget(splitter, 1);
    setCentralWidget(central);

    for (QTreeView* tree : {TreeViewIn, MergeTreeView}) {
        connect(tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
                [this, tree](const QModelIndex& current) { TreeViewChange(tree, current); });
        tree->installEventFilter(this);
    }
    setTabOrder(CBEmulator, MergeTreeView);
}

QAction* TForm1::NewAction(const char* name, const QString& caption, void (TForm1::*handler)()) {
    auto* action = new QAction(caption, this);
    action->setObjectName(name);
    if (handler != nullptr) {
        connect(action, &QAction::triggered, this, handler);
    }
    return action;
}

QAction* TForm1::NewTwin(QAction* primary, const char* name, const QString& caption) {
    auto* twin = new QAction(caption, this);
    twin->setObjectName(name);
    twin->setIcon(primary->icon());
    connect(twin, &QAction::triggered, primary, &QAction::trigger);
    auto mirror = [primary, twin] {
        twin->setEnabled(primary->isEnabled());
        twin->setVisible(primary->isVisible());
    };
    connect(primary, &QAction::changed, twin, mirror);
    mirror();
    return twin;
}

QAction* TForm1::Action(const char* name) const {
    return findChild<QAction*>(name, Qt::FindDirectChildrenOnly);
}

void TForm1::BuildMenus() {
    QStyle* s = style();
    auto hint = [](QAction* action, const QString& text) {
        action->setToolTip(text);
        action->setStatusTip(text);
        return action;
    };

    // Commands of the zip-content pane.
    QAction* clear = NewAction("Clearwindows2", "&Clear windows", &TForm1::Clearwindows2Click);
    clear->setIcon(s->standardIcon(QStyle::SP_DialogResetButton));
    QAction* sourceReport = NewAction("Report3", "Report", &TForm1::Report3Click);
    sourceReport->setIcon(s->standardIcon(QStyle::SP_FileDialogDetailedView));
    QAction* merge = NewAction("Merge2", "Merge roms ...", &TForm1::Merge2Click);
    merge->setIcon(s->standardIcon(QStyle::SP_DialogSaveButton));

    // Commands of the installed roms.
    QAction* reload = NewAction("Report2", "&Refresh", &TForm1::ReloadToolClick);
    reload->setIcon(s->standardIcon(QStyle::SP_BrowserReload));
    QAction* audit = NewAction("Audit1", "&Audit", &TForm1::AuditToolClick);
    audit->setIcon(s->standardIcon(QStyle::SP_FileDialogContentsView));
    QAction* repair = NewAction("Repair", "R&epair", &TForm1::RepairToolClick);
    repair->setIcon(s->standardIcon(QStyle::SP_DialogApplyButton));
    QAction* play = NewAction("Play", "&Play", &TForm1::PlayGame);
    play->setIcon(s->standardIcon(QStyle::SP_MediaPlay));

    // Tool buttons: the same commands, with their hints.
    ToolBar1->addAction(hint(NewTwin(clear, "ClearTool", "Clear"), "Clear list"));
    ToolBar1->addAction(hint(NewTwin(sourceReport, "ReportTool", "Report"), "Show report"));
    ToolBar1->addAction(hint(NewTwin(merge, "MergeTool", "Merge"), "Install roms"));
    ToolBar1->addWidget(CbFilterSrc);
    ToolBar2->addWidget(CBEmulator);
    ToolBar2->addAction(hint(NewTwin(reload, "ReloadTool", "Reload"), "Reload roms"));
    ToolBar2->addAction(hint(NewTwin(audit, "AuditTool", "Audit"), "Audit roms"));
    ToolBar2->addAction(hint(NewTwin(repair, "RepairTool", "Repair"), "Repair roms"));
    ToolBar2->addAction(hint(NewTwin(play, "ToolPlay", "Play"), "Play the selected game"));
    ToolBar2->addSeparator();
    for (QToolBar* bar : {ToolBar1, ToolBar2}) {
        for (QAction* action : bar->actions()) {
            if (QWidget* button = bar->widgetForAction(action); button != nullptr && !action->objectName().isEmpty()) {
                button->setObjectName(action->objectName());
            }
        }
    }

    // Display filter and level: one action per entry, shown in the "&Filter" submenu and in
    // FilterMenu alike, so the twins share their handler and their check.
    filterGroup_ = new QActionGroup(this);
    levelGroup_ = new QActionGroup(this);
    auto checkable = [](QAction* action, QActionGroup* group) {
        action->setCheckable(true);
        group->addAction(action);
        return action;
    };
    std::vector<QAction*> filterEntries = {
        checkable(NewAction("FilterAll", "&All", &TForm1::AllClick), filterGroup_),
        checkable(NewAction("FilterAvailable", "A&vailable", &TForm1::AvailableClick), filterGroup_),
        checkable(NewAction("FilterPlayable", "&Playable", &TForm1::PlayableClick), filterGroup_),
        checkable(NewAction("FilterMissing", "&Missing", &TForm1::MissingClick), filterGroup_),
        nullptr,
        checkable(NewAction("SetLevel", "&Set Level", &TForm1::SetLevelClick), levelGroup_),
        checkable(NewAction("CloneLevel", "&Clone Level", &TForm1::CloneLevelClick), levelGroup_),
    };
    FilterMenu = new QMenu(this);
    FilterMenu->setObjectName("FilterMenu");
    ToolButton2 = new QToolButton(ToolBar2);
    ToolButton2->setObjectName("ToolButton2");
    ToolButton2->setIcon(s->standardIcon(QStyle::SP_FileDialogListView));
    ToolButton2->setMenu(FilterMenu);
    ToolButton2->setPopupMode(QToolButton::InstantPopup);
    ToolButton2->setToolTip("Select the filter to apply to the games list.");
    ToolButton2->setStatusTip("Select the filter to apply to the games list.");
    ToolBar2->addWidget(ToolButton2);

    QMenuBar* bar = menuBar();
    QMenu* file = bar->addMenu("&File");
    file->addAction(NewAction("ExportNeogeoSetsto1", "&Export Neogeo games to...", &TForm1::ExportNeogeoSetsto1Click));
    // Hidden from the menu, as designed.
    QAction* updateCd = NewAction("UpdateCD1", "&Update CD", &TForm1::UpdateCD1Click);
    updateCd->setVisible(false);
    file->addAction(updateCd);
    file->addSeparator();
    file->addAction(NewAction("ChangeEmulatorExe1", "Import &Mame games...", &TForm1::ChangeEmulatorExe1Click));
    file->addAction(NewAction("ImportRainegames1", "Import &Raine games...", &TForm1::ImportRainegames1Click));
    file->addAction(NewAction("ImportDatafile1", "Import a &datafile...", &TForm1::ImportDatafile1Click));
    file->addSeparator();
    file->addAction(NewAction("Options1", "&Options...", &TForm1::Options1Click));
    file->addSeparator();
    file->addAction(NewAction("Quit1", "&Quit", &TForm1::Quit1Click));

    QMenu* newRoms = bar->addMenu("&New roms");
    newRoms->addAction(NewTwin(merge, "Merge1", "&Merge roms ..."));
    newRoms->addAction(NewTwin(sourceReport, "Report1", "&Report"));
    newRoms->addAction(NewTwin(clear, "Clearwindows1", "&Clear windows"));

    QMenu* installed = bar->addMenu("&Installed roms");
    installed->addAction(reload);
    installed->addAction(audit);
    installed->addAction(repair);
    installed->addAction(play);
    installed->addSeparator();
    QMenu* filterSub = installed->addMenu("&Filter");
    filterSub->menuAction()->setObjectName("FFilter1");
    for (QAction* entry : filterEntries) {
        if (entry == nullptr) {
            filterSub->addSeparator();
            FilterMenu->addSeparator();
        } else {
            filterSub->addAction(entry);
            FilterMenu->addAction(entry);
        }
    }
    installed->addSeparator();
    QMenu* smart = installed->addMenu("&Smart List");
    smart->menuAction()->setObjectName("Filter1");
    auto* neoGeoGroup = new QActionGroup(this);
    smart->addAction(checkable(NewAction("SmartListAll", "&All", &TForm1::SmartListAllClick), neoGeoGroup));
    smart->addAction(
        checkable(NewAction("SmartListNeoGeo", "&Only neogeo", &TForm1::SmartListNeoGeoClick), neoGeoGroup));
    smart->addAction(
        checkable(NewAction("SmartListWoNeogeo", "&Without neogeo", &TForm1::SmartListWoNeogeoClick), neoGeoGroup));
    smart->addSeparator();
    // "Main games" is a radio entry that a second click unchecks.
    auto* mainGamesGroup = new QActionGroup(this);
    mainGamesGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    QAction* allClones = checkable(NewAction("AllGames1", "All clones", &TForm1::AllGames1Click), mainGamesGroup);
    allClones->setVisible(false);
    smart->addAction(allClones);
    smart->addAction(
        checkable(NewAction("SmartListMainGames", "Main games", &TForm1::SmartListMainGamesClick), mainGamesGroup));
    smart->addSeparator();
    QAction* merged = NewAction("SmartListMerged", "Merged", &TForm1::SmartListMergedClick);
    merged->setCheckable(true);
    smart->addAction(merged);
    smart->addSeparator();
    QAction* noGoodDump = NewAction("SmartListNGDK", "Show No Good Dump Known", &TForm1::SmartListNGDKClick);
    noGoodDump->setCheckable(true);
    noGoodDump->setChecked(true);
    smart->addAction(noGoodDump);
    Action("SmartListAll")->setChecked(true);

    QMenu* reports = bar->addMenu("&Reports");
    struct ReportEntry {
        const char* Name;
        const char* Caption;
        HtmlReportKind Kind;
    };
    const ReportEntry reportEntries[] = {
        {"Completesets1", "Complete sets", HtmlReportKind::CompleteSets},
        {"IncompleteSets", "Incomplete sets", HtmlReportKind::IncompleteSets},
        {"Emptysets1", "Empty sets", HtmlReportKind::EmptySets},
        {nullptr, nullptr, {}},
        {"Completeclones1", "Complete clones", HtmlReportKind::CompleteClones},
        {"IncompleteClones", "Incomplete clones", HtmlReportKind::IncompleteClones},
        {"Emptyclones1", "Empty clones", HtmlReportKind::EmptyClones},
        {nullptr, nullptr, {}},
        {"Missingroms1", "Missing roms", HtmlReportKind::MissingRoms},
        {nullptr, nullptr, {}},
        {"Nogooddumpknownroms1", "No good dump known roms", HtmlReportKind::NoGoodDumpRoms},
        {nullptr, nullptr, {}},
        {"Statistics1", "Statistics", HtmlReportKind::Statistics},
    };
    for (const ReportEntry& entry : reportEntries) {
        if (entry.Name == nullptr) {
            reports->addSeparator();
            continue;
        }
        QAction* action = NewAction(entry.Name, entry.Caption);
        const HtmlReportKind kind = entry.Kind;
        connect(action, &QAction::triggered, this, [this, kind] { HtmlReportClick(kind); });
        reports->addAction(action);
    }

    QMenu* help = bar->addMenu("&Help");
    help->addAction(NewAction("About2", "&About Quillmark", &TForm1::About2Click));
    QMenu* links = help->addMenu("&Links");
    links->menuAction()->setObjectName("Links1");
    links->addAction(QString());
    links->menuAction()->setVisible(false);

    PopupNewRoms = new QMenu(this);
    PopupNewRoms->setObjectName("PopupNewRoms");
    // The pop-up's entries are the commands' own actions; the tool buttons and the "&New roms"
    // menu hold their twins.
    PopupNewRoms->addAction(merge);
    PopupNewRoms->addAction(sourceReport);
    PopupNewRoms->addAction(clear);
    PopupMameRoms = new QMenu(this);
    PopupMameRoms->setObjectName("PopupMameRoms");
    PopupMameRoms->addAction(reload);
    PopupMameRoms->addAction(NewTwin(repair, "Repair1", "Repair"));
    PopupMameRoms->addAction(NewTwin(play, "Play1", "Play"));
    connect(TreeViewIn, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupNewRoms->popup(TreeViewIn->viewport()->mapToGlobal(at)); });
    connect(MergeTreeView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMameRoms->popup(MergeTreeView->viewport()->mapToGlobal(at)); });
}

void TForm1::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName("StatusBar");
    bar->setSizeGripEnabled(true);
    const int widths[] = {105, 110, 90, 85, 80};
    for (int i = 0; i < 5; ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QString("StatusPanel%1").arg(i + 1));
        // At least the width of the design; wider when a name needs it, rather than cut.
        panel->setMinimumWidth(widths[i]);
        panel->setTextFormat(Qt::PlainText);
        if (i < 4) {
            panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        } else {
            panel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        }
        // Normal (not permanent) widgets: a hint shown with showMessage covers all five, as a
        // single simple panel, and an empty hint brings them back.
        bar->addWidget(panel);
        StatusPanels.push_back(panel);
    }
}

// ---------------------------------------------------------------------------------------------
// Showing and closing

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (firstShow_) {
        firstShow_ = false;
        // Once the window is on the screen.
        QTimer::singleShot(0, this, &TForm1::FormShow);
    }
}

void TForm1::FormShow() {
    ProgressFrm->setWindowTitle(Caption());
    ProgressFrm->Version->setText(ToDisplay(session_.Games.EmulatorTitle));
    ProgressFrm->show();
    ProgressFrm->raise();
    auto finish = [this] {
        LoadCBEmulator();
        ProgressFrm->hide();
        setEnabled(true);
        CheckFilterEntries();
        ClearStatusPanels(true);
        Q_EMIT StartupFinished();
    };
    const TConfig& config = session_.Config;
    std::error_code ec;
    if (!config.ProfileChosen && !std::filesystem::exists(config.DatafilePath(config.CurrentEmulator), ec)) {
        // A first run: no profile chosen yet and no datafile of the default one. That is no error
        // to show; the window starts empty, ready for an import.
        QMetaObject::invokeMethod(
            this,
            [this, finish] {
                UpdateInfoPanel();
                finish();
            },
            Qt::QueuedConnection);
        return;
    }
    UseEmulator(config.CurrentEmulator, finish);
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (Busy()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void TForm1::Quit1Click() {
    close();
}

void TForm1::About2Click() {
    F_About->exec();
}

// ---------------------------------------------------------------------------------------------
// Progress

void TForm1::ShowProgress(int position) {
    if (ProgressFrm->isVisible()) {
        ProgressFrm->ProgressBar->setValue(position);
    } else if (CDUpdate->ProgressFrm->Form()->isVisible()) {
        CDUpdate->ProgressFrm->SetPosition(position);
    } else if (PleaseWaitFrm->isVisible()) {
        PleaseWaitFrm->WaitProgressBar->setValue(position);
    }
}

void TForm1::ShowProgressText(const QString& text) {
    if (ProgressFrm->isVisible()) {
        ProgressFrm->infos->setText(text);
    } else if (CDUpdate->ProgressFrm->Form()->isVisible()) {
        CDUpdate->ProgressFrm->SetWaitString(text);
    } else if (PleaseWaitFrm->isVisible()) {
        PleaseWaitFrm->WaitInfo->setText(text);
    }
}

void TForm1::ShowCount(int which, int value) {
    QLabel* lines[] = {ProgressFrm->sets, ProgressFrm->clones, ProgressFrm->roms};
    if (which >= 0 && which < 3) {
        lines[which]->setText(QString::number(value));
    }
}

// ---------------------------------------------------------------------------------------------
// Information panel, status bar and tree selection

void TForm1::UpdateInfoPanel() {
    const TConfig& config = session_.Config;
    MameExe->setText(ToDisplay(config.Exe));
    Sets->setText(QString::number(session_.SubList.SetCount));
    Clones->setText(QString::number(session_.SubList.CloneCount));
    Roms->setText(QString::number(session_.SubList.RomCount));
    GroupBox3->setTitle(ToDisplay(config.EmulatorVersion));
    // The Neo-Geo entries and the 'no good dump known' report are for MAME datafiles.
    const bool mame = config.RefName == "mame";
    formOptions->GetFromCfg->setEnabled(mame || config.RefName == "raine");
    Action("ExportNeogeoSetsto1")->setEnabled(mame);
    Action("SmartListNeoGeo")->setVisible(mame);
    Action("SmartListWoNeogeo")->setVisible(mame);
    Action("Nogooddumpknownroms1")->setEnabled(mame);
}

void TForm1::ClearStatusPanels(bool withSize) {
    StatusPanels[0]->setText("set : ");
    StatusPanels[1]->setText("clone : ");
    StatusPanels[2]->setText("crc : ");
    if (withSize) {
        StatusPanels[3]->setText("size : ");
    }
}

void TForm1::TreeViewChange(QTreeView* tree, const QModelIndex& index) {
    const TGame* game = nullptr;
    const TClone* clone = nullptr;
    const TRom* rom = nullptr;
    QString romCrc;
    if (tree == TreeViewIn) {
        const ContentNode* node = zipModel_->NodeAt(index);
        if (node == nullptr) {
            return;
        }
        game = node->Game;
        clone = node->Clone;
        rom = node->Rom;
        if (rom != nullptr) {
            const ContentNode* parent = zipModel_->ParentNode(index);
            clone = parent == nullptr ? nullptr : parent->Clone;
            // A ROM of which no good dump is known: the checksum the dropped file holds, doubted.
            if (node->Image > 3 && !Busy()) {
                const auto& sources = sources_.Roms();
                const auto found = std::find_if(sources.begin(), sources.end(),
                                                [rom](const TSrcRom& source) { return source.Rom == rom; });
                if (found != sources.end()) {
                    romCrc = ToDisplay(found->Crc) + " ???";
                }
            }
        }
    } else {
        auto* model = qobject_cast<GameTreeModel*>(tree->model());
        const TreeNode* node = model == nullptr ? nullptr : model->NodeAt(index);
        if (node == nullptr) {
            return;
        }
        game = node->Set();
        clone = game == nullptr ? model->Tree().CloneOf(model->NodeIndex(index)) : nullptr;
        rom = node->Rom();
    }
    QString set = "set : ";
    QString cloneText = "clone : ";
    QString crc = "crc : ";
    QString size = "size : ";
    if (game != nullptr) {
        set += ToDisplay(game->Name);
    } else if (clone != nullptr) {
        set += ToDisplay(clone->Game->Name);
        cloneText += ToDisplay(clone->Name);
    }
    if (rom != nullptr) {
        crc += romCrc.isEmpty() ? ToDisplay(rom->Crc) : romCrc;
        size += QString::number(rom->Size);
    }
    StatusPanels[0]->setText(set);
    StatusPanels[1]->setText(cloneText);
    StatusPanels[2]->setText(crc);
    StatusPanels[3]->setText(size);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    auto* tree = qobject_cast<QTreeView*>(watched);
    if (tree != nullptr && (tree == MergeTreeView || tree == TreeViewIn)) {
        if (event->type() == QEvent::FocusIn) {
            TreeViewChange(tree, tree->currentIndex());
        } else if (event->type() == QEvent::FocusOut) {
            ClearStatusPanels(false);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace qm
