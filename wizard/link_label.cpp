#include "wizard/link_label.h"

#include <QTextDocument>

namespace verilo {
namespace {

constexpr const char* kLinkColour = "#0000ff";
constexpr const char* kClickedColour = "#ff0000";

bool StartsWithTag(const std::string& s, std::size_t at, const char* tag) {
  std::size_t n = std::char_traits<char>::length(tag);
  if (s.size() - at < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    char c = s[at + i];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != tag[i]) return false;
  }
  return true;
}

struct Builder {
  Builder(const std::vector<std::string>& d, std::vector<std::string>* l, const std::set<std::string>& c)
      : dynamic(d), links(l), clicked(c) {}

  const std::vector<std::string>& dynamic;
  std::vector<std::string>* links;
  const std::set<std::string>& clicked;
  QString html;
  std::string pending;  // text not yet written, raw bytes after entity decoding
  bool line_start = true;
  bool in_link = false;
  std::string link_text;
  qsizetype link_at = 0;
  int next_dynamic = 0;

  void FlushText() {
    if (pending.empty()) return;
    QString text = QString::fromLocal8Bit(pending.data(), qsizetype(pending.size()));
    pending.clear();
    html += text.toHtmlEscaped();
  }

  void Text(char c) {
    // Line ends and tabs of the stored text lay out as blanks; breaks come from tags.
    bool blank = c == '\r' || c == '\n' || c == '\t' || c == ' ';
    if (blank && line_start) return;
    line_start = false;
    pending += blank ? ' ' : c;
    if (in_link) link_text += c;
  }

  void Break(const char* tag) {
    while (!pending.empty() && pending.back() == ' ') pending.pop_back();  // no blank before a break
    FlushText();
    html += tag;
    line_start = true;
  }

  void Parse(const std::string& s, bool allow_dynamic) {
    for (std::size_t i = 0; i < s.size();) {
      if (s[i] == '<') {
        if (StartsWithTag(s, i, "<b>")) { FlushText(); html += "<b>"; i += 3; continue; }
        if (StartsWithTag(s, i, "</b>")) { FlushText(); html += "</b>"; i += 4; continue; }
        if (StartsWithTag(s, i, "<p>")) { Break("<br><br>"); i += 3; continue; }
        if (StartsWithTag(s, i, "<br>")) { Break("<br>"); i += 4; continue; }
        if (StartsWithTag(s, i, "<link>")) {
          FlushText();
          if (in_link) CloseLink();
          in_link = true;
          link_text.clear();
          link_at = html.size();  // the anchor goes here once its text is known
          i += 6;
          continue;
        }
        if (StartsWithTag(s, i, "</link>")) { if (in_link) CloseLink(); i += 7; continue; }
        if (StartsWithTag(s, i, "<dynamic>")) {
          i += 9;
          if (allow_dynamic) {
            std::size_t n = std::size_t(next_dynamic++);
            if (n < dynamic.size()) Parse(dynamic[n], false);
          }
          continue;
        }
      } else if (s[i] == '&') {
        if (StartsWithTag(s, i, "&lt;")) { Text('<'); i += 4; continue; }
        if (StartsWithTag(s, i, "&gt;")) { Text('>'); i += 4; continue; }
        if (StartsWithTag(s, i, "&amp;")) { Text('&'); i += 5; continue; }
      }
      Text(s[i]);
      ++i;
    }
  }

  void CloseLink() {
    FlushText();
    std::string text = link_text;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    html.insert(link_at, QString("<a href=\"%1\" style=\"color:%2; text-decoration:underline\">")
                             .arg(links->size())
                             .arg(clicked.count(text) ? kClickedColour : kLinkColour));
    html += "</a>";
    links->push_back(text);
    in_link = false;
  }
};

}  // namespace

QString MarkupToHtml(const std::string& markup, const std::vector<std::string>& dynamic,
                     std::vector<std::string>* links, const std::set<std::string>& clicked) {
  links->clear();
  Builder b(dynamic, links, clicked);
  b.Parse(markup, true);
  if (b.in_link) b.CloseLink();
  b.FlushText();
  return b.html;
}

TLinkLabel::TLinkLabel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::RichText);
  setWordWrap(true);
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
  setContentsMargins(0, 0, 0, 0);
  setMargin(0);
  setIndent(0);
  setTextInteractionFlags(Qt::LinksAccessibleByMouse);
  setOpenExternalLinks(false);
  connect(this, &QLabel::linkActivated, this, [this](const QString& href) {
    bool ok = false;
    int index = href.toInt(&ok);
    if (ok) ActivateLink(index);
  });
}

void TLinkLabel::SetCaption(const std::string& markup) {
  caption_ = markup;
  dynamic_.clear();
  Render();
}

void TLinkLabel::UpdateDynamicTag(int n, const std::string& markup) {
  if (n < 0) return;
  if (dynamic_.size() <= std::size_t(n)) dynamic_.resize(std::size_t(n) + 1);
  dynamic_[std::size_t(n)] = markup;
  Render();
}

void TLinkLabel::SetAutoHeight(bool on) {
  auto_height_ = on;
  Render();
}

QString TLinkLabel::PlainText() const {
  QTextDocument doc;
  doc.setHtml(text());
  return doc.toPlainText();
}

void TLinkLabel::ActivateLink(int index) {
  if (index < 0 || std::size_t(index) >= links_.size()) return;
  std::string link = links_[std::size_t(index)];
  clicked_.insert(link);
  Render();
  emit LinkClick(link);
}

void TLinkLabel::Render() {
  setText(MarkupToHtml(caption_, dynamic_, &links_, clicked_));
  if (auto_height_) setFixedHeight(std::max(15, heightForWidth(width())));
}

}  // namespace verilo
