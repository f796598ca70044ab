#include "wizard/form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QSaveFile>
#include <QFontDatabase>
#include <QScreen>

#include "wizard/build_config.h"
#include "wizard/config.h"
#include "wizard/pictures.h"
#include "wizard/steps.h"

namespace verilo {

TForm1* Form1 = nullptr;

namespace {

const QColor kHotLight(0x00, 0x66, 0xCC);  // the system's hot-light colour

QFrame* MakePanel(QWidget* parent, int x, int y, int w, int h) {
  auto* p = new QFrame(parent);
  p->setFrameShape(QFrame::NoFrame);
  p->setGeometry(x, y, w, h);
  return p;
}

QFrame* MakeBevel(QWidget* parent, int x, int y, int w, int h) {
  auto* b = new QFrame(parent);
  b->setFrameShape(w > h ? QFrame::HLine : QFrame::VLine);
  b->setFrameShadow(QFrame::Sunken);
  b->setGeometry(x, y, w, h);
  return b;
}

QLabel* MakeLabel(QWidget* parent, const QString& text, int x, int y, int w = -1, int h = 13) {
  auto* l = new QLabel(text, parent);
  l->setTextFormat(Qt::PlainText);  // values come from outside: never rich text
  l->setMargin(0);
  l->setIndent(0);
  if (w < 0) {
    // Sized to its text, also when the text changes later (see ShowValue).
    l->setProperty("autoSize", true);
    l->move(x, y);
    l->adjustSize();
    l->resize(l->width(), h);
  } else {
    l->setGeometry(x, y, w, h);
  }
  return l;
}

void SetBold(QWidget* w) {
  QFont f = w->font();
  f.setBold(true);
  w->setFont(f);
}

void SetColour(QWidget* w, const QColor& c) {
  QPalette pal = w->palette();
  pal.setColor(QPalette::Active, QPalette::WindowText, c);
  pal.setColor(QPalette::Inactive, QPalette::WindowText, c);
  w->setPalette(pal);
}

QLabel* MakeImage(QWidget* parent, int x, int y, int size) {
  auto* i = new QLabel(parent);
  i->setGeometry(x, y, size, size);
  i->setAlignment(Qt::AlignCenter);
  return i;
}

}  // namespace

std::string WelcomeText() {
  return "<b>Welcome to the Verilo update wizard.</b>\r\n<p>\r\n"
         "This wizard has been designed to help you update <dynamic> to the latest release. \r\n"
         "Update information will be retrieved from the online PAD file for <dynamic>.\r\n<p>\r\n"
         "The Portable Application Description, or PAD for short, is a data set that is used by "
         "shareware authors to disseminate information to anyone interested in their software "
         "products.\r\n<p>\r\n"
         "For more information about PAD, please visit<br>\r\n<link>" VERILO_PAD_INFO_URL
         "</link>. \r\n<p>\r\n"
         "Before you continue make sure you have an Internet connection.\r\n";
}

void ShowValue(QLabel* Label, const std::string& Text) {
  if (Text.empty()) return;
  Label->setVisible(true);
  QString text = QString::fromLocal8Bit(Text.data(), qsizetype(Text.size()));
  text.replace("\r\n", "\n");
  Label->setText(text);
  if (Label->property("autoSize").toBool()) Label->resize(Label->sizeHint().width(), Label->height());
  QCoreApplication::processEvents();
}

TForm1::TForm1(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  Form1 = this;
  setWindowTitle("Program name Update Wizard");
  setFixedSize(534, 371);
  QFont base = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  base.setPixelSize(11);
  setFont(base);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, pal.color(QPalette::Button));
  setPalette(pal);
  setAutoFillBackground(true);

  // Header.
  Panel2 = MakePanel(this, 0, 0, 534, 59);
  QPalette white = Panel2->palette();
  white.setColor(QPalette::Window, Qt::white);
  Panel2->setPalette(white);
  Panel2->setAutoFillBackground(true);
  Label3 = MakeLabel(Panel2, "Title", 8, 12);
  Label1 = MakeLabel(Panel2, "Subtitle", 8, 32);
  SetBold(Label1);
  Label1->resize(Label1->sizeHint().width(), 13);
  Image1 = MakeImage(Panel2, 481, 5, 48);
  Image1->setPixmap(EmblemPicture());
  Bevel2 = MakeBevel(this, 0, 59, 534, 2);

  // Side panel: one row per stage, 32 pixels apart.
  Panel4 = MakePanel(this, 0, 61, 161, 270);
  QLabel** images[] = {&Image2, &Image3, &Image4, &Image5, &Image6};
  QLabel** labels[] = {&Label11, &Label15, &Label18, &Label19, &Label20};
  const char* stages[] = {"Verify connection", "Get PAD information", "Compare versions",
                          "Download update", "View instructions"};
  for (int row = 0; row < 5; ++row) {
    *images[row] = MakeImage(Panel4, 7, 16 + 32 * row, 24);
    *labels[row] = MakeLabel(Panel4, stages[row], 32, 24 + 32 * row);
  }
  Image2->setPixmap(CheckMarkPicture());
  Image2->setVisible(false);
  Bevel4 = MakeBevel(this, 161, 61, 2, 270);

  // Content panel: a table of captions at x 8 and values at x 96.
  Panel3 = MakePanel(this, 163, 61, 371, 270);
  auto caption = [&](const char* text, int y) { return MakeLabel(Panel3, text, 8, y); };
  auto value = [&](int y, bool visible) {
    QLabel* l = MakeLabel(Panel3, "unknown", 96, y, 257, 15);
    SetColour(l, kHotLight);
    l->setVisible(visible);
    return l;
  };
  Label2 = caption("Your version:", 17);
  Label9 = MakeLabel(Panel3, "unknown", 96, 17, 257, 15);
  SetBold(Label9);
  Bevel3 = MakeBevel(Panel3, 8, 37, 355, 1);
  Label5 = caption("PAD version:", 47);
  Label4 = value(47, false);
  SetBold(Label4);
  Label6 = caption("Release date:", 63);
  Label7 = value(63, false);
  Label21 = caption("File name:", 79);
  Label22 = value(79, false);
  Label12 = caption("File size:", 95);
  Label13 = value(95, false);
  Label14 = caption("Web site:", 111);
  JvLinkLabel1 = new TLinkLabel(Panel3);
  JvLinkLabel1->setGeometry(96, 111, 257, 15);
  JvLinkLabel1->SetAutoHeight(true);
  Label8 = caption("Changes:", 127);
  Label10 = MakeLabel(Panel3, "", 96, 127, 257, 50);
  Label10->setWordWrap(true);
  Label10->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  SetColour(Label10, kHotLight);
  Label10->setVisible(false);

  Label17 = MakeLabel(Panel3, "", 8, 192, 345, 49);
  SetBold(Label17);
  Label17->setWordWrap(true);
  Label17->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
  Label16 = MakeLabel(Panel3, "To continue, click Next.", 8, 247, 353, 13);
  ProgressBar1 = new QProgressBar(Panel3);
  ProgressBar1->setGeometry(8, 247, 353, 16);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setVisible(false);

  JvLinkLabel2 = new TLinkLabel(Panel3);
  JvLinkLabel2->setGeometry(8, 8, 353, 17);
  JvLinkLabel2->setAutoFillBackground(true);  // opaque: covers the table when tall
  JvLinkLabel2->SetCaption(WelcomeText());
  JvLinkLabel2->raise();

  // Button bar.
  Bevel1 = MakeBevel(this, 0, 331, 534, 2);
  Panel1 = MakePanel(this, 0, 333, 534, 38);
  Button2 = new QPushButton("Next >", Panel1);
  Button2->setGeometry(366, 10, 75, 21);
  Button3 = new QPushButton("Cancel", Panel1);
  Button3->setGeometry(450, 10, 75, 21);
  Button1 = new QPushButton("Web site", Panel1);
  Button1->setGeometry(450, 10, 75, 21);
  Button1->setVisible(false);
  setTabOrder(Button2, Button3);
  setTabOrder(Button3, Button1);
  Button2->setDefault(true);

  connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
  connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
  connect(JvLinkLabel1, &TLinkLabel::LinkClick, this, &TForm1::JvLinkLabel2LinkClick);
  connect(JvLinkLabel2, &TLinkLabel::LinkClick, this, &TForm1::JvLinkLabel2LinkClick);

  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect area = screen->availableGeometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
  }
  FormCreate();
}

TForm1::~TForm1() {
  if (Form1 == this) Form1 = nullptr;
}

void TForm1::FormCreate() {
  IniRec.TempDir = GetTempFolder();
  RunSteps();
}

void TForm1::Button2Click() { RunSteps(); }

void TForm1::Button3Click() {
  IniRec.Cancelled = true;
  close();
}

void TForm1::Button1Click() {
  OpenUrl(IniRec.InfoUrl);
  close();
}

void TForm1::JvLinkLabel2LinkClick(const std::string& link_text) { OpenUrl(link_text); }

void TForm1::DownloadProgress(uint32_t Progress, uint32_t ProgressMax, bool& Cancel) {
  // The bar counts in int: scale sizes beyond its range down.
  uint32_t shift = 0;
  while ((ProgressMax >> shift) > 0x7FFFFFFFu || (Progress >> shift) > 0x7FFFFFFFu) ++shift;
  ProgressBar1->setMaximum(int(ProgressMax >> shift));
  ProgressBar1->setValue(int(std::min(Progress, ProgressMax == 0 ? Progress : ProgressMax) >> shift));
  QCoreApplication::processEvents();
  if (IniRec.Cancelled) Cancel = true;
}

void TForm1::closeEvent(QCloseEvent* event) {
  // However the window goes, a running download stops.
  IniRec.Cancelled = true;
  event->accept();
}

void TForm1::ReportWaiting() {
  // For end-to-end tests: VERILO_SHOWN_FILE names a file that receives the texts of
  // the shown window (caption, title, your version, subtitle, status, hint) each
  // time the wizard waits for the user.
  QByteArray report = qgetenv("VERILO_SHOWN_FILE");
  if (report.isEmpty() || !isVisible()) return;
  QSaveFile out(QString::fromLocal8Bit(report));
  if (out.open(QIODevice::WriteOnly)) {
    QStringList lines{windowTitle(),   Label3->text(),  Label9->text(),
                      Label1->text(), Label17->text(), Label16->text()};
    out.write(lines.join("\n").toLocal8Bit() + "\n");
    out.commit();
  }
}

}  // namespace verilo
