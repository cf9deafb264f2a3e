// Drive letters of the test's Wine prefix, made as a user's drives are: a link in the
// prefix's dosdevices folder to a folder, of a chosen kind, defined through Wine's mount
// manager as its configuration tool does, and removed again afterwards.
#pragma once

#include <windows.h>

#include <string>

class TestDrive {
 public:
  // `kind` is DRIVE_FIXED, DRIVE_CDROM, DRIVE_REMOTE, DRIVE_REMOVABLE or DRIVE_RAMDISK. The
  // volume label is the text of the folder's ".windows-label" file, read now.
  TestDrive(char letter, UINT kind, const std::string& unixFolder);
  ~TestDrive();
  TestDrive(const TestDrive&) = delete;
  TestDrive& operator=(const TestDrive&) = delete;

  bool defined() const { return defined_; }

 private:
  char letter_;
  bool defined_ = false;
};

// A letter that the system lists but whose volume never answers, as a drive without its
// medium: mapped with DefineDosDeviceW to a folder that does not exist, for as long as this
// object lives.
class NotReadyDrive {
 public:
  explicit NotReadyDrive(char letter);
  ~NotReadyDrive();
  NotReadyDrive(const NotReadyDrive&) = delete;
  NotReadyDrive& operator=(const NotReadyDrive&) = delete;

  bool defined() const { return defined_; }

 private:
  wchar_t device_[3];
  std::wstring target_;
  bool defined_ = false;
};

// The Unix path of a Windows path of this prefix.
std::string UnixPathOf(const std::wstring& windowsPath);

// Writes the volume label file of a folder that will become a drive.
void WriteVolumeLabel(const std::wstring& folder, const char* label);
