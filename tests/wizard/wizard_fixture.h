// Shared pieces of the wizard's window and end-to-end tests: PAD files, folders.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <string>

namespace verilo_test {

// The values of a PAD file; an empty value leaves its tag out.
struct PadSpec {
  std::string version = "2.0";
  std::string download;  // Primary_Download_URL
  std::string info;      // Application_Info_URL
  std::string company;   // Company_WebSite_URL
  std::string email;
  std::string year = "2024", month = "3", day = "15";
  std::string size = "1234";
  std::string changes = "Fixed things.";
};

inline std::string MakePad(const PadSpec& p) {
  std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<XML_DIZ_INFO>\r\n";
  auto tag = [&](const char* name, const std::string& value) {
    if (!value.empty()) x += std::string("  <") + name + ">" + value + "</" + name + ">\r\n";
  };
  x += "<Company_Info>\r\n";
  tag("Company_WebSite_URL", p.company);
  tag("Support_Email", p.email);
  x += "</Company_Info>\r\n<Program_Info>\r\n";
  tag("Program_Version", p.version);
  tag("Program_Release_Month", p.month);
  tag("Program_Release_Day", p.day);
  tag("Program_Release_Year", p.year);
  tag("File_Size_K", p.size);
  tag("Program_Change_Info", p.changes);
  x += "</Program_Info>\r\n<Web_Info>\r\n";
  tag("Application_Info_URL", p.info);
  tag("Primary_Download_URL", p.download);
  x += "</Web_Info>\r\n</XML_DIZ_INFO>\r\n";
  return x;
}

// A fresh folder under the build folder's test-output/ for this test process.
inline std::string MakeTestFolder(const std::string& stem) {
  static std::atomic<int> counter{0};
  std::string parent = std::string(TEST_BINARY_DIR) + "/test-output";
  mkdir(parent.c_str(), 0755);
  std::string dir = parent + "/" + stem + "_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
  std::string cmd = "rm -rf '" + dir + "'";
  if (std::system(cmd.c_str()) != 0) return dir;
  mkdir(dir.c_str(), 0700);
  return dir + "/";
}

inline void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace verilo_test
