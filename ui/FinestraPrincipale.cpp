#include "ui/FinestraPrincipale.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QShortcut>
#include <QTimer>

#include "app/App.h"
#include "mail/InvioMailGlob.h"
#include "ui/AboutWin.h"
#include "ui/FinestraHelp.h"
#include "ui/MenuBar1.h"
#include "ui/toolkit/AnchoredGeometry.h"
#include "ui/toolkit/CentraFinestra.h"
#include "ui/toolkit/Listbox.h"
#include "ui/toolkit/Seam.h"
#include "ui/toolkit/SingleInstance.h"
#include "ui/toolkit/Thread.h"
#include "ui/toolkit/Widgets.h"
#include "ui/toolkit/Worker.h"
#include "update/TimerVersione.h"

namespace vantrix::ui {

namespace {

constexpr int kListFontPoints = 10;
constexpr int kMailPeriodMs = 5000;
constexpr int kVersionFirstCheckMs = 5000;

// Where one side's controls go, in content-area coordinates. The two sides
// differ only in their tops (and not all by the same amount).
struct PanelTops {
  int group, serverLabel, databaseLabel, userLabel, passLabel, typeLabel, portLabel;
  int server, database, user, pass, type, port, lists;
};
constexpr PanelTops kTops[2] = {
    {14, 40, 64, 89, 114, 139, 166, 39, 63, 88, 113, 138, 166, 34},
    {206, 232, 256, 281, 306, 331, 360, 231, 255, 280, 305, 331, 358, 226},
};
constexpr int kGroupLeft = 20;

// Control names per side: labels, then the rest.
struct PanelNames {
  const char* group;
  const char* labels[6];
  const char *server, *database, *user, *pass, *type, *port, *connect, *tables, *fields;
};
constexpr PanelNames kNames[2] = {
    {"GroupBox1",
     {"StaticText1", "StaticText2", "StaticText3", "StaticText4", "StaticText9", "StaticText91"},
     "DB1server",
     "DB1database",
     "DB1user",
     "DB1pass",
     "DB1Type",
     "DB1port",
     "BevelButton1",
     "DB1tables",
     "DB1fields"},
    {"GroupBox2",
     {"StaticText5", "StaticText6", "StaticText7", "StaticText8", "StaticText10", "StaticText911"},
     "DB2server",
     "DB2database",
     "DB2user",
     "DB2pass",
     "DB2Type",
     "DB2port",
     "BevelButton2",
     "DB2tables",
     "DB2fields"},
};

}  // namespace

// One side's member pointers, filled by BuildPanel.
struct FinestraPrincipale::Side {
  int index;  // 0 for DB 1, 1 for DB 2
  QGroupBox*& group;
  QLabel** labels[6];
  QLineEdit*& server;
  QLineEdit*& database;
  QLineEdit*& user;
  QLineEdit*& pass;
  QComboBox*& type;
  QLineEdit*& port;
  QPushButton*& connect;
  Listbox*& tables;
  Listbox*& fields;
};

FinestraPrincipale::FinestraPrincipale()
    : Content(new QWidget(this)),
      TimerVersione1(new update::TimerVersione(this)),
      TimerInvioMail(new QTimer(this)),
      TimerFinestraInvioMail(new QTimer(this)),
      ThreadInvioMail(new Thread(this)),
      anchors_(new AnchoredGeometry(Content, QSize(kContentWidth, kContentHeight))),
      worker_(new Worker(this)),
      cancelShortcut_(new QShortcut(QKeySequence(Qt::Key_Escape), this)) {
  setObjectName(QStringLiteral("FinestraPrincipale"));
  setWindowTitle(QStringLiteral("Orvello Vantrix"));

  Name(Content, "Content");
  Content->resize(kContentWidth, kContentHeight);
  Content->setMinimumSize(kContentWidth, kContentHeight);
  WhiteBackground(Content);
  setCentralWidget(Content);

  BuildPanel({0,
              GroupBox1,
              {&StaticText1, &StaticText2, &StaticText3, &StaticText4, &StaticText9, &StaticText91},
              DB1server,
              DB1database,
              DB1user,
              DB1pass,
              DB1Type,
              DB1port,
              BevelButton1,
              DB1tables,
              DB1fields});
  BuildPanel(
      {1,
       GroupBox2,
       {&StaticText5, &StaticText6, &StaticText7, &StaticText8, &StaticText10, &StaticText911},
       DB2server,
       DB2database,
       DB2user,
       DB2pass,
       DB2Type,
       DB2port,
       BevelButton2,
       DB2tables,
       DB2fields});
  BuildResults();

  // Tab order: each panel from server to port, DB 1 before DB 2. Lists and
  // buttons take no keyboard focus by tab.
  QWidget* chain[] = {DB1server, DB1database, DB1user, DB1pass, DB1Type, DB1port,
                      DB2server, DB2database, DB2user, DB2pass, DB2Type, DB2port};
  for (std::size_t i = 1; i < std::size(chain); ++i) setTabOrder(chain[i - 1], chain[i]);

  // Non-visual members. The timers that are on start counting now.
  TimerVersione1->setObjectName(QStringLiteral("TimerVersione1"));
  TimerVersione1->setInterval(kVersionFirstCheckMs);
  TimerVersione1->setSingleShot(true);
  TimerVersione1->ObbligoQuit = false;
  TimerInvioMail->setObjectName(QStringLiteral("TimerInvioMail"));
  TimerInvioMail->setInterval(kMailPeriodMs);
  TimerInvioMail->setSingleShot(false);
  TimerFinestraInvioMail->setObjectName(QStringLiteral("TimerFinestraInvioMail"));
  TimerFinestraInvioMail->setInterval(kMailPeriodMs);
  TimerFinestraInvioMail->setSingleShot(false);
  ThreadInvioMail->setObjectName(QStringLiteral("ThreadInvioMail"));
  ThreadInvioMail->Priority = 5;

  if (MenuBar1* menus = MenuBar1::Installed()) setMenuBar(menus->BarFor(this));

  WireEvents();
  AttachMail();
  TimerVersione1->start();
  TimerInvioMail->start();

  // The window can grow but not shrink below its design size.
  setMaximumSize(32000, 32000);
  resize(minimumSizeHint());
}

FinestraPrincipale::~FinestraPrincipale() {
  // An operation still reading lets go of this window before it goes.
  CancelReading();
  DetachMail();
}

void FinestraPrincipale::BuildPanel(const Side& side) {
  const PanelTops& top = kTops[side.index];
  const PanelNames& names = kNames[side.index];
  const QString sideName = QStringLiteral("DB %1 ").arg(side.index + 1);

  side.group = new QGroupBox(QStringLiteral("DB %1").arg(side.index + 1), Content);
  Name(side.group, names.group, QStringLiteral("DB %1").arg(side.index + 1));
  anchors_->Place(side.group, QRect(kGroupLeft, top.group, 226, 180), Anchor::Left | Anchor::Top);

  // The panel's controls are children of the frame; their places are
  // given in content coordinates and moved into the frame's.
  const QPoint origin(kGroupLeft, top.group);
  auto place = [&](QWidget* control, int left, int controlTop, int width, int height) {
    control->setGeometry(QRect(QPoint(left, controlTop) - origin, QSize(width, height)));
  };

  const char* captions[6] = {"Server:", "DB:", "User:", "Pass:", "Type", "Port:"};
  const int labelTops[6] = {top.serverLabel, top.databaseLabel, top.userLabel,
                            top.passLabel,   top.typeLabel,     top.portLabel};
  for (int i = 0; i < 6; ++i) {
    auto* label = new QLabel(QString::fromUtf8(captions[i]), side.group);
    Name(label, names.labels[i]);
    place(label, 31, labelTops[i], 56, 20);
    *side.labels[i] = label;
  }

  auto field = [&](QLineEdit*& member, const char* name, const char* role, int fieldTop) {
    member = new QLineEdit(side.group);
    Name(member, name, sideName + QString::fromUtf8(role));
    place(member, 87, fieldTop, 147, 22);
  };
  field(side.server, names.server, "server", top.server);
  field(side.database, names.database, "database", top.database);
  field(side.user, names.user, "user", top.user);
  field(side.pass, names.pass, "password", top.pass);
  side.pass->setEchoMode(QLineEdit::Password);

  side.type = new QComboBox(side.group);
  Name(side.type, names.type, sideName + QStringLiteral("type"));
  side.type->addItems(
      {QStringLiteral("Mysql"), QStringLiteral("RealServer"), QStringLiteral("CubeSQLserver")});
  side.type->insertSeparator(3);
  side.type->addItem(QStringLiteral("SQLite"));
  side.type->addItem(QStringLiteral("PostgreSQL"));
  side.type->setCurrentIndex(0);
  place(side.type, 87, top.type, 147, 20);

  field(side.port, names.port, "port", top.port);
  side.port->setGeometry(side.port->geometry().x(), side.port->geometry().y(), 68, 22);
  side.port->setText(QStringLiteral("3306"));
  side.port->setMaxLength(8);
  side.port->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,8}")), side.port));

  // Both sides' buttons read "Connect", as shown; the frame's title and the
  // description tell them apart.
  side.connect = BevelButton(QStringLiteral("Connect"), side.group);
  Name(side.connect, names.connect);
  side.connect->setAccessibleDescription(
      QStringLiteral("Connects to DB %1 and lists its tables").arg(side.index + 1));
  place(side.connect, 167, top.port, 67, 22);

  // Labels name the fields beside them for assistive tools.
  QWidget* buddies[6] = {side.server, side.database, side.user, side.pass, side.type, side.port};
  for (int i = 0; i < 6; ++i) (*side.labels[i])->setBuddy(buddies[i]);

  side.tables = new Listbox({QStringLiteral("Tables")}, Content);
  Name(side.tables, names.tables, sideName + QStringLiteral("tables"));
  SetPointSize(side.tables, kListFontPoints);
  anchors_->Place(side.tables, QRect(258, top.lists, 147, 154), Anchor::Left | Anchor::Top);

  side.fields = new Listbox({QStringLiteral("Fields"), QStringLiteral("Type")}, Content);
  Name(side.fields, names.fields, sideName + QStringLiteral("fields"));
  SetPointSize(side.fields, kListFontPoints);
  anchors_->Place(side.fields, QRect(417, top.lists, 363, 154),
                  Anchor::Left | Anchor::Top | Anchor::Right);
}

void FinestraPrincipale::BuildResults() {
  DiffTables = new Listbox({QStringLiteral("Table"), QStringLiteral("Note")}, Content);
  Name(DiffTables, "DiffTables", QStringLiteral("Table results"));
  SetPointSize(DiffTables, kListFontPoints);
  DiffTables->setToolTip(QStringLiteral("Click on a row to verify each table"));
  anchors_->Place(DiffTables, QRect(20, 398, 226, 154),
                  Anchor::Left | Anchor::Top | Anchor::Bottom);

  DiffFields = new Listbox({QStringLiteral("Field"), QStringLiteral("Note")}, Content);
  Name(DiffFields, "DiffFields", QStringLiteral("Field results"));
  SetPointSize(DiffFields, kListFontPoints);
  anchors_->Place(DiffFields, QRect(258, 398, 522, 154),
                  Anchor::Left | Anchor::Top | Anchor::Right | Anchor::Bottom);

  BevelButton3 = BevelButton(QStringLiteral("Compare"), Content);
  Name(BevelButton3, "BevelButton3", QStringLiteral("Compare"));
  anchors_->Place(BevelButton3, QRect(20, 564, 226, 22), Anchor::Left | Anchor::Bottom);

  BevelButton6 = BevelButton(QStringLiteral("Help"), Content);
  Name(BevelButton6, "BevelButton6", QStringLiteral("Help"));
  anchors_->Place(BevelButton6, QRect(258, 564, 67, 22), Anchor::Left | Anchor::Bottom);

  // Read by its text, "v2024.7.1", as every label is.
  TestoVersione = new QLabel(Content);
  Name(TestoVersione, "TestoVersione");
  TestoVersione->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  TestoVersione->setWordWrap(false);
  SetPointSize(TestoVersione, kListFontPoints);
  anchors_->Place(TestoVersione, QRect(680, 2, 100, 20), Anchor::Top | Anchor::Right);
}

void FinestraPrincipale::WireEvents() {
  connect(BevelButton1, &QPushButton::clicked, this, &FinestraPrincipale::BevelButton1_Action);
  connect(BevelButton2, &QPushButton::clicked, this, &FinestraPrincipale::BevelButton2_Action);
  connect(DB1Type, &QComboBox::currentIndexChanged, this, &FinestraPrincipale::DB1Type_Change);
  connect(DB2Type, &QComboBox::currentIndexChanged, this, &FinestraPrincipale::DB2Type_Change);
  connect(DB1tables, &Listbox::Change, this, &FinestraPrincipale::DB1tables_Change);
  connect(DB2tables, &Listbox::Change, this, &FinestraPrincipale::DB2tables_Change);
  connect(BevelButton3, &QPushButton::clicked, this, &FinestraPrincipale::BevelButton3_Action);
  connect(DiffTables, &Listbox::Change, this, &FinestraPrincipale::DiffTables_Change);
  connect(BevelButton6, &QPushButton::clicked, this, &FinestraPrincipale::BevelButton6_Action);
  connect(TimerInvioMail, &QTimer::timeout, this, &FinestraPrincipale::TimerInvioMail_Action);
  connect(TimerFinestraInvioMail, &QTimer::timeout, this,
          &FinestraPrincipale::TimerFinestraInvioMail_Action);
  ThreadInvioMail->Run = [this] { ThreadInvioMail_Run(); };
  // Escape gives up an operation that reads schemas, and only that.
  cancelShortcut_->setContext(Qt::WindowShortcut);
  cancelShortcut_->setEnabled(false);
  connect(cancelShortcut_, &QShortcut::activated, this, &FinestraPrincipale::CancelReading);
  // However the program ends (an accepted update offer quits it too), a
  // reading still under way is given up first.
  connect(qApp, &QCoreApplication::aboutToQuit, this, &FinestraPrincipale::CancelReading);
  // The About and File entries are handled here and nowhere else.
  if (MenuBar1* menus = MenuBar1::Installed()) {
    connect(menus->ArchivioAboutVantrix, &QAction::triggered, this,
            [this] { ArchivioAboutVantrix_Action(); });
    connect(menus->FileExportReport, &QAction::triggered, this,
            &FinestraPrincipale::FileExportReport_Action);
    connect(menus->FileQuit, &QAction::triggered, this, &FinestraPrincipale::FileQuit_Action);
    // A new main window has compared nothing yet.
    menus->FileExportReport->setEnabled(false);
  }
}

void FinestraPrincipale::Open() {
  // Linux and Windows have no per-window full-screen mode to offer in the
  // frame, so there is nothing to turn on for it here.
  const QString version = App::RunningVersion();
  setWindowTitle(QStringLiteral("Orvello Vantrix v") + version);
  TestoVersione->setText(QStringLiteral("v") + version);
  CentraFinestra(*this);
}

void FinestraPrincipale::closeEvent(QCloseEvent* event) {
  event->accept();
  // Whatever is still being read is given up: the program does not wait
  // for a server that keeps it waiting.
  CancelReading();
  TheSeam().Quit(0);
}

void FinestraPrincipale::FileQuit_Action() { close(); }

void FinestraPrincipale::BevelButton6_Action() {
  auto& help = Reach<FinestraHelp>();
  help.show();
  help.raise();
  help.activateWindow();
}

bool FinestraPrincipale::ArchivioAboutVantrix_Action() {
  auto& about = Reach<AboutWin>();
  CentraFinestra(about);
  about.show();
  about.raise();
  about.activateWindow();
  return true;
}

}  // namespace vantrix::ui
