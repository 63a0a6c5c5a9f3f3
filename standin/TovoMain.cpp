// Tovo.EXE as the update installs it: a small window program that shows the same signs of life
// as the customer-management application. While it runs it holds the global atom "Tovo.EXE"
// and a top-level window titled "トヴォ顧客管理"; the updater looks for exactly these two.
#include <windows.h>

#include <string>

namespace {

constexpr wchar_t kAtomName[] = L"Tovo.EXE";
constexpr wchar_t kWindowTitle[] = L"トヴォ顧客管理";
constexpr wchar_t kWindowClass[] = L"TTovoMainForm";

// A global atom outlives the process that added it: it stays in the session's table until it
// is deleted as often as it was added. So the program deletes its reference on every way out.
class GlobalAtom {
 public:
  explicit GlobalAtom(const wchar_t* name) : atom_(GlobalAddAtomW(name)) {}
  GlobalAtom(const GlobalAtom&) = delete;
  GlobalAtom& operator=(const GlobalAtom&) = delete;
  ~GlobalAtom() { Release(); }
  void Release() {
    if (atom_ != 0) {
      GlobalDeleteAtom(atom_);
      atom_ = 0;
    }
  }
  bool Held() const { return atom_ != 0; }

 private:
  ATOM atom_;
};

GlobalAtom* gAtom = nullptr;

// The version block's own FileVersion string, so a user can see which build is running.
std::wstring OwnFileVersion() {
  wchar_t path[MAX_PATH];
  if (GetModuleFileNameW(nullptr, path, MAX_PATH) == 0) return L"";
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &handle);
  if (size == 0) return L"";
  std::wstring block(size / sizeof(wchar_t) + 1, L'\0');
  if (!GetFileVersionInfoW(path, 0, size, block.data())) return L"";
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\StringFileInfo\\041103A4\\FileVersion", &value, &length) ||
      length == 0)
    return L"";
  return std::wstring(static_cast<const wchar_t*>(value));
}

std::wstring gVersionText;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window, &ps);
      RECT area;
      GetClientRect(window, &area);
      DrawTextW(dc, gVersionText.c_str(), -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      EndPaint(window, &ps);
      return 0;
    }
    case WM_ENDSESSION:
      // After a TRUE WM_ENDSESSION the process may be ended without any further message.
      if (wParam && gAtom) gAtom->Release();
      return 0;
    case WM_DESTROY:
      if (gAtom) gAtom->Release();
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  GlobalAtom atom(kAtomName);
  gAtom = &atom;

  gVersionText = L"Norvex トヴォ顧客管理  " + OwnFileVersion();

  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  if (!RegisterClassExW(&windowClass)) return 1;

  HWND window = CreateWindowExW(0, kWindowClass, kWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 480, 200, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  ShowWindow(window, showCommand);
  UpdateWindow(window);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  gAtom = nullptr;
  return static_cast<int>(msg.wParam);
}
