#include "wizard/link_label.h"

#include <gtest/gtest.h>

#include "tests/wizard/qt_app.h"
#include "wizard/form1.h"
#include "wizard/pad.h"

namespace verilo {
namespace {

class LinkLabelTest : public ::testing::Test {
 protected:
  void SetUp() override { verilo_test::EnsureQtApp(); }
};

TEST_F(LinkLabelTest, LaysOutTheMarkupAndCollectsLinks) {
  TLinkLabel label;
  label.resize(353, 300);
  label.SetCaption("<B>Bold</b>\r\n<p>\r\nline one<br>\r\nsee <link>http://a.example/x</link> and "
                   "<LINK>mailto:me@b.example</LINK>.");
  EXPECT_EQ(label.PlainText(), "Bold\n\nline one\nsee http://a.example/x and mailto:me@b.example.");
  EXPECT_EQ(label.Links(), (std::vector<std::string>{"http://a.example/x", "mailto:me@b.example"}));
  EXPECT_NE(label.text().indexOf("<b>Bold</b>"), -1);

  std::vector<std::string> clicked;
  QObject::connect(&label, &TLinkLabel::LinkClick, [&](const std::string& t) { clicked.push_back(t); });
  label.ActivateLink(1);
  label.ActivateLink(7);  // no such link
  EXPECT_EQ(clicked, (std::vector<std::string>{"mailto:me@b.example"}));
  EXPECT_NE(label.text().indexOf("color:#ff0000"), -1);  // a clicked link turns red
  EXPECT_NE(label.text().indexOf("color:#0000ff"), -1);
}

TEST_F(LinkLabelTest, DynamicTagsAreNumberedAndHoldMarkup) {
  TLinkLabel label;
  label.SetCaption(WelcomeText());
  label.UpdateDynamicTag(0, "Alpha");
  label.UpdateDynamicTag(1, "Beta");
  QString text = label.PlainText();
  EXPECT_NE(text.indexOf("help you update Alpha to the latest release."), -1);
  EXPECT_NE(text.indexOf("online PAD file for Beta."), -1);
  EXPECT_TRUE(text.startsWith("Welcome to the Verilo update wizard.\n\nThis wizard"));
  ASSERT_EQ(label.Links().size(), 1u);
  EXPECT_NE(label.Links()[0].find("/pad"), std::string::npos);

  label.SetCaption("<dynamic>");
  label.UpdateDynamicTag(0, "<b>Done</b><p>Saved to:<br><link>/tmp/a b.exe</link>.");
  EXPECT_EQ(label.PlainText(), "Done\n\nSaved to:\n/tmp/a b.exe.");
  EXPECT_EQ(label.Links(), std::vector<std::string>{"/tmp/a b.exe"});
}

TEST_F(LinkLabelTest, EscapedValuesStayText) {
  // A hostile value, escaped, shows literally and adds no link or mark-up.
  std::string hostile = "</link><b>x</b><link>file:///etc/passwd</link><img src=x> & &amp;";
  TLinkLabel label;
  label.SetCaption("<link>" + EscapeMarkup(hostile) + "</link>");
  EXPECT_EQ(label.Links(), std::vector<std::string>{hostile});
  EXPECT_EQ(label.PlainText().toStdString(), hostile);
  EXPECT_EQ(label.text().indexOf("<img"), -1);
  EXPECT_EQ(label.text().indexOf("<b>"), -1);
  // Unknown tags and HTML in the mark-up itself are text as well.
  label.SetCaption("<i>a</i> <script>b</script>");
  EXPECT_EQ(label.PlainText(), "<i>a</i> <script>b</script>");
}

}  // namespace
}  // namespace verilo
