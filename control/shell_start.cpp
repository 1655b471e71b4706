#include "control/shell_start.h"

#include <exdisp.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "base/win32_raii.h"
#include "control/com_ptr.h"
#include "control/process_tools.h"

namespace {

using UniqueBstr = UniqueResource<NullTraits<BSTR, &SysFreeString>>;

// COM on this thread for as long as it lives; a thread already in another
// apartment keeps it.
class ComApartment {
 public:
  ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  bool Usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }
  HRESULT Result() const { return result_; }

 private:
  HRESULT result_;
};

VARIANT TextVariant(BSTR text) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = text;
  return value;
}

VARIANT NumberVariant(LONG number) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_I4;
  value.lVal = number;
  return value;
}

// The desktop window's shell dispatch object, which runs in the shell's process.
HRESULT DesktopShellDispatch(ComPtr<IShellDispatch2>& shell) {
  ComPtr<IShellWindows> windows;
  HRESULT hr = CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                windows.ReceiveVoid());
  if (FAILED(hr)) return hr;
  VARIANT location = NumberVariant(CSIDL_DESKTOP);
  VARIANT root;
  VariantInit(&root);
  long window = 0;
  ComPtr<IDispatch> desktop;
  hr = windows->FindWindowSW(&location, &root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, desktop.Receive());
  if (hr != S_OK || !desktop) return FAILED(hr) ? hr : S_FALSE;
  ComPtr<IServiceProvider> provider;
  if (FAILED(hr = desktop->QueryInterface(IID_IServiceProvider, provider.ReceiveVoid()))) return hr;
  ComPtr<IShellBrowser> browser;
  if (FAILED(hr = provider->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.ReceiveVoid()))) return hr;
  ComPtr<IShellView> view;
  if (FAILED(hr = browser->QueryActiveShellView(view.Receive()))) return hr;
  ComPtr<IDispatch> background;
  if (FAILED(hr = view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.ReceiveVoid()))) return hr;
  ComPtr<IShellFolderViewDual> folderView;
  if (FAILED(hr = background->QueryInterface(IID_IShellFolderViewDual, folderView.ReceiveVoid()))) return hr;
  ComPtr<IDispatch> application;
  if (FAILED(hr = folderView->get_Application(application.Receive()))) return hr;
  return application->QueryInterface(IID_IShellDispatch2, shell.ReceiveVoid());
}

}  // namespace

HRESULT StartThroughDesktopShell(const std::wstring& path) {
  ComApartment apartment;
  if (!apartment.Usable()) return apartment.Result();
  ComPtr<IShellDispatch2> shell;
  const HRESULT hr = DesktopShellDispatch(shell);
  if (hr != S_OK) return hr;
  UniqueBstr file(SysAllocString(path.c_str()));
  UniqueBstr folder(SysAllocString(FolderOf(path).c_str()));
  UniqueBstr verb(SysAllocString(L"open"));
  if (!file || !folder || !verb) return E_OUTOFMEMORY;
  VARIANT noArguments;
  VariantInit(&noArguments);
  return shell->ShellExecute(file.Get(), noArguments, TextVariant(folder.Get()), TextVariant(verb.Get()),
                             NumberVariant(SW_HIDE));
}
