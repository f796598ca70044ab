// The mark-up link label: a label whose caption is a small mark-up language with
// "<b>", "<p>", "<br>", "<link>" and numbered "<dynamic>" tags. The entities "&lt;",
// "&gt;" and "&amp;" stand for the characters they name, so text can be escaped.
#pragma once

#include <QLabel>
#include <set>
#include <string>
#include <vector>

namespace verilo {

class TLinkLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TLinkLabel(QWidget* parent = nullptr);

  // Sets the mark-up; the texts of the dynamic tags are cleared.
  void SetCaption(const std::string& markup);
  const std::string& Caption() const { return caption_; }

  // Sets the text of dynamic tag number n (0 for the first "<dynamic>" of the
  // caption); the text is mark-up in its turn.
  void UpdateDynamicTag(int n, const std::string& markup);

  // When on, the label sets its own height to fit its text.
  void SetAutoHeight(bool on);

  // The links as shown, in order: the text between "<link>" and "</link>".
  const std::vector<std::string>& Links() const { return links_; }

  // The caption as plain text, as it is laid out (breaks as "\n").
  QString PlainText() const;

  // Acts as a click on link number index.
  void ActivateLink(int index);

 signals:
  void LinkClick(const std::string& link_text);

 private:
  void Render();

  std::string caption_;
  std::vector<std::string> dynamic_;
  std::vector<std::string> links_;
  std::set<std::string> clicked_;
  bool auto_height_ = false;
};

// The mark-up as HTML for a rich-text label. links receives each link's text in
// order; links whose text is in clicked are drawn in the clicked colour.
QString MarkupToHtml(const std::string& markup, const std::vector<std::string>& dynamic,
                     std::vector<std::string>* links, const std::set<std::string>& clicked);

}  // namespace verilo
