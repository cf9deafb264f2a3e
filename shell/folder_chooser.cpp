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

bool ChooseWithBrowserW(HWND owner, const wchar_t* title, WidePath& folder) {
  WCHAR name[MAX_PATH] = {};
  BROWSEINFOW browse = {};
  browse.hwndOwner = owner;
  browse.pszDisplayName = name;
  browse.lpszTitle = title;
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX;
  browse.lpfn = OnBrowserEvent;
  browse.lParam = reinterpret_cast<LPARAM>(title);
  LPITEMIDLIST chosen = SHBrowseForFolderW(&browse);
  if (!chosen) return false;
  WCHAR path[MAX_PATH] = {};
  const bool found = SHGetPathFromIDListW(chosen, path) != FALSE;
  CoTaskMemFree(chosen);
  if (!found) return false;
  lstrcpynW(folder, path, kWidePathUnits);
  return true;
}

bool ChooseWithBrowserA(HWND owner, const char* title, WidePath& folder) {
  char name[MAX_PATH] = {};
  BROWSEINFOA browse = {};
  browse.hwndOwner = owner;
  browse.pszDisplayName = name;
  browse.lpszTitle = title;
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX;
  browse.lpfn = OnBrowserEvent;
  browse.lParam = reinterpret_cast<LPARAM>(title);
  LPITEMIDLIST chosen = SHBrowseForFolderA(&browse);
  if (!chosen) return false;
  char path[kWidePathUnits] = {};
  const bool found = SHGetPathFromIDListA(chosen, path) != FALSE;
  CoTaskMemFree(chosen);
  if (!found) return false;
  path[kWidePathUnits - 1] = 0;
  WidenPath(path, folder);
  return true;
}

}  // namespace

bool ChooseFolder(HWND owner, const wchar_t* title, const char* ansiTitle, WidePath& folder) {
  if (!UsesWideCalls()) return ChooseWithBrowserA(owner, ansiTitle, folder);
  if (g_osMajorVersion < 6) return ChooseWithBrowserW(owner, title, folder);
  // The item dialog is a COM object; the thread is left as it was found.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  bool shown = false;
  bool chosen = ChooseWithItemDialog(owner, title, folder, shown);
  if (!shown) chosen = ChooseWithBrowserW(owner, title, folder);
  if (SUCCEEDED(com)) CoUninitialize();
  return chosen;
}
