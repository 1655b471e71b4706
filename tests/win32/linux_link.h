// A Linux symbolic link, made by the Linux side's ln: Wine makes no Windows
// links. It lists a Linux link to a folder as a folder link, and one to a file
// as a plain file, only in the listing: every handle goes through to the
// target. Removed again at the end.
#pragma once
#include <string>

class LinuxLink {
 public:
  LinuxLink(const std::wstring& target, const std::wstring& link);
  ~LinuxLink();
  LinuxLink(const LinuxLink&) = delete;
  LinuxLink& operator=(const LinuxLink&) = delete;
  // Whether the link is there (false where it cannot be made: not Wine).
  bool Made() const { return made_; }

 private:
  std::wstring link_;
  bool made_ = false;
};
