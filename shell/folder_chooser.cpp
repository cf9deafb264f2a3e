#include "shell/folder_chooser.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

namespace {

// The common item dialog (Windows Vista on). False also when it cannot be made at all.
bool ChooseWithItemDialog(HWND owner, const wchar_t* title, WidePath& folder, bool& shown) {
  shown = false;
  IFileDialog* dialog = nullptr;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileDialog,
                              reinterpret_cast<void**>(&dialog)))) {
    return false;
  }
  shown = true;
  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
  dialog->SetTitle(title);
  bool chosen = false;
  IShellItem* item = nullptr;
  if (SUCCEEDED(dialog->Show(owner)) && SUCCEEDED(dialog->GetResult(&item))) {
    PWSTR name = nullptr;
    if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &name))) {
      // A longer path would not fit where every path travels.
      if (lstrlenW(name) < static_cast<int>(kWidePathUnits)) {
        lstrcpynW(folder, name, kWidePathUnits);
        chosen = true;
      }
      CoTaskMemFree(name);
    }
    item->Release();
  }
  dialog->Release();
  return chosen;
}

// The folder browser shows its own caption; the title goes on once its window exists.
int CALLBACK OnBrowserEvent(HWND browser, UINT message, LPARAM, LPARAM title) {
  if (message == BFFM_INITIALIZED) {
    if (UsesWideCalls()) {
      SetWindowTextW(browser, reinterpret_cast<const wchar_t*>(title));
    } else {
      SetWindowTextA(browser, reinterpret_cast<const char*>(title));
    }
  }
  return 0;
}

// The calls of the folder browser in each variant.
struct WideBrowser {
  using Unit = WCHAR;
  using Info = BROWSEINFOW;
  static LPITEMIDLIST Browse(Info* info) { return SHBrowseForFolderW(info); }
  static BOOL PathOf(LPCITEMIDLIST chosen, Unit* path) { return SHGetPathFromIDListW(chosen, path); }
  static void Keep(Unit (&path)[kWidePathUnits], WidePath& folder) { lstrcpynW(folder, path, kWidePathUnits); }
};

struct AnsiBrowser {
  using Unit = char;
  using Info = BROWSEINFOA;
  static LPITEMIDLIST Browse(Info* info) { return SHBrowseForFolderA(info); }
  static BOOL PathOf(LPCITEMIDLIST chosen, Unit* path) { return SHGetPathFromIDListA(chosen, path); }
  static void Keep(Unit (&path)[kWidePathUnits], WidePath& folder) { WidenPath(path, folder); }
};

template <typename Calls>
bool ChooseWithBrowser(HWND owner, const typename Calls::Unit* title, WidePath& folder) {
  typename Calls::Unit name[MAX_PATH] = {};
  typename Calls::Info browse = {};
  browse.hwndOwner = owner;
  browse.pszDisplayName = name;
  browse.lpszTitle = title;
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX;
  browse.lpfn = OnBrowserEvent;
  browse.lParam = reinterpret_cast<LPARAM>(title);
  LPITEMIDLIST chosen = Calls::Browse(&browse);
  if (!chosen) return false;
  // MAX_PATH is the wide path's 260 units.
  typename Calls::Unit path[kWidePathUnits] = {};
  const bool found = Calls::PathOf(chosen, path) != FALSE;
  CoTaskMemFree(chosen);
  if (!found) return false;
  path[kWidePathUnits - 1] = 0;
  Calls::Keep(path, folder);
  return true;
}

}  // namespace

bool ChooseFolder(HWND owner, const wchar_t* title, const char* ansiTitle, WidePath& folder) {
  if (!UsesWideCalls()) return ChooseWithBrowser<AnsiBrowser>(owner, ansiTitle, folder);
  if (g_osMajorVersion < 6) return ChooseWithBrowser<WideBrowser>(owner, title, folder);
  // The item dialog is a COM object; the thread is left as it was found.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  bool shown = false;
  bool chosen = ChooseWithItemDialog(owner, title, folder, shown);
  if (!shown) chosen = ChooseWithBrowser<WideBrowser>(owner, title, folder);
  if (SUCCEEDED(com)) CoUninitialize();
  return chosen;
}
