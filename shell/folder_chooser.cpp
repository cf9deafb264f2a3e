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

// The calls of the folder browser in each variant.
struct WideBrowser {
  using Unit = WCHAR;
  using Info = BROWSEINFOW;
  static constexpr UINT kValidateFailed = BFFM_VALIDATEFAILEDW;
  static LPITEMIDLIST Browse(Info* info) { return SHBrowseForFolderW(info); }
  static BOOL PathOf(LPCITEMIDLIST chosen, Unit* path) { return SHGetPathFromIDListW(chosen, path); }
  static void Keep(Unit (&path)[kWidePathUnits], WidePath& folder) { lstrcpynW(folder, path, kWidePathUnits); }
  static void SetCaption(HWND window, const Unit* text) { SetWindowTextW(window, text); }
  template <std::size_t kUnits>
  static void ToAnsi(const Unit* text, char (&ansi)[kUnits]) {
    if (!WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, static_cast<int>(kUnits), nullptr, nullptr)) ansi[0] = 0;
    ansi[kUnits - 1] = 0;
  }
};

struct AnsiBrowser {
  using Unit = char;
  using Info = BROWSEINFOA;
  static constexpr UINT kValidateFailed = BFFM_VALIDATEFAILEDA;
  static LPITEMIDLIST Browse(Info* info) { return SHBrowseForFolderA(info); }
  static BOOL PathOf(LPCITEMIDLIST chosen, Unit* path) { return SHGetPathFromIDListA(chosen, path); }
  static void Keep(Unit (&path)[kWidePathUnits], WidePath& folder) { WidenPath(path, folder); }
  static void SetCaption(HWND window, const Unit* text) { SetWindowTextA(window, text); }
  template <std::size_t kUnits>
  static void ToAnsi(const Unit* text, char (&ansi)[kUnits]) { lstrcpynA(ansi, text, static_cast<int>(kUnits)); }
};

// Owned by the browser, which stays open beneath it.
void SayNoSuchFolder(HWND browser, const char* typed, const char* title) {
  char text[512];
  wsprintfA(text, "The folder \"%s\" does not exist.\n\nType the path of an existing folder, or choose one in the list.",
            typed);
  MessageBoxA(browser, text, title, MB_OK | MB_ICONERROR);
}

// The browser shows its own caption; the title goes on once its window exists. A path typed
// into its edit box that names no folder is refused there, and the browser stays open for
// another: without this it would close and hand back the folder selected in its tree.
template <typename Calls>
int CALLBACK OnBrowserEvent(HWND browser, UINT message, LPARAM value, LPARAM title) {
  const auto* caption = reinterpret_cast<const typename Calls::Unit*>(title);
  if (message == BFFM_INITIALIZED) Calls::SetCaption(browser, caption);
  if (message != Calls::kValidateFailed) return 0;
  char typed[kWidePathUnits];
  char ansiCaption[64];
  Calls::ToAnsi(reinterpret_cast<const typename Calls::Unit*>(value), typed);
  Calls::ToAnsi(caption, ansiCaption);
  SayNoSuchFolder(browser, typed, ansiCaption);
  return 1;
}

template <typename Calls>
bool ChooseWithBrowser(HWND owner, const typename Calls::Unit* title, WidePath& folder) {
  typename Calls::Unit name[MAX_PATH] = {};
  typename Calls::Info browse = {};
  browse.hwndOwner = owner;
  browse.pszDisplayName = name;
  browse.lpszTitle = title;
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_VALIDATE;
  browse.lpfn = OnBrowserEvent<Calls>;
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
  // Both choosers are shell objects: they need COM on this thread, in a single-threaded
  // apartment. A thread that had it already is left as it was found.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  const bool itemDialog = UsesWideCalls() && g_osMajorVersion >= 6;
  bool shown = false;
  bool chosen = itemDialog && ChooseWithItemDialog(owner, title, folder, shown);
  if (!shown) {
    chosen = UsesWideCalls() ? ChooseWithBrowser<WideBrowser>(owner, title, folder)
                             : ChooseWithBrowser<AnsiBrowser>(owner, ansiTitle, folder);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return chosen;
}
