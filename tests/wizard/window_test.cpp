// The wizard window driven through its steps on the offscreen platform, against a
// loopback HTTP server.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <QTimer>
#include <cstdlib>
#include <memory>

#include "platform/files.h"
#include "tests/wizard/loopback_server.h"
#include "tests/wizard/qt_app.h"
#include "tests/wizard/wizard_fixture.h"
#include "wizard/config.h"
#include "wizard/form1.h"
#include "wizard/steps.h"

namespace verilo {
namespace {

using verilo_test::HttpResponse;
using verilo_test::MakePad;
using verilo_test::PadSpec;

std::string Text(const QLabel* l) { return l->text().toStdString(); }
std::string MainText(const TForm1& f) { return f.JvLinkLabel2->PlainText().toStdString(); }
bool Marked(const QLabel* image) { return !image->pixmap().isNull(); }

void Screenshot(QWidget* w, const std::string& name) {
  std::string dir = std::string(TEST_BINARY_DIR) + "/screenshots";
  mkdir(dir.c_str(), 0755);
  EXPECT_TRUE(w->grab().save(QString::fromStdString(dir + "/" + name)));
}

// Answers the next folder dialog with dir, or cancels it when dir is empty; the
// dialog's title goes to *title.
void AnswerFolderDialog(const std::string& dir, std::string* title) {
  auto* timer = new QTimer;
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, [timer, dir, title] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    timer->stop();
    timer->deleteLater();
    if (title) *title = dialog->windowTitle().toStdString();
    if (dir.empty()) {
      dialog->reject();
    } else {
      dialog->setDirectory(QString::fromStdString(dir));  // with no name typed, the folder itself
      QMetaObject::invokeMethod(dialog, "accept");
    }
  });
  timer->start();
}

// Runs action once, while a download shows progress of at least `share` of its size.
void WhileDownloading(TForm1* form, std::function<void()> action, double share = 0) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, form, action, share] {
    QProgressBar* bar = form->ProgressBar1;
    if (!bar->isVisible() || bar->value() <= 0 || bar->value() < share * bar->maximum()) return;
    timer->stop();
    timer->deleteLater();
    action();
  });
  timer->start();
}

class WizardWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    verilo_test::EnsureQtApp();
    base = verilo_test::MakeTestFolder("window");
    setenv("TMPDIR", base.c_str(), 1);
    setenv("VERILO_PROBE_BASE", server.Url("").c_str(), 1);
    ResetWizardState();
    SetUrlOpener([this](const std::string& a) { opened.push_back(a); });
  }
  void TearDown() override {
    form.reset();
    SetUrlOpener(nullptr);
  }

  // Serves a PAD file and an update of `size` bytes at /files/<name>.
  void ServeUpdate(PadSpec pad, const std::string& name = "update-2.0.exe", std::size_t size = 600000,
                   std::size_t chunk = 16384, int delay_ms = 10) {
    update.clear();
    for (std::size_t i = 0; i < size; ++i) update += char('A' + i % 23);
    pad.download = server.Url("/files/" + name);
    server.Set("/pad.xml", {200, MakePad(pad)});
    server.Set("/files/" + name, {200, update, "", chunk, delay_ms});
  }

  TForm1& Start(std::vector<std::string> extra = {}) {
    CommandLine = {"-a:MyApp", "-v:1.0", "-p:" + server.Url("/pad.xml")};
    CommandLine.insert(CommandLine.end(), extra.begin(), extra.end());
    form = std::make_unique<TForm1>();
    return *form;
  }

  verilo_test::LoopbackServer server;
  std::string base;
  std::string update;
  std::vector<std::string> opened;
  std::unique_ptr<TForm1> form;
};

TEST_F(WizardWindow, NewVersionIsDownloadedSavedAndExplained) {
  ServeUpdate({.info = "http://app.example/", .email = "help@app.example"});
  TForm1& f = Start();

  // Welcome page.
  EXPECT_TRUE(f.isVisible());
  EXPECT_EQ(f.windowTitle().toStdString(), "Verilo Update Wizard");
  EXPECT_EQ(f.size(), QSize(534, 371));
  EXPECT_EQ(f.minimumSize(), f.maximumSize());
  EXPECT_FALSE(f.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint |
                                  Qt::WindowSystemMenuHint));
  EXPECT_EQ(Text(f.Label3), "Check the latest version of: MyApp");
  EXPECT_EQ(Text(f.Label9), "1.0");
  EXPECT_EQ(Text(f.Label16), "To continue, click Next.");
  EXPECT_EQ(Text(f.Label1), "");
  EXPECT_TRUE(f.JvLinkLabel2->isVisible());
  EXPECT_EQ(f.JvLinkLabel2->height(), 225);
  EXPECT_NE(MainText(f).find("help you update MyApp to the latest release."), std::string::npos);
  EXPECT_NE(MainText(f).find("online PAD file for MyApp."), std::string::npos);
  EXPECT_FALSE(f.Image2->isVisible());
  EXPECT_FALSE(f.Label4->isVisible());
  EXPECT_EQ(f.Button2->text().toStdString(), "Next >");
  EXPECT_EQ(server.Requests().size(), 0u);
  Screenshot(&f, "verilo_welcome.png");

  // Connection, PAD file, comparison.
  f.Button2->click();
  EXPECT_TRUE(f.Image2->isVisible());
  EXPECT_TRUE(Marked(f.Image3));
  EXPECT_TRUE(Marked(f.Image4));
  EXPECT_FALSE(Marked(f.Image5));
  EXPECT_FALSE(f.JvLinkLabel2->isVisible());
  EXPECT_EQ(Text(f.Label1), "Comparing versions");
  EXPECT_GE(f.Label1->width(), f.Label1->sizeHint().width());  // the subtitle is not cut
  EXPECT_EQ(Text(f.Label17), "A new version of MyApp is available!");
  EXPECT_EQ(Text(f.Label16), "To download the latest version, click Next.");
  EXPECT_EQ(Text(f.Label4), "2.0");
  EXPECT_EQ(Text(f.Label22), "update-2.0.exe");
  EXPECT_EQ(Text(f.Label13), "1234 KB");
  EXPECT_EQ(Text(f.Label10), "Fixed things.");
  EXPECT_TRUE(f.Label7->isVisible());
  EXPECT_FALSE(Text(f.Label7).empty());
  EXPECT_EQ(f.JvLinkLabel1->Links(), std::vector<std::string>{"http://app.example/"});
  EXPECT_FALSE(platform::FileExists(IniRec.TempDir + "verilo.xml"));
  EXPECT_EQ(server.Count("/robots.txt"), 0);  // the PAD file itself was the probe
  Screenshot(&f, "verilo_new_version.png");

  // Download into a folder that already holds an older file of that name.
  std::string save = verilo_test::MakeTestFolder("save");
  verilo_test::WriteText(save + "update-2.0.exe", "old version");
  std::string title;
  bool next_enabled_while_downloading = true;
  AnswerFolderDialog(save, &title);
  WhileDownloading(&f, [&] {
    next_enabled_while_downloading = f.Button2->isEnabled();
    f.Button2Click();  // a press of Next while the steps run is ignored
    Screenshot(&f, "verilo_download.png");
  }, 0.4);
  f.Button2->click();
  EXPECT_FALSE(next_enabled_while_downloading);
  EXPECT_EQ(title, "Select a folder to save update-2.0.exe");
  EXPECT_EQ(platform::ReadWholeFile(save + "update-2.0.exe"), update);
  EXPECT_EQ(server.Count("/files/update-2.0.exe"), 1);

  // Instructions and the finish page.
  std::string saved = save + "update-2.0.exe";
  EXPECT_TRUE(Marked(f.Image5));
  EXPECT_TRUE(Marked(f.Image6));
  EXPECT_EQ(Text(f.Label1), "Update instructions");
  EXPECT_TRUE(f.JvLinkLabel2->isVisible());
  EXPECT_EQ(f.JvLinkLabel2->height(), 233);
  EXPECT_NE(MainText(f).find("Download completed successfully\n\nThe update has been saved to:\n" + saved + "."),
            std::string::npos);
  EXPECT_NE(MainText(f).find("please make sure you close the MyApp program."), std::string::npos);
  EXPECT_EQ(f.JvLinkLabel2->Links(), std::vector<std::string>{saved});
  EXPECT_FALSE(f.ProgressBar1->isVisible());
  EXPECT_TRUE(f.Button2->isEnabled());
  EXPECT_EQ(f.Button2->text().toStdString(), "Finish");
  EXPECT_FALSE(f.Button3->isVisible());
  EXPECT_TRUE(f.Button1->isVisible());
  EXPECT_EQ(Text(f.Label16), "For more information, please visit the MyApp website.");
  Screenshot(&f, "verilo_instructions.png");

  f.JvLinkLabel2->ActivateLink(0);  // the saved file
  f.JvLinkLabel1->ActivateLink(0);  // the web site
  EXPECT_EQ(opened, (std::vector<std::string>{saved, "http://app.example/"}));

  f.Button2->click();  // Finish
  EXPECT_FALSE(f.isVisible());
}

TEST_F(WizardWindow, UpToDateShowsTheThankYouPage) {
  for (bool with_email : {true, false}) {
    SCOPED_TRACE(with_email ? "with support address" : "without support address");
    ResetWizardState();
    opened.clear();
    ServeUpdate({.version = "1.0", .email = with_email ? "help@app.example" : ""});
    TForm1& f = Start({"-r:<b>Remarks from the configuration</b>"});
    f.Button2->click();
    EXPECT_EQ(Text(f.Label17), "MyApp is up-to-date.");
    EXPECT_TRUE(Marked(f.Image4));
    EXPECT_TRUE(f.Label18->isEnabled());
    EXPECT_FALSE(f.Label19->isEnabled());
    EXPECT_FALSE(f.Label20->isEnabled());
    EXPECT_EQ(Text(f.Label16), "To continue, click Next.");

    f.Button2->click();
    EXPECT_EQ(Text(f.Label1), "MyApp is up-to-date");
    std::string page = MainText(f);
    EXPECT_EQ(page.rfind("Thank you for using Verilo.\n\nThe installed version of MyApp on your computer is "
                         "currently up-to-date.", 0), 0u);
    EXPECT_NE(page.find("regarding MyApp, please do contact the author."), std::string::npos);
    EXPECT_EQ(page.find("Remarks from the configuration"), std::string::npos);
    EXPECT_EQ(page.find("Support address: mailto:help@app.example") != std::string::npos, with_email);
    EXPECT_EQ(f.JvLinkLabel2->Links().size(), with_email ? 1u : 0u);
    if (with_email) {
      f.JvLinkLabel2->ActivateLink(0);
      EXPECT_EQ(opened, std::vector<std::string>{"mailto:help@app.example"});
    }
    // No web site: Finish is the only way out.
    EXPECT_EQ(f.Button2->text().toStdString(), "Finish");
    EXPECT_FALSE(f.Button3->isEnabled());
    EXPECT_FALSE(f.Button1->isVisible());
    EXPECT_EQ(Text(f.Label16), "To close the this Wizard, click Finish.");
    f.Button2->click();
    EXPECT_FALSE(f.isVisible());
  }
}

TEST_F(WizardWindow, MissingPadFileAndNoConnection) {
  // No connection at all: three failed downloads, Next retries.
  TForm1& f = Start();
  f.Button2->click();
  EXPECT_EQ(Text(f.Label17), "You are not connected to the Internet.\nPlease make an Internet connection and try again.");
  EXPECT_EQ(Text(f.Label16), "To close this Wizard, click Cancel.");
  EXPECT_FALSE(f.Image2->isVisible());
  EXPECT_EQ(server.Count("/pad.xml"), 1);
  EXPECT_EQ(server.Count("/robots.txt"), 2);
  f.Button2->click();
  EXPECT_EQ(server.Count("/pad.xml"), 2);
  EXPECT_EQ(WizardStep, 2);

  // The network works but the PAD address is wrong: the Finish page follows at once.
  server.Set("/robots.txt", {200, "User-agent: *\n"});
  f.Button2->click();
  EXPECT_TRUE(f.Image2->isVisible());
  EXPECT_FALSE(Marked(f.Image3));
  EXPECT_EQ(Text(f.Label17), "The PAD file with update information is not available.");
  EXPECT_TRUE(f.Label15->isEnabled());
  EXPECT_FALSE(f.Label18->isEnabled());
  EXPECT_FALSE(f.Label19->isEnabled());
  EXPECT_FALSE(f.Label20->isEnabled());
  EXPECT_EQ(f.Button2->text().toStdString(), "Finish");
  EXPECT_FALSE(f.Button3->isEnabled());
  EXPECT_EQ(Text(f.Label16), "To close the this Wizard, click Finish.");
  Screenshot(&f, "verilo_pad_missing.png");
  f.Button2->click();
  EXPECT_FALSE(f.isVisible());
}

TEST_F(WizardWindow, PadFilesLackingEssentialInformation) {
  std::string big(6 << 20, ' ');
  struct Case {
    const char* name;
    std::string pad;
  } cases[] = {
      {"no version", MakePad({.version = "", .download = "http://h/u.exe"})},
      {"no download address", MakePad({})},
      {"no tags at all", "just text, no tags\r\n" + big},
      {"tags broken across lines", "<Program_\r\nVersion>2.0</Program_\r\nVersion>\r\n"
                                   "<Primary_Download_URL>http://h/u.exe</Primary_Download_\r\nURL>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetWizardState();
    server.Set("/pad.xml", {200, c.pad});
    TForm1& f = Start();
    f.Button2->click();
    EXPECT_EQ(Text(f.Label17),
              "The PAD file with update information lacks essential information. Please contact the author.");
    EXPECT_EQ(Text(f.Label16), "To close the this Wizard, click Finish.");
    EXPECT_TRUE(f.Label13->isVisible());  // " KB" is always shown
    EXPECT_EQ(f.Button2->text().toStdString(), "Next >");
    f.Button2->click();
    EXPECT_EQ(f.Button2->text().toStdString(), "Finish");
  }
}

TEST_F(WizardWindow, CancelDuringTheDownloadStopsIt) {
  ServeUpdate({}, "big.exe", 8 << 20, 8192, 20);
  TForm1& f = Start();
  f.Button2->click();
  ASSERT_EQ(WizardStep, 5);
  WhileDownloading(&f, [&] { f.Button3->click(); });
  f.Button2->click();
  EXPECT_TRUE(IniRec.Cancelled);
  EXPECT_FALSE(f.isVisible());
  EXPECT_FALSE(platform::FileExists(IniRec.TempDir + "big.exe"));
  EXPECT_EQ(Text(f.Label17), "There was an error downloading the update file.\nPlease try again later of visit the website.");
}

TEST_F(WizardWindow, SavingFailuresLetTheUserTryAgain) {
  ServeUpdate({}, "setup.exe", 1000, 0, 0);
  TForm1& f = Start();
  f.Button2->click();

  AnswerFolderDialog("", nullptr);  // the dialog is cancelled
  f.Button2->click();
  EXPECT_EQ(Text(f.Label17), "There was an error saving the update file.");
  EXPECT_EQ(Text(f.Label16), "To try again click Next, or Cancel to close the this Wizard.");
  EXPECT_EQ(WizardStep, 5);
  EXPECT_TRUE(platform::FileExists(IniRec.TempDir + "setup.exe"));  // kept in the temporary folder

  // A folder in which the name is taken by a folder: the copy fails.
  std::string blocked = verilo_test::MakeTestFolder("blocked");
  mkdir((blocked + "setup.exe").c_str(), 0700);
  AnswerFolderDialog(blocked, nullptr);
  f.Button2->click();
  EXPECT_EQ(Text(f.Label17), "There was an error saving the update file to the specified location.");
  EXPECT_EQ(WizardStep, 5);

  std::string save = verilo_test::MakeTestFolder("save");
  AnswerFolderDialog(save, nullptr);
  f.Button2->click();
  EXPECT_EQ(server.Count("/files/setup.exe"), 3);  // each retry downloads again
  EXPECT_EQ(platform::ReadWholeFile(save + "setup.exe"), update);
  EXPECT_EQ(WizardStep, 11);
}

TEST_F(WizardWindow, RemarksFollowThePlainSavedPath) {
  ServeUpdate({}, "setup.exe", 1000, 0, 0);
  TForm1& f = Start({"-r:  <b>Run setup.exe</b> as administrator.  "});
  f.Button2->click();
  std::string save = verilo_test::MakeTestFolder("save");
  AnswerFolderDialog(save, nullptr);
  f.Button2->click();
  EXPECT_EQ(MainText(f), "Download completed successfully\n\nThe update has been saved to:\n" + save +
                             "setup.exe.\n\nRun setup.exe as administrator.");
  EXPECT_TRUE(f.JvLinkLabel2->Links().empty());
}

TEST_F(WizardWindow, HostilePadValuesAreShownAsTextAndNeverOpened) {
  const std::string sites[] = {"file:///etc/passwd", "javascript:alert(1)",
                               "</link><link>file:///etc/passwd</link><b>x", "\\\\server\\share\\run.exe"};
  for (const std::string& site : sites) {
    SCOPED_TRACE(site);
    ResetWizardState();
    opened.clear();
    PadSpec pad{.info = site, .year = "2004", .month = "2", .day = "30",
                .changes = "<b>bold</b><img src=\"file:///etc/passwd\">" + std::string(1 << 20, 'c')};
    ServeUpdate(pad, "..", 10, 0, 0);
    TForm1& f = Start();
    f.Button2->click();
    EXPECT_EQ(Text(f.Label17), "A new version of MyApp is available!");
    EXPECT_EQ(f.Label10->textFormat(), Qt::PlainText);
    EXPECT_EQ(Text(f.Label10).rfind("<b>bold</b><img", 0), 0u);
    EXPECT_FALSE(f.Label7->isVisible());  // 30 February
    EXPECT_EQ(Text(f.Label22), "..");
    EXPECT_EQ(f.JvLinkLabel1->Links(), std::vector<std::string>{site});
    f.JvLinkLabel1->ActivateLink(0);

    // The download name ".." is refused as a failed download.
    f.Button2->click();
    EXPECT_EQ(server.Count("/files/.."), 0);
    EXPECT_EQ(Text(f.Label17), "There was an error downloading the update file.\nPlease try again later of visit the website.");
    EXPECT_TRUE(f.Button1->isVisible());
    f.Button1->click();  // "Web site"
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(opened.empty());
  }
}

TEST_F(WizardWindow, OnlyWebAndMailAddressesAreOpenable) {
  struct Case {
    const char* address;
    bool openable;
  } cases[] = {{"http://a.example/", true}, {"HTTPS://a.example/x?y=1", true}, {"mailto:me@a.example", true},
               {"file:///etc/passwd", false}, {"/bin/sh", false}, {"javascript:alert(1)", false},
               {"ftp://a.example/", false}, {"http://a.example/\nfile:///x", false}, {"", false},
               {"www.a.example", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    EXPECT_EQ(IsOpenableAddress(c.address), c.openable);
  }
  for (const char* name : {"", ".", ".."}) EXPECT_FALSE(IsUsableFileName(name));
  EXPECT_TRUE(IsUsableFileName("..setup.exe"));
  EXPECT_TRUE(IsUsableFileName("get.php?id=1"));
}

}  // namespace
}  // namespace verilo
