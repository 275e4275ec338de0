#include "app/TfmMainForm.h"

#include "app/DateFormat.h"
#include "app/ListActionThread.h"
#include "app/Pictures.h"
#include "app/ProgramFiles.h"
#include "app/UserMessages.h"
#include "app/pages/AddRemovePage.h"
#include "app/pages/BackupPage.h"
#include "app/pages/HistoryPage.h"
#include "app/pages/IETracesPage.h"
#include "app/pages/IgnoreListPage.h"
#include "app/pages/ScanErrorsPage.h"
#include "app/pages/StartupPage.h"
#include "app/pages/ToolbarPage.h"
#include "app/worker/TBMDThread.h"
#include "platform/Machine.h"
#include "registry/XmlStore.h"
#include "repair/ActionResult.h"
#include "scan/IgnoreIndex.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <filesystem>

namespace tw::app {

namespace {
constexpr int PageButtonWidth = 201;
constexpr int PageButtonHeight = 39;
const QColor HeaderColour(0x0b, 0x2a, 0x57);
const QColor ColumnColour(0xe8, 0xf1, 0xfa);

/// Why an ignore entry cannot be composed, naming the file and the entry; empty when every entry
/// has its three attributes.
QString incompleteIgnoreEntries(const pugi::xml_document &ignoreList, const std::string &path) {
  const std::vector<scan::IgnoreEntry> entries = scan::IgnoreIndex::entriesFromXml(ignoreList);
  QStringList problems;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const scan::IgnoreEntry &e = entries[i];
    if (e.isComplete()) continue;
    QStringList missing;
    if (!e.root) missing << QStringLiteral("ROOT");
    if (!e.key) missing << QStringLiteral("KEY");
    if (!e.value) missing << QStringLiteral("VALUE");
    problems << QStringLiteral("entry %1 lacks %2").arg(i + 1).arg(missing.join(QStringLiteral(", ")));
  }
  if (problems.isEmpty()) return {};
  return QStringLiteral("%1: %2. Such an entry shows with empty texts on the ignore page, and a "
                        "scan that reaches it ends there.")
      .arg(QString::fromStdString(path), problems.join(QStringLiteral("; ")));
}
} // namespace

TfmMainForm::TfmMainForm(worker::UiDispatcher &dispatcher, UserMessages &messages, QWidget *parent)
    : QWidget(parent), m_dispatcher(dispatcher), m_messages(messages) {
  setObjectName(QStringLiteral("fmMainForm"));
  BMDThreadGroup1 = std::make_unique<worker::TBMDThreadGroup>();
  ScanErrorsThread = std::make_unique<worker::TBMDThread>(dispatcher);
  ScanErrorsThread->setThreadGroup(BMDThreadGroup1.get());
  ThreadBackup = std::make_unique<worker::TBMDThread>(dispatcher);
  ThreadRestore = std::make_unique<worker::TBMDThread>(dispatcher);
  m_listAction = std::make_unique<ListActionThread>(dispatcher);
  buildWindow();
  FormCreate();
}

TfmMainForm::~TfmMainForm() {
  // Program exit waits for every running worker, while the pages their handlers feed still
  // exist; a scan stops at its next look at the stop flag.
  ScanErrorsThread.reset();
  ThreadBackup.reset();
  ThreadRestore.reset();
  m_listAction.reset();
  BMDThreadGroup1.reset();
}

bool TfmMainForm::isActionRunning() const { return m_listAction->isRunning(); }

QToolButton *TfmMainForm::makePageButton(const char *name, const QString &caption, int icon) {
  auto *button = new QToolButton(this);
  button->setObjectName(QString::fromLatin1(name));
  button->setText(caption);
  button->setIcon(style()->standardIcon(static_cast<QStyle::StandardPixmap>(icon)));
  button->setIconSize(QSize(24, 24));
  button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  button->setAutoRaise(true);
  button->setFixedSize(PageButtonWidth, PageButtonHeight);
  button->setCursor(Qt::PointingHandCursor);
  QFont font = button->font();
  font.setBold(true);
  font.setPointSize(10);
  button->setFont(font);
  QPalette palette = button->palette();
  palette.setColor(QPalette::ButtonText, Qt::blue);
  button->setPalette(palette);
  return button;
}

void TfmMainForm::buildWindow() {
  setWindowTitle(QString::fromLatin1(ProgramTitle));
  setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
  setMinimumSize(200, 50);
  resize(754, 606);

  // Header: the picture, continued in its own colour to the right edge.
  auto *header = new QFrame(this);
  header->setObjectName(QStringLiteral("pnlHeader"));
  header->setAutoFillBackground(true);
  QPalette headerPalette = header->palette();
  headerPalette.setColor(QPalette::Window, HeaderColour);
  header->setPalette(headerPalette);
  header->setFixedHeight(81);
  Image1 = new QLabel(header);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setPixmap(programPicture(QStringLiteral("header")));
  Image1->setFixedSize(281, 81);
  auto *headerLayout = new QHBoxLayout(header);
  headerLayout->setContentsMargins(0, 0, 0, 0);
  headerLayout->addWidget(Image1);
  headerLayout->addStretch();

  // The column of page buttons, top to bottom; the blanks pad the captions beside the pictures.
  toolScanErrors = makePageButton("toolScanErrors", QStringLiteral("Scan and Fix Errors "), QStyle::SP_FileDialogContentsView);
  toolToolbar = makePageButton("toolToolbar", QStringLiteral("IE Plugins                  "), QStyle::SP_FileDialogDetailedView);
  toolE = makePageButton("toolE", QStringLiteral("IE Traces Cleaning  "), QStyle::SP_TrashIcon);
  toolStartup = makePageButton("toolStartup", QStringLiteral("Startup Programs     "), QStyle::SP_MediaPlay);
  toolAddRemove = makePageButton("toolAddRemove", QStringLiteral("Uninstall Manager    "), QStyle::SP_DialogDiscardButton);
  toolBackup = makePageButton("toolBackup", QStringLiteral("Backup and Restore"), QStyle::SP_DialogSaveButton);
  toolHistory = makePageButton("toolHistory", QStringLiteral("Restore History         "), QStyle::SP_BrowserReload);
  toolIgnore = makePageButton("toolIgnore", QStringLiteral("Ignore List                 "), QStyle::SP_DialogNoButton);
  SpeedButton2 = makePageButton("SpeedButton2", QStringLiteral("Help and Manual      "), QStyle::SP_DialogHelpButton);

  Image2 = new QLabel(this);
  Image2->setObjectName(QStringLiteral("Image2"));
  Image2->setPixmap(programPicture(QStringLiteral("weblink")));
  Image2->setCursor(Qt::PointingHandCursor);

  auto *column = pnlPageButtons = new QFrame(this);
  column->setObjectName(QStringLiteral("pnlPageButtons"));
  column->setAutoFillBackground(true);
  QPalette columnPalette = column->palette();
  columnPalette.setColor(QPalette::Window, ColumnColour);
  column->setPalette(columnPalette);
  auto *columnLayout = new QVBoxLayout(column);
  columnLayout->setContentsMargins(4, 6, 4, 6);
  columnLayout->setSpacing(2);
  for (QToolButton *b : {toolScanErrors, toolToolbar, toolE, toolStartup, toolAddRemove, toolBackup,
                         toolHistory, toolIgnore, SpeedButton2})
    columnLayout->addWidget(b);
  columnLayout->addSpacing(12);
  columnLayout->addWidget(Image2);
  columnLayout->addStretch();
  // The button of the page in front stays pressed.
  column->setStyleSheet(QStringLiteral(
      "QToolButton { border: 1px solid transparent; border-radius: 4px; padding: 1px; }"
      "QToolButton:hover { border-color: #8fb1da; background: #f6f9fd; }"
      "QToolButton:checked { border-color: #4d7cc0; background: white; }"));

  // The pages change only through the buttons: the page control shows no tabs.
  MainControl = new QTabWidget(this);
  MainControl->setObjectName(QStringLiteral("MainControl"));
  MainControl->tabBar()->hide();
  MainControl->setDocumentMode(true);
  tabScanErrors = new ScanErrorsPage(m_dispatcher, *ScanErrorsThread, MainControl);
  tabToolbar = new ToolbarPage(MainControl);
  tabIE = new IETracesPage(m_dispatcher, MainControl);
  tabStartup = new StartupPage(MainControl);
  tabAddRemove = new AddRemovePage(MainControl);
  tabBackup = new BackupPage(MainControl);
  tabHistory = new HistoryPage(MainControl);
  tabIgnoreList = new IgnoreListPage(MainControl);
  MainControl->addTab(tabScanErrors, QStringLiteral("Scan and Fix Errors"));
  MainControl->addTab(tabToolbar, QStringLiteral("IE Plugins"));
  MainControl->addTab(tabIE, QStringLiteral("IE Traces Cleaning"));
  MainControl->addTab(tabStartup, QStringLiteral("Startup Programs"));
  MainControl->addTab(tabAddRemove, QStringLiteral("Uninstall Manager"));
  MainControl->addTab(tabBackup, QStringLiteral("Backup and Restore"));
  MainControl->addTab(tabHistory, QStringLiteral("Restore History"));
  MainControl->addTab(tabIgnoreList, QStringLiteral("Ignore List"));
  // Group boxes carry their caption on the top line of their frame.
  MainControl->setStyleSheet(QStringLiteral(
      "QGroupBox { border: 1px solid palette(mid); border-radius: 3px; margin-top: 0.6em;"
      " padding-top: 0.4em; }"
      "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 8px;"
      " padding: 0 3px; }"));

  m_pageButtons = new QButtonGroup(this);
  m_pageButtons->setExclusive(true);
  const std::pair<QToolButton *, QWidget *> pageOfButton[] = {
      {toolScanErrors, tabScanErrors}, {toolToolbar, tabToolbar},   {toolE, tabIE},
      {toolStartup, tabStartup},       {toolAddRemove, tabAddRemove}, {toolBackup, tabBackup},
      {toolHistory, tabHistory},       {toolIgnore, tabIgnoreList}};
  for (const auto &[button, page] : pageOfButton) {
    button->setCheckable(true);
    m_pageButtons->addButton(button, MainControl->indexOf(page));
  }
  connect(MainControl, &QTabWidget::currentChanged, this, [this](int index) {
    if (QAbstractButton *button = m_pageButtons->button(index)) button->setChecked(true);
  });
  m_pageButtons->button(MainControl->currentIndex())->setChecked(true);

  pnlAutorun = new QFrame(this);
  pnlAutorun->setObjectName(QStringLiteral("pnlAutorun"));
  pnlAutorun->setFrameShape(QFrame::StyledPanel);
  cbAutoRun = new QCheckBox(QStringLiteral("Autorun when Windows starts"), pnlAutorun);
  cbAutoRun->setObjectName(QStringLiteral("cbAutoRun"));
  auto *autorunLayout = new QHBoxLayout(pnlAutorun);
  autorunLayout->setContentsMargins(8, 3, 8, 3);
  autorunLayout->addWidget(cbAutoRun);
  autorunLayout->addStretch();
  pbAction = new QProgressBar(pnlAutorun);
  pbAction->setObjectName(QStringLiteral("pbAction"));
  pbAction->setRange(0, 100);
  pbAction->setFixedWidth(260);
  pbAction->hide();
  autorunLayout->addWidget(pbAction);

  auto *body = new QHBoxLayout;
  body->setContentsMargins(0, 0, 0, 0);
  body->setSpacing(0);
  body->addWidget(column);
  body->addWidget(MainControl, 1);
  auto *window = new QVBoxLayout(this);
  window->setContentsMargins(0, 0, 0, 0);
  window->setSpacing(0);
  window->addWidget(header);
  window->addLayout(body, 1);
  window->addWidget(pnlAutorun);

  connect(toolScanErrors, &QToolButton::clicked, this, &TfmMainForm::toolScanErrorsClick);
  connect(toolToolbar, &QToolButton::clicked, this, &TfmMainForm::toolToolbarClick);
  connect(toolE, &QToolButton::clicked, this, &TfmMainForm::toolEClick);
  connect(toolStartup, &QToolButton::clicked, this, &TfmMainForm::toolStartupClick);
  connect(toolAddRemove, &QToolButton::clicked, this, &TfmMainForm::toolAddRemoveClick);
  connect(toolBackup, &QToolButton::clicked, this, &TfmMainForm::toolBackupClick);
  connect(toolHistory, &QToolButton::clicked, this, &TfmMainForm::toolHistoryClick);
  connect(toolIgnore, &QToolButton::clicked, this, &TfmMainForm::toolIgnoreClick);
  connect(tabHistory->btnRefresh2, &QPushButton::clicked, this, &TfmMainForm::btnRefresh2Click);
  connect(tabIgnoreList->btnRefresh6, &QPushButton::clicked, this, &TfmMainForm::btnRefresh6Click);
  connectRepairHandlers();
  buildTrayIcon();
  connectBackupHandlers();
  connectToolHandlers();
  connectBrowserHandlers();
  connect(tabScanErrors, &ScanErrorsPage::scanEnded, this,
          [this] { MainControl->setCurrentWidget(tabScanErrors); });
}

void TfmMainForm::FormCreate() {
  platform::Machine &machine = platform::machine();
  const ProgramFiles files = setUpProgramFiles(machine);
  m_programFolder = files.programFolder;
  m_backupFolder = files.backupFolder;
  m_undoStorePath = files.undoStorePath;
  m_ignoreListPath = files.ignoreListPath;

  // A damaged document is moved aside by the loader and the program goes on with an empty one;
  // the later steps still run, so that nothing the user has is overwritten by an empty list.
  if (m_undoStorePath.empty()) {
    resetXmlDocument(Restore_XMLDocument, UndoStoreRootName);
    m_startupNotices << QStringLiteral("The program folder %1 cannot be reached; the undo store "
                                       "starts empty and cannot be saved.")
                            .arg(QString::fromStdString(m_programFolder));
  } else {
    // Taken before the text is read, so that a change in between makes the later save refuse.
    m_undoStoreVersion = platform::fileIdentityOf(m_undoStorePath);
    const XmlLoadResult r = loadXmlDocument(Restore_XMLDocument, m_undoStorePath, UndoStoreRootName);
    if (!r.movedTo.empty()) m_undoStoreVersion = platform::fileIdentityOf(m_undoStorePath);
    if (!r) m_startupNotices << QString::fromStdString(r.description());
  }
  if (m_ignoreListPath.empty()) {
    resetXmlDocument(IgnoreXML, IgnoreListRootName);
  } else if (XmlLoadResult r = loadXmlDocument(IgnoreXML, m_ignoreListPath, IgnoreListRootName); !r) {
    m_startupNotices << QString::fromStdString(r.description());
  }

  tabIgnoreList->showEntries(listIgnoreEntries(IgnoreXML));
  if (QString problem = incompleteIgnoreEntries(IgnoreXML, m_ignoreListPath); !problem.isEmpty())
    m_startupNotices << problem;
  ignoreListChanged();

  MainControl->setCurrentWidget(tabScanErrors);
  setAutorunBoxFromRegistry();
  installProgramDateFormat();
}

void TfmMainForm::ignoreListChanged() {
  tabScanErrors->setIgnoreList(
      std::make_shared<const scan::IgnoreIndex>(scan::IgnoreIndex::fromXml(IgnoreXML, m_ignoreListPath)));
}

void TfmMainForm::addStartupNotice(const QString &text) { m_startupNotices << text; }

void TfmMainForm::showEvent(QShowEvent *event) {
  QWidget::showEvent(event);
  // Un-minimising shows the window spontaneously; only a real show runs FormShow.
  if (!event->spontaneous()) FormShow();
}

void TfmMainForm::FormShow() {
  if (!m_shownBefore) {
    m_shownBefore = true;
    if (QScreen *screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
    // After the window is on screen, so that no message box hides behind the splash.
    if (!m_startupNotices.isEmpty()) QTimer::singleShot(0, this, &TfmMainForm::showStartupNotices);
  }
  // Coming back from the notification area keeps a running or finished scan's groups and
  // counts, as opening the scan page does: the groups a scan runs are the ones checked.
  if (ScanErrorsThread->IsRunning() || !tabScanErrors->errors().isEmpty()) return;
  tabScanErrors->rebuildScanGroupList();
}

void TfmMainForm::showStartupNotices() {
  const QStringList notices = std::exchange(m_startupNotices, {});
  for (const QString &notice : notices) m_messages.showInformation(this, notice);
}

void TfmMainForm::closeEvent(QCloseEvent *event) {
  // The undo store is being written by the running action; the window closes at its end.
  if (isActionRunning()) {
    m_closeWhenActionEnds = true;
    event->ignore();
    return;
  }
  if (FormClose())
    event->accept();
  else
    event->ignore();
}

repair::DocumentFile TfmMainForm::undoStoreFile() {
  return {Restore_XMLDocument, m_undoStorePath, &m_undoStoreVersion};
}

bool TfmMainForm::FormClose() {
  ScanErrorsThread->Stop();
  // Every action saved its own changes already. A file that another program saved since holds
  // them and that program's too: writing the window's copy over it would lose the latter.
  std::error_code error;
  if (!m_undoStorePath.empty() && std::filesystem::is_regular_file(m_undoStorePath, error) &&
      !(platform::fileIdentityOf(m_undoStorePath) == m_undoStoreVersion))
    return true;
  const platform::SaveResult saved = saveXmlDocument(Restore_XMLDocument, m_undoStorePath);
  if (saved) return true;
  m_messages.showError(this, QString::fromStdString(saved.description()));
  return false;
}

void TfmMainForm::toolScanErrorsClick() {
  MainControl->setCurrentWidget(tabScanErrors);
  if (tabScanErrors->errors().isEmpty()) tabScanErrors->rebuildScanGroupList();
}

void TfmMainForm::toolToolbarClick() {
  MainControl->setCurrentWidget(tabToolbar);
  // The add-on list is read afresh on every visit, exactly as "Scan Now" reads it.
  tabToolbar->ScanToolbar_BitBtn->click();
}

void TfmMainForm::toolEClick() { MainControl->setCurrentWidget(tabIE); }

void TfmMainForm::toolStartupClick() {
  MainControl->setCurrentWidget(tabStartup);
  // The registry is read on the first visit and on Refresh only.
  if (tabStartup->startupItems().isEmpty()) fillStartupPage();
  emit startupPageOpened();
}

void TfmMainForm::toolAddRemoveClick() {
  MainControl->setCurrentWidget(tabAddRemove);
  if (tabAddRemove->entries().isEmpty()) fillAddRemovePage();
  emit addRemovePageOpened();
}

void TfmMainForm::toolBackupClick() {
  emit backupPageOpening();
  MainControl->setCurrentWidget(tabBackup);
}

void TfmMainForm::toolHistoryClick() {
  MainControl->setCurrentWidget(tabHistory);
  tabHistory->btnRefresh2->click();
}

void TfmMainForm::toolIgnoreClick() {
  MainControl->setCurrentWidget(tabIgnoreList);
  if (tabIgnoreList->entries().isEmpty()) tabIgnoreList->btnRefresh6->click();
}


} // namespace tw::app
