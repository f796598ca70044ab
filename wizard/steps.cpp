#include "wizard/steps.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QScreen>
#include <QUrl>
#include <cstdlib>

#include "platform/files.h"
#include "platform/paths.h"
#include "wizard/build_config.h"
#include "wizard/config.h"
#include "wizard/download.h"
#include "wizard/form1.h"
#include "wizard/pad.h"

namespace verilo {
namespace {

bool StepsRunning = false;
std::string SavedFile;  // the update as saved by step 6: the one local file OpenUrl opens

void DefaultOpener(const std::string& address) {
  QString text = QString::fromLocal8Bit(address.data(), qsizetype(address.size()));
  QUrl url = address == SavedFile ? QUrl::fromLocalFile(text) : QUrl(text, QUrl::TolerantMode);
  QDesktopServices::openUrl(url);
}

std::function<void(const std::string&)> UrlOpener = DefaultOpener;

std::string ProbeBase(const char* built_in) {
  const char* env = std::getenv("VERILO_PROBE_BASE");
  std::string base = env && *env ? env : built_in;
  while (!base.empty() && base.back() == '/') base.pop_back();
  return base;
}

void MarkDone(QLabel* image) { image->setPixmap(Form1->Image2->pixmap()); }

void ShowMainText(int height, const std::string& page) {
  TLinkLabel* main_text = Form1->JvLinkLabel2;
  main_text->setFixedHeight(height);
  main_text->SetCaption("<dynamic>");
  main_text->setAutoFillBackground(true);
  main_text->setVisible(true);
  main_text->raise();
  main_text->UpdateDynamicTag(0, page);
}

const char* const kRetryHint = "To try again click Next, or Cancel to close the this Wizard.";

}  // namespace

std::string DownloadSiteProbeUrl() { return ProbeBase(VERILO_DOWNLOAD_SITE) + "/robots.txt"; }
std::string MakerSiteProbeUrl() { return ProbeBase(VERILO_MAKER_SITE) + "/robots.txt"; }

void SetUrlOpener(std::function<void(const std::string&)> opener) {
  UrlOpener = opener ? std::move(opener) : DefaultOpener;
}

bool IsUsableFileName(const std::string& FileName) {
  return !FileName.empty() && FileName != "." && FileName != ".." &&
         FileName.find('\0') == std::string::npos && FileName.find('/') == std::string::npos;
}

bool IsOpenableAddress(const std::string& Address) {
  if (Address.empty()) return false;
  if (!SavedFile.empty() && Address == SavedFile) return true;
  for (char c : Address)
    if (static_cast<unsigned char>(c) < 32 || c == 127) return false;
  return StartsWithNoCase(Address, "http://") || StartsWithNoCase(Address, "https://") ||
         StartsWithNoCase(Address, "mailto:");
}

void OpenUrl(const std::string& Address) {
  if (!IsOpenableAddress(Address)) return;
  UrlOpener(Address);
}

bool DownloadFile(const std::string& Url, const std::string& Target, bool WithProgress) {
  std::string target = Target.empty() ? IniRec.TempDir + "verilo.tmp" : Target;
  if (!platform::DirectoryExists(target)) platform::RemoveFile(target);
  QCoreApplication::processEvents();
  DownloadProgressFn progress;
  if (WithProgress) {
    progress = [](uint64_t received, uint64_t total) {
      auto clamp = [](uint64_t v) { return uint32_t(std::min<uint64_t>(v, 0xFFFFFFFFu)); };
      bool cancel = false;
      if (Form1) Form1->DownloadProgress(clamp(received), clamp(total), cancel);
      return cancel;
    };
  }
  return CurlDownload(Url, target, progress);
}

int BrowseCallback(QWidget* Window, unsigned Message) {
  if (Message == 1 && Window) {
    QScreen* screen = Window->screen() ? Window->screen() : QGuiApplication::primaryScreen();
    if (screen) {
      QRect area = screen->availableGeometry();
      Window->move(area.width() / 2 - Window->width() / 2, area.height() / 2 - Window->height() / 2);
    }
  }
  return 0;
}

std::string SelectFolder(const std::string& Title, unsigned Flags) {
  QFileDialog dialog(Form1, QString::fromLocal8Bit(Title.data(), qsizetype(Title.size())));
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, (Flags & 1) != 0);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.adjustSize();
  BrowseCallback(&dialog, 1);
  if (dialog.exec() != QDialog::Accepted) return {};
  QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return {};
  QByteArray path = chosen.first().toLocal8Bit();
  if (!platform::DirectoryExists(path.toStdString())) return {};
  return path.toStdString();
}

void RunSteps() {
  if (StepsRunning) return;  // a press of Next while steps run is ignored
  StepsRunning = true;
  while (WizardStep < 10) {
    if (!DoStep(WizardStep)) break;
  }
  StepsRunning = false;
  if (ExitCode < 0) EndProcess(ExitCode);
  if (WizardStep > 10) {
    if (Form1) Form1->close();
  }
  if (WizardStep == 10) WizardStep = 11;
  if (Form1 && WizardStep <= 11) Form1->ReportWaiting();
}

bool DoStep(int Step) {
  bool go = true;
  TIniRec& r = IniRec;
  TForm1& f = *Form1;
  switch (Step) {
    case 0:
      SavedFile.clear();
      Configure();
      f.setVisible(!r.Silent);
      WizardStep = 1;
      break;

    case 1: {
      f.setWindowTitle("Verilo Update Wizard");
      f.Label3->setText(QString::fromLocal8Bit("Check the latest version of: " + r.AppName));
      f.Label3->resize(f.Label3->sizeHint().width(), f.Label3->height());
      const std::string& shown = r.VersionDisplay.empty() ? r.Version : r.VersionDisplay;
      f.Label9->setText(QString::fromLocal8Bit(shown));
      // The header's design caption is no text of the wizard: the welcome page has none.
      f.Label1->setText(QString());
      std::string name = EscapeMarkup(r.AppName);
      f.JvLinkLabel2->UpdateDynamicTag(0, name);
      f.JvLinkLabel2->UpdateDynamicTag(1, name);
      f.JvLinkLabel2->setAutoFillBackground(true);
      f.JvLinkLabel2->setFixedHeight(225);
      f.JvLinkLabel2->setVisible(true);
      if (!r.Silent) go = false;
      WizardStep = 2;
      break;
    }

    case 2: {
      f.JvLinkLabel2->setVisible(false);
      ShowValue(f.Label1, "Verifying Internet connection");
      bool ok = DownloadFile(r.PadFile, r.TempDir + "verilo.xml", false);
      if (!ok) ok = DownloadFile(DownloadSiteProbeUrl(), "", false);
      if (!ok) ok = DownloadFile(MakerSiteProbeUrl(), "", false);
      if (ok) {
        f.Image2->setVisible(true);
        WizardStep = 3;
      } else {
        ShowValue(f.Label17,
                  "You are not connected to the Internet.\r\nPlease make an Internet connection and try again.");
        ShowValue(f.Label16, "To close this Wizard, click Cancel.");
        WizardStep = 2;
        go = false;
        if (r.Silent) ExitCode = -2;
      }
      break;
    }

    case 3: {
      ShowValue(f.Label1, "Retrieving PAD file information");
      ShowValue(f.Label17, " ");
      std::string xml = r.TempDir + "verilo.xml";
      bool ok = false;
      if (platform::FileExists(xml)) {
        // A file that cannot be read counts as a missing PAD file.
        try {
          r.PadContent = ReadFileText(xml);
          ok = true;
        } catch (const std::exception&) {
          r.PadContent.clear();
        }
        platform::RemoveFile(xml);
      }
      if (ok) {
        MarkDone(f.Image3);
        WizardStep = 4;
      } else {
        ShowValue(f.Label17, "The PAD file with update information is not available.");
        WizardStep = 8;
        f.Label18->setEnabled(false);
        f.Label19->setEnabled(false);
        f.Label20->setEnabled(false);
        if (r.Silent) ExitCode = -3;
      }
      break;
    }

    case 4: {
      ShowValue(f.Label1, "Comparing versions");
      bool complete = ReadPadInfo(f);
      if (complete && IsNewerVersion(r.Version, r.PadVersion)) {
        MarkDone(f.Image4);
        ShowValue(f.Label17, "A new version of " + r.AppName + " is available!");
        ShowValue(f.Label16, "To download the latest version, click Next.");
        WizardStep = 5;
        if (r.Silent) f.setVisible(true);
        go = false;
      } else if (complete) {
        MarkDone(f.Image4);
        ShowValue(f.Label17, r.AppName + " is up-to-date.");
        WizardStep = 7;
        f.Label19->setEnabled(false);
        f.Label20->setEnabled(false);
        if (r.Silent) EndProcess(0);
      } else {
        ShowValue(f.Label17,
                  "The PAD file with update information lacks essential information. Please contact the author.");
        ShowValue(f.Label16, "To close the this Wizard, click Finish.");
        go = false;
        WizardStep = 8;
        if (r.Silent) ExitCode = -4;
      }
      if (!r.Silent) go = false;
      break;
    }

    case 5: {
      ShowValue(f.Label1, "Download update file");
      ShowValue(f.Label17, "Downloading file: " + r.FileName);
      f.Button2->setEnabled(false);
      f.ProgressBar1->setRange(0, 100);
      f.ProgressBar1->setValue(0);
      f.ProgressBar1->setVisible(true);
      std::string temp_file = r.TempDir + r.FileName;
      // An empty, "." or ".." name would make the target a folder: a failed download.
      bool ok = IsUsableFileName(r.FileName) && DownloadFile(r.DownloadUrl, temp_file, true);
      f.ProgressBar1->setVisible(false);
      f.Button2->setEnabled(true);
      if (ok) {
        r.SaveDir = SelectFolder("Select a folder to save " + TextAfterLast(r.DownloadUrl, '/'), 1);
        if (r.SaveDir.empty()) {
          ShowValue(f.Label17, "There was an error saving the update file.");
          ShowValue(f.Label16, kRetryHint);
          WizardStep = 5;
          if (!r.Silent) go = false;
          return go;
        }
        if (!platform::CopyFileReplacing(temp_file, platform::IncludeTrailingSlash(r.SaveDir) + r.FileName)) {
          ShowValue(f.Label17, "There was an error saving the update file to the specified location.");
          ShowValue(f.Label16, kRetryHint);
          WizardStep = 5;
          if (!r.Silent) go = false;
          return go;
        }
        MarkDone(f.Image5);
        WizardStep = 6;
      } else {
        ShowValue(f.Label17,
                  "There was an error downloading the update file.\r\nPlease try again later of visit the website.");
        WizardStep = 8;
      }
      break;
    }

    case 6: {
      ShowValue(f.Label1, "Update instructions");
      ShowValue(f.Label17, " ");
      std::string saved = platform::IncludeTrailingSlash(r.SaveDir) + r.FileName;
      SavedFile = saved;
      if (r.Remarks.empty()) {
        std::string app = EscapeMarkup(r.AppName);
        r.Remarks = "<b>Download completed successfully</b><p>"
                    "The update has been saved to:<br><link>" + EscapeMarkup(saved) + "</link>.<p>"
                    "Before you continue installing, please make sure you close the " + app + " program.<p>"
                    "After " + app + " has been closed you can run the downloaded file.";
      } else {
        r.Remarks = "<b>Download completed successfully</b><p>The update has been saved to:<br>" +
                    EscapeMarkup(saved) + ".<p>" + TrimControls(r.Remarks);
      }
      ShowMainText(233, r.Remarks);
      MarkDone(f.Image6);
      WizardStep = 8;
      break;
    }

    case 7: {
      ShowValue(f.Label1, r.AppName + " is up-to-date");
      ShowValue(f.Label17, " ");
      std::string app = EscapeMarkup(r.AppName);
      r.Remarks = "<b>Thank you for using Verilo.</b><p>"
                  "The installed version of " + app + " on your computer is currently up-to-date. "
                  "Please remember to check for new updates frequently."
                  "<p>"
                  "If you have any problems or if you have any comments or suggestions "
                  "regarding " + app + ", please do contact the author."
                  "<p>";
      if (!r.SupportEmail.empty())
        r.Remarks += "Support address: <link>mailto:" + EscapeMarkup(r.SupportEmail) + "</link><br>";
      ShowMainText(233, r.Remarks);
      WizardStep = 8;
      break;
    }

    case 8:
      f.Button2->setText("Finish");
      if (!r.InfoUrl.empty()) {
        ShowValue(f.Label16, "For more information, please visit the " + r.AppName + " website.");
        f.Button3->setVisible(false);
        f.Button1->setVisible(true);
      } else {
        ShowValue(f.Label16, "To close the this Wizard, click Finish.");
        f.Button3->setEnabled(false);
      }
      WizardStep = 10;
      if (!r.Silent) go = false;
      break;

    default:
      // No such step (there is no step 9): go on to the end.
      WizardStep = 10;
      break;
  }
  QCoreApplication::processEvents();
  return go;
}

}  // namespace verilo
