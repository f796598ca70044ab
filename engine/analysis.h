// Reading SpamAssassin's verdict from the header block of its output and acting on
// a spam message in the spool directory.
#pragma once

#include <string>

namespace trawlex {

// Values of the last analysed result.
extern bool IsSpam;
extern std::string Points;
extern std::string From;
extern std::string To;
extern std::string Subject;
// True when the last result held an "X-Spam-Status:" header, that is a verdict.
extern bool HasVerdict;

inline constexpr char kNoOutputFile[] = "No SpamAssassin output file found.";
inline constexpr char kNonSpam[] = "Non spam message.";
inline constexpr char kSpamDeleted[] = "Spam message deleted.";
inline constexpr char kMarkDeleteError[] = "Mark action: Error deleting message file!";
inline constexpr char kMarkChanged[] = "Mark action: Original message not found.";
inline constexpr char kMarkOriginalError[] = "Mark action: Error deleting original message file!";
inline constexpr char kMarkRenameError[] = "Mark action: Error renaming marked file to original file name!";
inline constexpr char kMarked[] = "Message marked as spam.";
inline constexpr char kDeleteError[] = "Delete action: Error deleting message file!";
inline constexpr char kIgnored[] = "Spam message ignored.";
inline constexpr char kMoveDeleteError[] = "Move action: Error deleting orginal message file!";
inline constexpr char kMoveFailed[] = "Move of the original message failed";

// Analyses ResultPath for the message at path, acts on spam and returns the result.
std::string AnalyseResult(const std::string& path);

// Reads the header block of SpamAssassin's output into IsSpam, Points, From, To,
// Subject and HasVerdict. Throws platform::IoError when the file cannot be read.
void ReadVerdict(const std::string& result_path);

// The text after the first start marker and before the first end marker after it;
// empty when either is missing. Without case_sensitive, A-Z match a-z.
std::string TextBetween(const std::string& text, const std::string& start, const std::string& end,
                        bool case_sensitive);

// A new empty file dir/prefix_N+extension with the lowest free N, or empty text.
std::string UniqueFileName(const std::string& dir, const std::string& prefix, const std::string& extension);

// The result text for a scan that gave no verdict.
std::string NoVerdictText(int exit_code);

}  // namespace trawlex
