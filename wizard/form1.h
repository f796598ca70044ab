// The wizard window.
#pragma once

#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>
#include <cstdint>
#include <string>

#include "wizard/link_label.h"

namespace verilo {

class TForm1 : public QWidget {
  Q_OBJECT

 public:
  // Builds the window and runs its creation handler, which starts the steps.
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // Header.
  QFrame* Panel2;
  QLabel* Label3;  // title
  QLabel* Label1;  // subtitle
  QLabel* Image1;  // emblem
  QFrame* Bevel2;
  // Side panel with the five stages.
  QFrame* Panel4;
  QLabel *Image2, *Image3, *Image4, *Image5, *Image6;
  QLabel *Label11, *Label15, *Label18, *Label19, *Label20;
  QFrame* Bevel4;
  // Content panel.
  QFrame* Panel3;
  QLabel *Label2, *Label9, *Label5, *Label4, *Label6, *Label7, *Label21, *Label22;
  QLabel *Label12, *Label13, *Label14, *Label8, *Label10;
  QFrame* Bevel3;
  TLinkLabel* JvLinkLabel1;  // web site link
  QLabel* Label17;           // status text
  QLabel* Label16;           // hint
  QProgressBar* ProgressBar1;
  TLinkLabel* JvLinkLabel2;  // main text
  // Button bar.
  QFrame* Bevel1;
  QFrame* Panel1;
  QPushButton* Button2;  // Next
  QPushButton* Button3;  // Cancel
  QPushButton* Button1;  // Web site

  // Handlers.
  void FormCreate();
  void Button2Click();
  void Button3Click();
  void Button1Click();
  void JvLinkLabel2LinkClick(const std::string& link_text);

  // Progress event of the update download; sets cancel when Cancel was pressed.
  void DownloadProgress(uint32_t Progress, uint32_t ProgressMax, bool& Cancel);

  // Writes the window's texts to $VERILO_SHOWN_FILE when set and the window is shown.
  void ReportWaiting();

 protected:
  void closeEvent(QCloseEvent* event) override;
};

// The one window; set while it exists.
extern TForm1* Form1;

// The welcome text of the main text, with its two dynamic tags.
std::string WelcomeText();

// Writes a text into a label and shows it; an empty text changes nothing.
void ShowValue(QLabel* Label, const std::string& Text);

}  // namespace verilo
